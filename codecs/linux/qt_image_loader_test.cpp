#include "codecs/linux/qt_image_loader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <string>
#include <vector>

#include "codecs/image_loaders.h"
#include "codecs/loader_registry.h"
#include "codecs/system_test_images.h"
#include "codecs/test_images.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;
using Testing::TempFolder;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The module is built beside the programs, not beside this test.
class QtDecoderModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SetQtDecoderModule(FromUtf8(PELMORA_QT_DECODER)); }
};
::testing::Environment* const kModuleEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtDecoderModuleEnvironment);

// Written by the toolkit's encoders, which share no code with its decoders.
Bytes Encode(const char* format) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  image.setPixel(2, 1, qRgb(250, 5, 60));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, 100)) << format;
  const QByteArray data = buffer.data();
  return Bytes(data.begin(), data.end());
}

struct Loaded {
  PlaneSize size;
  bool alpha;
  SharedString format;
};

Loaded Load(CMemoryPlane32& plane, const TempFolder& folder, const char* name, const Bytes& bytes) {
  CQtImageLoader loader;
  EXPECT_TRUE(loader.Open(folder.Load(name, bytes))) << name;
  const PlaneSize size = loader.GetImageSize();
  plane.SetSize(size);
  loader.Load(plane, 0, 0);
  return Loaded{size, loader.HasAlpha(), loader.GetFormatName()};
}

TEST(QtImageLoader, ReadsTheFormatsTheBuiltInLoadersDoNot) {
  TempFolder folder;
  CMemoryPlane32 plane;

  Loaded loaded = Load(plane, folder, "a.gif",
                       ToBytes(Testing::MakeGif(4, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                                {0, 1, 2, 3, 3, 2, 1, 0})));
  EXPECT_EQ(loaded.size.width, 4);
  EXPECT_EQ(loaded.size.height, 2);
  EXPECT_EQ(loaded.format, SharedString(u"GIF"));
  EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(PixelAt(plane, 2, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(PixelAt(plane, 3, 1) & 0xFFFFFF, 0xFF0000u);

  std::vector<uint32_t> icon(16, 0xFF00FF00);
  icon[0] = 0x00000000;
  loaded = Load(plane, folder, "a.ico", ToBytes(Testing::MakeIco(4, 4, icon)));
  EXPECT_EQ(loaded.size.width, 4);
  EXPECT_EQ(loaded.format, SharedString(u"ICO"));
  EXPECT_TRUE(loaded.alpha);
  EXPECT_EQ(PixelAt(plane, 0, 0) >> 24, 0u);
  EXPECT_EQ(PixelAt(plane, 3, 3), 0xFF00FF00u);

  for (const char* format : {"webp", "tiff"}) {
    loaded = Load(plane, folder, format, Encode(format));
    EXPECT_EQ(loaded.size.width, 3) << format;
    EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0x0AC81Eu) << format;
    EXPECT_EQ(PixelAt(plane, 2, 1) & 0xFFFFFF, 0xFA053Cu) << format;
  }
}

TEST(QtImageLoader, RefusesWhatItIsNotMeantFor) {
  TempFolder folder;
  for (const auto& [name, bytes] : std::vector<std::pair<const char*, Bytes>>{
           {"a.txt", ToBytes("just some words, no picture\n")},
           // Formats the toolkit reads too, but that are not ours to take.
           {"a.xpm",
            ToBytes("/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"};\n")},
           {"a.ppm", ToBytes("P3\n1 1\n255\n255 0 0\n")},
           // A GIF cut short after its header.
           {"cut.gif",
            ToBytes(Testing::MakeGif(4, 2, {0}, {0, 0, 0, 0, 0, 0, 0, 0}).substr(0, 20))},
       }) {
    CQtImageLoader loader;
    EXPECT_FALSE(loader.Open(folder.Load(name, bytes))) << name;
  }
}

// An installed program finds the module in the package's private folder,
// one in a build tree or a folder of its own beside it.
TEST(QtImageLoader, TheModuleIsFoundWhereThePackageOrTheBuildPutsIt) {
  Testing::TestFolder root;
  CreateDirectories(root / u"bin/");
  EXPECT_EQ(QtDecoderModulePath(root / u"bin/"), root / u"bin/pelmora-qt-decoder.so");
  Testing::TestFolder::WriteBytes(root / u"libexec/pelmora/pelmora-qt-decoder.so", "x");
  EXPECT_EQ(ToUtf8(QtDecoderModulePath(root / u"bin/")),
            ToUtf8(root / u"bin/../libexec/pelmora/pelmora-qt-decoder.so"));
}

TEST(QtImageLoader, ComesLastAfterTheBuiltInLoaders) {
  LoaderRegistry registry;
  RegisterImageLoaders(registry, u"/nonexistent/");
  EXPECT_EQ(registry.GetFactoryCount(), 4u);
  TempFolder folder;
  CMemoryPlane32 plane;
  const PlaneSize size = registry.LoadImage(
      folder.Load("gif.bmp", ToBytes(Testing::MakeGif(2, 1, {0x00FF00, 0}, {0, 1}))), plane);
  EXPECT_EQ(size.width, 2);
  EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_THROW(registry.LoadImage(folder.Load("a.txt", ToBytes("no picture")), plane),
               ImageLoadException);
}

}  // namespace
}  // namespace Orvex

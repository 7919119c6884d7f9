#include "codecs/win32/spi_loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "codecs/image_loaders.h"
#include "codecs/loader_registry.h"
#include "codecs/system_test_images.h"
#include "codecs/test_images.h"
#include "codecs/win32/spi.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/win32/win32.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;
using Testing::TempFolder;
namespace fs = std::filesystem;

// The plug-ins built beside the tests, copied into a folder of their own
// under the names given.
class PluginFolder {
 public:
  PluginFolder(std::initializer_list<std::pair<const char*, const char*>> plugins) {
    const char* built = std::getenv("PELMORA_TEST_PLUGINS");
    EXPECT_NE(built, nullptr) << "PELMORA_TEST_PLUGINS names the built plug-ins";
    for (const auto& [plugin, name] : plugins) {
      fs::copy_file(fs::path(built ? built : ".") / (std::string(plugin) + ".spi"), dir_ / name);
    }
  }
  fs::path Path() const { return dir_; }
  SharedString Folder() const { return EnsureTrailingSeparator(Testing::ToShared(dir_)); }

 private:
  TempFolder scratch_;
  fs::path dir_ = fs::path(scratch_.PathOf("plugins").Str());
  bool made_ = fs::create_directories(dir_);
};

// A picture in the test plug-ins' own format; `pixels` as the file stores
// them (index, B G R, or B G R A per pixel).
Bytes Ptpf(int width, int height, int bits, const Bytes& pixels) {
  Bytes file = {'P',
                'T',
                'P',
                'F',
                uint8_t(width),
                uint8_t(width >> 8),
                uint8_t(height),
                uint8_t(height >> 8),
                uint8_t(bits),
                0};
  const uint32_t size = uint32_t(14 + pixels.size());
  for (int i = 0; i < 4; ++i) file.push_back(uint8_t(size >> (8 * i)));
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

Bytes Solid(int count, std::initializer_list<uint8_t> pixel) {
  Bytes out;
  for (int i = 0; i < count; ++i) out.insert(out.end(), pixel);
  return out;
}

struct Decoded {
  bool ok = false;
  PlaneSize size{};
  uint32_t first_pixel = 0;
  SharedString format;
};

// Through the whole registry, as a wallpaper change decodes a file.
Decoded LoadThrough(const LoaderRegistry& registry, const TempFolder& files, const char* name,
                    const Bytes& bytes) {
  Decoded result;
  try {
    ImageLoadContext context;
    registry.SelectLoader(context, files.Load(name, bytes));
    CDib32 plane;
    result.size = context.loader->GetImageSize();
    plane.SetSize(result.size);
    context.loader->Load(plane, 0, 0);
    result.first_pixel = PixelAt(plane, 0, 0) & 0xFFFFFF;
    result.format = context.loader->GetFormatName();
    result.ok = true;
  } catch (const ImageLoadException&) {
  }
  return result;
}

TEST(SpiLoader, DecodesWithTheFirstPluginThatCanAndOnlyWithImportFilters) {
  // The failing plug-in is listed first where the system sorts names, so
  // the decoder gets its turn after a failed GetPicture.
  PluginFolder plugins({{"get_picture_fails", "A_FAILS.SPI"},
                        {"decoder", "b_decoder.Spi"},
                        {"declines", "c_declines.spi"},
                        {"no_plugin_info", "d_noinfo.spi"},
                        {"not_import", "e_archive.spi"}});
  // Neither a file with another extension nor a subfolder is looked at.
  fs::copy_file(fs::path(std::getenv("PELMORA_TEST_PLUGINS")) / "not_import.spi",
                plugins.Path() / "f.spi.txt");
  fs::create_directories(plugins.Path() / "sub");
  fs::copy_file(fs::path(std::getenv("PELMORA_TEST_PLUGINS")) / "not_import.spi",
                plugins.Path() / "sub" / "g.spi");
  CSpiLoaderFactory factory(plugins.Folder());
  EXPECT_EQ(factory.Plugins()->GetCount(), 5u);

  TempFolder files;
  // A short file: the decoder insists on zeros after it in a 2 KB probe.
  auto loader = factory.CreateInstance();
  ASSERT_TRUE(loader->Open(files.Load("small.ptp", Ptpf(3, 2, 24, Solid(6, {10, 20, 30})))));
  EXPECT_EQ(loader->GetImageSize().width, 3);
  EXPECT_EQ(loader->GetImageSize().height, 2);
  EXPECT_EQ(loader->GetFormatName(), SharedString(u"Test picture / Test palette picture"));
  EXPECT_FALSE(loader->HasAlpha());
  CDib32 plane;
  plane.SetSize(PlaneSize{3, 2});
  loader->Load(plane, 0, 0);
  EXPECT_EQ(PixelAt(plane, 2, 1) & 0xFFFFFF, 0x1E140Au);

  // 32 bits: alpha is known once the bitmap has been seen.
  loader = factory.CreateInstance();
  ASSERT_TRUE(loader->Open(files.Load("alpha.ptp", Ptpf(40, 20, 32, Solid(800, {1, 2, 3, 4})))));
  EXPECT_FALSE(loader->HasAlpha());
  plane.SetSize(loader->GetImageSize());
  loader->Load(plane, 0, 0);
  EXPECT_TRUE(loader->HasAlpha());
  EXPECT_EQ(PixelAt(plane, 39, 19) & 0xFFFFFF, 0x030201u);

  // 8 bits through the palette the plug-in delivers.
  loader = factory.CreateInstance();
  ASSERT_TRUE(loader->Open(files.Load("palette.ptq", Ptpf(5, 3, 8, Solid(15, {7})))));
  plane.SetSize(loader->GetImageSize());
  loader->Load(plane, 0, 0);
  EXPECT_FALSE(loader->HasAlpha());
  EXPECT_EQ(PixelAt(plane, 4, 2) & 0xFFFFFF, 0x80F807u);

  // The same picture with junk after it in the probe is not this format.
  Bytes junk = Ptpf(3, 2, 24, Solid(6, {10, 20, 30}));
  junk.push_back(1);
  loader = factory.CreateInstance();
  EXPECT_FALSE(loader->Open(files.Load("junk.ptp", junk)));

  // Plug-ins that claim everything but are no import filters never decode.
  const Bytes bmp = Testing::MakeBmp(1, 1, 24, {}, {0x40, 0x50, 0x60, 0});
  loader = factory.CreateInstance();
  EXPECT_FALSE(loader->Open(files.Load("a.bmp", bmp)));
  EXPECT_EQ(loader->GetFilter(), SharedString(u"*.ptp;*.ptp;*.ptq;*.ptp"));
}

TEST(SpiLoader, PluginsThatFaultOrFailCostOnlyTheirTurn) {
  PluginFolder plugins({{"faults_in_is_supported", "a.spi"},
                        {"faults_in_get_picture", "b.spi"},
                        {"get_picture_fails", "c.spi"},
                        {"decoder", "d.spi"}});
  LoaderRegistry registry;
  RegisterImageLoaders(registry, plugins.Folder());
  ASSERT_EQ(registry.GetFactoryCount(), 5u);

  const UINT error_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  TempFolder files;
  // The plug-ins fault on the second byte of the file: an access violation
  // on these two, a division by zero on the GIF, a jump to nowhere on the
  // PNG and the BMP.
  Decoded d = LoadThrough(registry, files, "a.ptp", Ptpf(2, 2, 24, Solid(4, {5, 6, 7})));
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.first_pixel, 0x070605u);
  d = LoadThrough(registry, files, "a.jpg", Testing::EncodeJpeg(8, 8, 1, Bytes(64, 200)));
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.size.width, 8);
  Testing::PngImage png;
  png.width = png.height = 1;
  png.rows = {{9, 8, 7}};
  d = LoadThrough(registry, files, "a.png", Testing::EncodePng(png));
  EXPECT_EQ(d.first_pixel, 0x090807u);
  d = LoadThrough(registry, files, "a.bmp", Testing::MakeBmp(1, 1, 24, {}, {1, 2, 3, 0}));
  EXPECT_EQ(d.first_pixel, 0x030201u);
  const std::string gif = Testing::MakeGif(2, 1, {0x00FF00, 0}, {0, 1});
  d = LoadThrough(registry, files, "a.gif", Bytes(gif.begin(), gif.end()));
  EXPECT_EQ(d.first_pixel, 0x00FF00u);
  EXPECT_EQ(d.format, SharedString(u"OLE ビットマップ"));

  // Every fault left the lock free and the error mode as it was.
  EXPECT_EQ(SetErrorMode(error_mode), UINT(SEM_FAILCRITICALERRORS));
  std::unique_lock<std::mutex> lock(SpiCallLock(), std::try_to_lock);
  EXPECT_TRUE(lock.owns_lock());
}

TEST(SpiLoader, RefusesWhatDoesNotFitTheMemoryItCameIn) {
  PluginFolder plugins({{"lies", "lies.spi"}});
  CSpiLoaderFactory factory(plugins.Folder());
  TempFolder files;
  // A header longer than its block, a missing colour table, rows beyond
  // the pixel data, a picture size of zero, negative or absurd, no pixel
  // block at all, and a size whose arithmetic overflows.
  for (char lie : std::string("01234567")) {
    const Bytes file = {'L', 'I', 'E', uint8_t(lie)};
    EXPECT_FALSE(factory.CreateInstance()->Open(files.Load("a.lie", file))) << lie;
  }
  // A plug-in that never runs out of patterns still ends the filter.
  EXPECT_FALSE(factory.CreateInstance()->GetFilter().IsEmpty());
}

TEST(SpiLoader, APluginThatClaimsJpegComesBeforeTheBuiltInDecoder) {
  TempFolder files;
  const Bytes jpeg = Testing::EncodeJpeg(8, 8, 1, Bytes(64, 200));
  {
    PluginFolder plugins({{"claims_jpeg", "jpeg.spi"}});
    LoaderRegistry registry;
    RegisterImageLoaders(registry, plugins.Folder());
    const Decoded d = LoadThrough(registry, files, "a.jpg", jpeg);
    EXPECT_EQ(d.size.width, 2);
    EXPECT_EQ(d.first_pixel, 0x123456u);
    EXPECT_EQ(d.format, SharedString(u"JPEG by plug-in"));
  }
  // Without plug-ins (a folder that does not exist) the set is empty and
  // the built-in decoders carry on.
  LoaderRegistry registry;
  RegisterImageLoaders(registry, files.PathOf("none\\"));
  const Decoded d = LoadThrough(registry, files, "b.jpg", jpeg);
  EXPECT_EQ(d.size.width, 8);
  EXPECT_EQ(d.format, SharedString(u"JPEG"));
}

}  // namespace
}  // namespace Orvex

#include "app/wallpaper_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "app/fake_desktop.h"
#include "codecs/jpg_loader.h"
#include "codecs/loader_registry.h"
#include "codecs/test_images.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"
#include "imaging/resample.h"

namespace {

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;
using Orvex::Testing::Bytes;
using Orvex::Testing::TestFolder;

// The JPEG loader without its row-by-row form: the change then decodes
// first and resamples afterwards, the plain way.
class PlainJpgLoader : public Orvex::IImageLoader {
 public:
  bool Open(const std::shared_ptr<Orvex::CFileData>& source) override {
    return loader_.Open(source);
  }
  PlaneSize GetImageSize() override { return loader_.GetImageSize(); }
  void Load(Orvex::CPlane& plane, int32_t x, int32_t y) override { loader_.Load(plane, x, y); }
  bool HasAlpha() override { return false; }
  SharedString GetFormatName() override { return loader_.GetFormatName(); }
  SharedString GetFilter() override { return loader_.GetFilter(); }

 private:
  Orvex::CJpgLoader loader_;
};

// Smooth shading with grain, like a photograph.
Bytes PhotoLike(int width, int height) {
  std::mt19937 engine(11);
  Bytes samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const double v = 128 + 80 * std::sin(x * 0.031 + 2 * c) * std::cos(y * 0.047 + c) +
                         static_cast<int>(engine() % 25) - 12;
        samples.push_back(static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)));
      }
    }
  }
  return samples;
}

class WallpaperRenderTest : public testing::Test {
 protected:
  WallpaperRenderTest() : store_(temp_ / u"settings.ini", u"pelmora-render-test") {
    store_.LoadWithDefaults();
    store_.SetBool(u"Resize", true);
    store_.SetBool(u"Sharp", false);
    store_.SetInt(u"ResizeBgColor", 0);
    store_.SetInt(u"ResizeAlignH", 1);
    store_.SetInt(u"ResizeAlignV", 1);
    desktop_.screen = PlaneSize{301, 171};
  }
  ~WallpaperRenderTest() override { Orvex::SetResampleThreads(true); }

  // The bytes of the wallpaper one change writes.
  Bytes Render(bool streaming, const char16_t* name) {
    Orvex::LoaderRegistry registry;
    if (streaming) {
      registry.RegisterFactory(
          std::make_shared<Orvex::DefaultFactory<Orvex::CJpgLoader, Orvex::IImageLoader>>(), 0);
    } else {
      registry.RegisterFactory(
          std::make_shared<Orvex::DefaultFactory<PlainJpgLoader, Orvex::IImageLoader>>(), 0);
    }
    Orvex::SetResampleThreads(streaming);
    const SharedString path = temp_ / name;
    store_.SetString(u"SaveFile", path);
    RenderWallpaper(store_, images_ / u"photo.jpg", registry, desktop_);
    return Orvex::Testing::ReadAll(Orvex::Testing::FsPath(path));
  }

  TestFolder temp_;
  TestFolder images_;
  Orvex::Testing::FakeDesktop desktop_;
  ConfigStore store_;
};

// Decoding and resampling side by side must not change a byte of the
// wallpaper: fitted with gaps (the vertical pass second), stretched (the
// vertical pass first) and at sub-pixel width, from a photograph of odd
// size in both JPEG layouts.
TEST_F(WallpaperRenderTest, OverlappedDecodingWritesTheSameFile) {
  const int w = 517, h = 389;
  const Bytes samples = PhotoLike(w, h);
  for (bool progressive : {false, true}) {
    const Bytes jpeg = Orvex::Testing::EncodeJpeg(w, h, 3, samples, 90, progressive);
    {
      std::ofstream file(Orvex::Testing::FsPath(images_ / u"photo.jpg"), std::ios::binary);
      file.write(reinterpret_cast<const char*>(jpeg.data()),
                 static_cast<std::streamsize>(jpeg.size()));
    }
    struct Mode {
      bool fixed_aspect;
      bool clear_type;
    };
    for (const Mode mode : {Mode{true, false}, Mode{false, false}, Mode{true, true}}) {
      store_.SetBool(u"ResizeFixedAspectRatio", mode.fixed_aspect);
      store_.SetBool(u"ClearType", mode.clear_type);
      const Bytes plain = Render(false, u"plain.bmp");
      const Bytes fast = Render(true, u"fast.bmp");
      ASSERT_GT(plain.size(), 54u + 301u * 171u * 3u);
      EXPECT_TRUE(plain == fast) << "progressive " << progressive << ", fixed aspect "
                                 << mode.fixed_aspect << ", sub-pixels " << mode.clear_type;
    }
  }
}

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

TEST(WallpaperGapColor, FollowsTheAlignment) {
  Orvex::CMemoryPlane32 image;
  image.SetSize({10, 10});
  image.FillAll(Rgb(10, 10, 10));
  image.Fill(Rgb(100, 0, 0), {0, 0, 10, 2});   // top rows
  image.Fill(Rgb(0, 100, 0), {0, 8, 10, 10});  // bottom rows
  const PlaneRect all{0, 0, 10, 10};
  EXPECT_EQ(AutomaticGapColor(image, all, true, 1, 0), Rgb(0, 100, 0));
  EXPECT_EQ(AutomaticGapColor(image, all, true, 1, 2), Rgb(100, 0, 0));
  EXPECT_EQ(AutomaticGapColor(image, all, true, 1, 1), Rgb(50, 50, 0));
  // Outside the three alignments: the whole image's mean.
  EXPECT_EQ(AutomaticGapColor(image, all, true, 1, 7), Rgb(26, 26, 6));
  // Only the drawn part of the image counts.
  EXPECT_EQ(AutomaticGapColor(image, {0, 2, 10, 8}, true, 1, 2), Rgb(10, 10, 10));
  EXPECT_EQ(AutomaticGapColor(image, {}, false, 1, 1), Rgb(26, 26, 6));
}

}  // namespace

#include "app/wallpaper_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

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
// wallpaper: fitted with gaps (the vertical pass second) whose colour comes
// from the rows as they pass (either edge, both, the whole picture, the
// left columns), stretched (the vertical pass first) and at sub-pixel
// width, from a photograph of odd size in both JPEG layouts.
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
      int gap_color;
      int align;
    };
    for (const Mode mode :
         {Mode{true, false, 0, 1}, Mode{false, false, 0, 1}, Mode{true, true, 0, 1},
          Mode{true, false, 0, 0}, Mode{true, false, 0, 2}, Mode{true, false, 0, 3},
          Mode{true, true, 2, 1}}) {
      store_.SetBool(u"ResizeFixedAspectRatio", mode.fixed_aspect);
      store_.SetBool(u"ClearType", mode.clear_type);
      store_.SetInt(u"ResizeBgColor", mode.gap_color);
      store_.SetInt(u"ResizeAlignH", mode.align);
      const Bytes plain = Render(false, u"plain.bmp");
      const Bytes fast = Render(true, u"fast.bmp");
      ASSERT_GT(plain.size(), 54u + 301u * 171u * 3u);
      EXPECT_TRUE(plain == fast) << "progressive " << progressive << ", fixed aspect "
                                 << mode.fixed_aspect << ", sub-pixels " << mode.clear_type
                                 << ", gap colour " << mode.gap_color << ", align " << mode.align;
    }
  }
}

// A desktop that offers a plane of its own, full of leftovers, and notes
// whether the change handed that very plane back. It keeps what it was
// shown: the file of an offered plane is written while the desktop takes
// the pixels, and is compared once the change has ended.
class OfferingDesktop : public Orvex::Testing::FakeDesktop {
 public:
  std::unique_ptr<Orvex::CPlane32> OfferWallpaperPlane(const PlaneSize& size) override {
    auto plane = std::make_unique<Orvex::CMemoryPlane32>();
    plane->SetSize(size);
    plane->FillAll(0x5A3C96);
    offered = plane.get();
    return plane;
  }
  void SetWallpaper(const SharedString& path, const Orvex::CPlane32* pixels) override {
    FakeDesktop::SetWallpaper(path, nullptr);
    took_offer.push_back(pixels != nullptr && pixels == offered);
    if (!pixels) return;
    shown.SetSize(pixels->GetSize());
    shown.CopyAll(*pixels, Orvex::PlaneClip{{}, false});
  }

  const Orvex::CPlane32* offered = nullptr;
  std::vector<bool> took_offer;
  Orvex::CMemoryPlane32 shown;
};

// Drawing into the desktop's own plane writes the bitmap the change writes
// into its own, sharpened or not, with gaps or without, and the desktop
// gets its plane back with the same pixels as the file.
TEST_F(WallpaperRenderTest, TheDesktopsOwnPlaneGivesTheSameFile) {
  const int w = 433, h = 211;
  const Bytes jpeg = Orvex::Testing::EncodeJpeg(w, h, 3, PhotoLike(w, h), 90, false);
  {
    std::ofstream file(Orvex::Testing::FsPath(images_ / u"photo.jpg"), std::ios::binary);
    file.write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
  }
  Orvex::LoaderRegistry registry;
  registry.RegisterFactory(
      std::make_shared<Orvex::DefaultFactory<Orvex::CJpgLoader, Orvex::IImageLoader>>(), 0);
  OfferingDesktop offering;
  offering.screen = desktop_.screen;
  for (const bool sharp : {false, true}) {
    for (const bool fixed_aspect : {true, false}) {
      for (const bool clear_type : {false, true}) {
        SCOPED_TRACE(testing::Message() << "sharp " << sharp << ", fixed aspect " << fixed_aspect
                                        << ", sub-pixels " << clear_type);
        store_.SetBool(u"Sharp", sharp);
        store_.SetBool(u"ResizeFixedAspectRatio", fixed_aspect);
        store_.SetBool(u"ClearType", clear_type);
        store_.SetString(u"SaveFile", temp_ / u"own.bmp");
        RenderWallpaper(store_, images_ / u"photo.jpg", registry, desktop_);
        store_.SetString(u"SaveFile", temp_ / u"offered.bmp");
        RenderWallpaper(store_, images_ / u"photo.jpg", registry, offering);
        EXPECT_TRUE(Orvex::Testing::ReadAll(Orvex::Testing::FsPath(temp_ / u"own.bmp")) ==
                    Orvex::Testing::ReadAll(Orvex::Testing::FsPath(temp_ / u"offered.bmp")));
        ASSERT_FALSE(offering.took_offer.empty());
        EXPECT_TRUE(offering.took_offer.back());
        EXPECT_TRUE(offering.SameAsFile(temp_ / u"offered.bmp", offering.shown));
      }
    }
  }
  // The file is written beside the desktop's work, and its failure still
  // fails the change.
  std::filesystem::create_directories(Orvex::Testing::FsPath(temp_ / u"taken.bmp"));
  store_.SetString(u"SaveFile", temp_ / u"taken.bmp");
  EXPECT_ANY_THROW(RenderWallpaper(store_, images_ / u"photo.jpg", registry, offering));
  EXPECT_TRUE(offering.took_offer.back());
  store_.SetString(u"SaveFile", temp_ / u"offered.bmp");

  // Unscaled, the picture keeps its own size: no plane is asked for.
  store_.SetBool(u"Resize", false);
  offering.offered = nullptr;
  RenderWallpaper(store_, images_ / u"photo.jpg", registry, offering);
  EXPECT_FALSE(offering.took_offer.back());
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

#include "app/composed_render.h"

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "app/fake_desktop.h"
#include "app/wallpaper_render.h"
#include "codecs/bmp_loader.h"
#include "codecs/jpg_loader.h"
#include "codecs/loader_registry.h"
#include "codecs/test_images.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"
#include "imaging/plane_rotation.h"

namespace {

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;
using Orvex::Testing::Bytes;
using Orvex::Testing::PixelAt;
using Orvex::Testing::TestFolder;

// The desktop's colour, 0x123456 with red in the low byte, as PixelAt
// reads it back (red in the high byte).
constexpr uint32_t kDesktopPixel = 0x563412;

Bytes Shaded(int width, int height, int seed) {
  Bytes samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      samples.push_back(static_cast<uint8_t>((x * 7 + seed) & 0xFF));
      samples.push_back(static_cast<uint8_t>((y * 5 + 3 * seed) & 0xFF));
      samples.push_back(static_cast<uint8_t>(((x ^ y) + seed) & 0xFF));
    }
  }
  return samples;
}

std::unique_ptr<Orvex::CMemoryPlane32> ReadBmp(const SharedString& path) {
  Orvex::CBmpLoader loader;
  auto plane = std::make_unique<Orvex::CMemoryPlane32>();
  if (!loader.Open(std::make_shared<Orvex::CFileData>(path))) return plane;
  plane->SetSize(loader.GetImageSize());
  loader.Load(*plane, 0, 0);
  return plane;
}

// The first place where `part` of `whole` differs from `single`, shown
// as text; empty when every pixel is the same (the unused fourth byte aside).
std::string FirstDifference(const Orvex::CPlane32& whole, const PlaneRect& part,
                            const Orvex::CPlane32& single) {
  if (single.GetWidth() != part.Width() || single.GetHeight() != part.Height()) {
    return "sizes differ";
  }
  for (int32_t y = 0; y < single.GetHeight(); ++y) {
    for (int32_t x = 0; x < single.GetWidth(); ++x) {
      const uint32_t a = PixelAt(whole, part.left + x, part.top + y) & 0xFFFFFF;
      const uint32_t b = PixelAt(single, x, y) & 0xFFFFFF;
      if (a != b) return "at " + std::to_string(x) + "," + std::to_string(y);
    }
  }
  return {};
}

class ComposedRenderTest : public testing::Test {
 protected:
  ComposedRenderTest() : store_(temp_ / u"settings.ini", u"pelmora-composed-test") {
    store_.LoadWithDefaults();
    store_.SetString(u"SaveFile", temp_ / u"wallpaper.bmp");
    store_.SetBool(u"ResizeFixedAspectRatio", true);
    store_.SetInt(u"ResizeBgColor", 0);
    registry_.RegisterFactory(
        std::make_shared<Orvex::DefaultFactory<Orvex::CJpgLoader, Orvex::IImageLoader>>(), 0);
    WriteJpeg(u"wide.jpg", 240, 150, 1);
    WriteJpeg(u"tall.jpg", 130, 210, 2);
    TestFolder::WriteBytes(images_ / u"broken.jpg", "not a picture at all");
    // A portrait monitor left of and above the primary, a gap below it.
    desktop_.monitors = MonitorList{
        Monitor{PlaneRect{0, 0, 301, 171}, true, u"DP-1"},
        Monitor{PlaneRect{-120, -40, 0, 160}, false, u"HDMI 2"},
    };
    desktop_.desktop_color = 0x123456;
  }

  void WriteJpeg(const char16_t* name, int width, int height, int seed) {
    const Bytes jpeg = Orvex::Testing::EncodeJpeg(width, height, 3, Shaded(width, height, seed));
    TestFolder::WriteBytes(
        images_ / name, std::string_view(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()));
  }

  // The picture as a single screen of `size` shows it today.
  std::unique_ptr<Orvex::CMemoryPlane32> Single(const char16_t* picture, PlaneSize size) {
    Orvex::Testing::FakeDesktop single;
    single.screen = size;
    single.desktop_color = desktop_.desktop_color;
    ConfigStore store = store_;
    store.SetString(u"SaveFile", temp_ / u"single.bmp");
    RenderWallpaper(store, images_ / picture, registry_, single);
    return ReadBmp(temp_ / u"single.bmp");
  }

  std::vector<MonitorSource> PerMonitor(const std::vector<SharedString>& pictures,
                                        const ReplacementPicture& replacement = {}) {
    return RenderPerMonitorWallpaper(store_, *desktop_.monitors, pictures, replacement, registry_,
                                     desktop_);
  }

  TestFolder temp_;
  TestFolder images_;
  Orvex::LoaderRegistry registry_;
  Orvex::Testing::FakeDesktop desktop_;
  ConfigStore store_;
};

// Each monitor's part is byte for byte what a single screen of its size
// shows of its picture, whatever the fit; the part no monitor covers has
// the desktop's colour; a tiling desktop gets the same picture turned so
// that the primary's corner is its origin.
TEST_F(ComposedRenderTest, EachMonitorShowsItsOwnFit) {
  struct Fit {
    bool clear_type;
    bool sharp;
    int align;
  };
  for (const Fit fit : {Fit{false, false, 1}, Fit{true, false, 0}, Fit{false, true, 2}}) {
    store_.SetBool(u"ClearType", fit.clear_type);
    store_.SetBool(u"Sharp", fit.sharp);
    store_.SetInt(u"ResizeAlignH", fit.align);
    store_.SetInt(u"ResizeAlignV", fit.align);
    for (const bool tiles : {false, true}) {
      desktop_.tiles = tiles;
      const auto shown = PerMonitor({images_ / u"wide.jpg", images_ / u"tall.jpg"});
      ASSERT_EQ(shown.size(), 2u);
      EXPECT_EQ(shown[1].monitor, SharedString(u"HDMI 2"));
      EXPECT_EQ(shown[1].source, images_ / u"tall.jpg");
      auto composed = ReadBmp(temp_ / u"wallpaper.bmp");
      ASSERT_EQ(composed->GetSize(), (PlaneSize{421, 211}));
      // Turned back, the tiled picture is the box again.
      if (tiles) Orvex::RotatePlane(*composed, 120, 40);
      const std::string context = "sub-pixels " + std::to_string(fit.clear_type) + ", sharp " +
                                  std::to_string(fit.sharp) + ", tiles " + std::to_string(tiles);
      EXPECT_EQ(FirstDifference(*composed, {120, 40, 421, 211}, *Single(u"wide.jpg", {301, 171})),
                "")
          << context;
      EXPECT_EQ(FirstDifference(*composed, {0, 0, 120, 200}, *Single(u"tall.jpg", {120, 200})), "")
          << context;
      EXPECT_EQ(PixelAt(*composed, 60, 205) & 0xFFFFFF, kDesktopPixel) << context;
      EXPECT_EQ(PixelAt(*composed, 200, 10) & 0xFFFFFF, kDesktopPixel) << context;
      ASSERT_FALSE(desktop_.composed.empty());
      EXPECT_EQ(desktop_.composed.back().box, (PlaneRect{-120, -40, 301, 171}));
    }
  }
}

// A broken picture costs its turn on its monitor only: the replacement is
// shown there; a monitor left with nothing shows the desktop's colour; when
// no monitor gets a picture the wallpaper is left alone.
TEST_F(ComposedRenderTest, BrokenPicturesAreReplacedOrLeaveTheWallpaperAlone) {
  int asked = 0;
  const auto shown = PerMonitor({images_ / u"broken.jpg", images_ / u"broken.jpg"},
                                [&](const Monitor& monitor) -> std::optional<SharedString> {
                                  ++asked;
                                  if (monitor.primary) return images_ / u"wide.jpg";
                                  return std::nullopt;
                                });
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(shown[0].source, images_ / u"wide.jpg");
  EXPECT_TRUE(shown[1].source.IsEmpty());
  auto composed = ReadBmp(temp_ / u"wallpaper.bmp");
  EXPECT_EQ(FirstDifference(*composed, {120, 40, 421, 211}, *Single(u"wide.jpg", {301, 171})), "");
  EXPECT_EQ(PixelAt(*composed, 60, 100) & 0xFFFFFF, kDesktopPixel);

  desktop_.wallpapers.clear();
  EXPECT_THROW(PerMonitor({images_ / u"broken.jpg", images_ / u"broken.jpg"}), std::exception);
  EXPECT_TRUE(desktop_.wallpapers.empty());
}

// Spanned, the picture is fitted to the box around the monitors exactly as
// to one screen of that size.
TEST_F(ComposedRenderTest, SpannedIsOneFitOfTheBox) {
  RenderSpannedWallpaper(store_, *desktop_.monitors, images_ / u"wide.jpg", registry_, desktop_);
  auto composed = ReadBmp(temp_ / u"wallpaper.bmp");
  EXPECT_EQ(FirstDifference(*composed, {0, 0, 421, 211}, *Single(u"wide.jpg", {421, 211})), "");
  EXPECT_THROW(RenderSpannedWallpaper(store_, *desktop_.monitors, images_ / u"broken.jpg",
                                      registry_, desktop_),
               std::exception);
}

// A desktop that sets each monitor on its own gets a file per monitor, named
// after it, holding that monitor's part of the untiled picture.
TEST_F(ComposedRenderTest, MonitorFilesHoldEachMonitorsPart) {
  desktop_.monitor_files = true;
  PerMonitor({images_ / u"wide.jpg", images_ / u"tall.jpg"});
  const ComposedWallpaper& set = desktop_.composed.back();
  ASSERT_EQ(set.monitors.size(), 2u);
  EXPECT_EQ(set.monitors[0].path, temp_ / u"wallpaper-DP-1.bmp");
  EXPECT_EQ(set.monitors[1].path, temp_ / u"wallpaper-HDMI_2.bmp");
  EXPECT_EQ(FirstDifference(*ReadBmp(set.monitors[1].path), {0, 0, 120, 200},
                            *Single(u"tall.jpg", {120, 200})),
            "");
  EXPECT_EQ(MonitorFilePath(u"/w/a.BMP", Monitor{}, 2), SharedString(u"/w/a-3.bmp"));
}

}  // namespace

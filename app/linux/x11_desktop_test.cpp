#include "app/linux/x11_desktop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codecs/bmp_saver.h"
#include "foundation/posix/run_command.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

// After our headers: Xlib's macros must not reach them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/linux/x11_root_property.h"
#include "app/linux/x11_screen_pixel.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

constexpr uint32_t kRed = 0x0000FF;  // red in the low byte
constexpr uint32_t kBlue = 0xFF0000;

constexpr X11Transfer kTransfers[] = {X11Transfer::kSharedPixmapWhereOffered,
                                      X11Transfer::kSharedMemoryWhereOffered,
                                      X11Transfer::kConnectionOnly};

// A connection of the test's own, to look at the desktop from outside.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (run through x11-desktop)";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    root_ = DefaultRootWindow(display_);
    width_ = DisplayWidth(display_, DefaultScreen(display_));
    height_ = DisplayHeight(display_, DefaultScreen(display_));
    previous_handler_ = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  void TearDown() override {
    if (display_) {
      XSetErrorHandler(previous_handler_);
      XCloseDisplay(display_);
    }
  }

  std::optional<Pixmap> Property(const char* name) {
    return ReadPixmapProperty(display_, root_, name);
  }

  // The pixmap both root properties name; fails the test otherwise.
  Pixmap Published() {
    const std::optional<Pixmap> published = Property("_XROOTPMAP_ID");
    const std::optional<Pixmap> esetroot = Property("ESETROOT_PMAP_ID");
    EXPECT_TRUE(published && esetroot && *published == *esetroot);
    return published.value_or(None);
  }

  bool Exists(Pixmap pixmap) {
    const bool exists = PixmapExists(display_, pixmap);
    XSync(display_, False);
    return exists;
  }

  // A pixel of an image of a 24-bit TrueColor screen, as 0xRRGGBB. An
  // image of a pixmap has no masks of its own: the screen's visual has.
  uint32_t ScreenRgb(XImage* image, int x, int y) {
    const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
    const unsigned long pixel = XGetPixel(image, x, y);
    return static_cast<uint32_t>(((pixel & visual->red_mask) >> 16) << 16 |
                                 ((pixel & visual->green_mask) >> 8) << 8 |
                                 (pixel & visual->blue_mask));
  }

  // What the screen shows at (x, y), as 0xRRGGBB.
  uint32_t ScreenPixel(int x, int y) { return ::ScreenPixel(display_, x, y); }

  // A bitmap of the given size in one colour, with its outermost columns
  // in another.
  SharedString SaveBitmap(const char16_t* name, int32_t w, int32_t h, uint32_t inside,
                          uint32_t edges) {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({w, h});
    plane.FillAll(inside);
    plane.Fill(edges, Orvex::PlaneRect{0, 0, 1, h});
    plane.Fill(edges, Orvex::PlaneRect{w - 1, 0, w, h});
    const SharedString path = folder_ / name;
    Orvex::CBmpSaver().Save(path, plane, Orvex::PlaneRect{0, 0, w, h});
    return path;
  }

  TestFolder folder_;
  Display* display_ = nullptr;
  Window root_ = None;
  int width_ = 0;
  int height_ = 0;
  XErrorHandler previous_handler_ = nullptr;
};

TEST_F(DesktopTest, TheScreenSizeIsTheRootWindows) {
  X11Desktop desktop;
  const std::optional<Orvex::PlaneSize> size = desktop.GetScreenSize();
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, width_);
  EXPECT_EQ(size->height, height_);
  EXPECT_EQ(desktop.GetDesktopColor(), 0u);
}

TEST_F(DesktopTest, ABitmapOfAnotherSizeIsCentredOnBlackAndCropped) {
  // Two columns wider than the screen: the blue edge columns fall off.
  const SharedString wide = SaveBitmap(u"wide.bmp", width_ + 2, 4, kRed, kBlue);
  for (const X11Transfer transfer : kTransfers) {
    SCOPED_TRACE(static_cast<int>(transfer));
    X11Desktop desktop(nullptr, transfer);
    desktop.SetWallpaper(wide, nullptr);
    const int top = (height_ - 4) / 2;
    EXPECT_EQ(ScreenPixel(0, top), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(width_ - 1, top + 3), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(0, top - 1), 0u);
    EXPECT_EQ(ScreenPixel(width_ - 1, top + 4), 0u);
    EXPECT_TRUE(Exists(Published()));
  }
}

// Every pixel of the published pixmap, on every path: a pixmap of shared
// memory, shared memory in bands that reuse their room, the connection.
TEST_F(DesktopTest, GivenPixelsAreShownExactlyWithoutReadingTheFile) {
  const auto colour = [](int32_t x, int32_t y) {
    return static_cast<uint32_t>((x * 7) & 0xFF) | static_cast<uint32_t>((y * 3) & 0xFF) << 8 |
           static_cast<uint32_t>((x + y) & 0xFF) << 16;
  };
  Orvex::CMemoryPlane32 plane;
  plane.SetSize({width_, height_});
  for (int32_t y = 0; y < height_; ++y) {
    for (int32_t x = 0; x < width_; ++x) {
      plane.Fill(colour(x, y), Orvex::PlaneRect{x, y, x + 1, y + 1});
    }
  }
  for (const X11Transfer transfer : kTransfers) {
    SCOPED_TRACE(static_cast<int>(transfer));
    X11Desktop desktop(nullptr, transfer);
    desktop.SetWallpaper(folder_ / u"never-written.bmp", &plane);
    // The test's server is on this machine and offers all of them.
    EXPECT_EQ(desktop.LastTransfer(), transfer);

    XImage* screen = XGetImage(display_, Published(), 0, 0, static_cast<unsigned>(width_),
                               static_cast<unsigned>(height_), AllPlanes, ZPixmap);
    ASSERT_NE(screen, nullptr);
    int wrong = 0;
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t bgr = colour(x, y);
        const uint32_t rgb = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16;
        if (ScreenRgb(screen, x, y) != rgb && ++wrong <= 3) {
          ADD_FAILURE() << x << "," << y << ": " << std::hex << ScreenRgb(screen, x, y);
        }
      }
    }
    XDestroyImage(screen);
    EXPECT_EQ(wrong, 0);
  }
}

// The plane the desktop offers becomes the pixmap as it is: what is drawn
// into it is what the screen shows, and the published pixmap outlives it.
// Offers are only made where that holds.
TEST_F(DesktopTest, AnOfferedPlaneIsShownAsDrawn) {
  X11Desktop desktop;
  std::unique_ptr<Orvex::CPlane32> plane = desktop.OfferWallpaperPlane({width_, height_});
  ASSERT_NE(plane, nullptr);
  plane->SetSize({width_, height_});
  plane->FillAll(kRed);
  plane->Fill(kBlue, Orvex::PlaneRect{0, height_ - 1, width_, height_});
  desktop.SetWallpaper(folder_ / u"never-written.bmp", plane.get());
  EXPECT_EQ(desktop.LastTransfer(), X11Transfer::kSharedPixmapWhereOffered);
  EXPECT_EQ(ScreenPixel(0, 0), 0xFF0000u);
  EXPECT_EQ(ScreenPixel(width_ - 1, height_ - 2), 0xFF0000u);
  EXPECT_EQ(ScreenPixel(width_ / 2, height_ - 1), 0x0000FFu);
  // No copy was made: the pixmap is the plane's memory.
  plane->FillAll(kBlue);
  XImage* pixel = XGetImage(display_, Published(), 1, 1, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(pixel, nullptr);
  EXPECT_EQ(ScreenRgb(pixel, 0, 0), 0x0000FFu);
  XDestroyImage(pixel);
  plane.reset();
  EXPECT_TRUE(Exists(Published()));
  EXPECT_EQ(ScreenPixel(1, 1), 0xFF0000u);

  // Not of the screen's size, or on a path without shared pixmaps.
  EXPECT_EQ(desktop.OfferWallpaperPlane({width_ - 1, height_}), nullptr);
  X11Desktop bands(nullptr, X11Transfer::kSharedMemoryWhereOffered);
  EXPECT_EQ(bands.OfferWallpaperPlane({width_, height_}), nullptr);

  // An offered plane given back with other pixels in its place still
  // shows the pixels given.
  std::unique_ptr<Orvex::CPlane32> unused = desktop.OfferWallpaperPlane({width_, height_});
  ASSERT_NE(unused, nullptr);
  Orvex::CMemoryPlane32 other;
  other.SetSize({width_, height_});
  other.FillAll(kBlue);
  desktop.SetWallpaper(folder_ / u"never-written.bmp", &other);
  unused.reset();
  EXPECT_EQ(ScreenPixel(width_ / 2, height_ / 2), 0x0000FFu);
  EXPECT_TRUE(Exists(Published()));
}

TEST_F(DesktopTest, EachWallpaperFreesTheLastAndRemovalLeavesNothing) {
  X11Desktop desktop;
  desktop.SetWallpaper(SaveBitmap(u"first.bmp", width_, height_, kRed, kRed), nullptr);
  const Pixmap first = Published();
  ASSERT_TRUE(Exists(first));
  desktop.SetWallpaper(SaveBitmap(u"second.bmp", width_, height_, kBlue, kBlue), nullptr);
  const Pixmap second = Published();
  EXPECT_NE(second, first);
  EXPECT_TRUE(Exists(second));
  EXPECT_FALSE(Exists(first));
  EXPECT_EQ(ScreenPixel(width_ / 2, height_ / 2), 0x0000FFu);

  desktop.RemoveWallpaper();
  EXPECT_FALSE(Property("_XROOTPMAP_ID"));
  EXPECT_FALSE(Property("ESETROOT_PMAP_ID"));
  EXPECT_FALSE(Exists(second));
  EXPECT_EQ(ScreenPixel(width_ / 2, height_ / 2), 0u);
  // Removing twice is harmless.
  desktop.RemoveWallpaper();
}

TEST_F(DesktopTest, APixmapSomebodyElseStillUsesIsLeftAlone) {
  // Published under only one of the two names: its owner keeps it.
  const Pixmap foreign =
      XCreatePixmap(display_, root_, 8, 8, static_cast<unsigned>(DefaultDepth(display_, 0)));
  const Atom atom = XInternAtom(display_, "_XROOTPMAP_ID", False);
  XChangeProperty(display_, root_, atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&foreign), 1);
  const Atom esetroot = XInternAtom(display_, "ESETROOT_PMAP_ID", False);
  XDeleteProperty(display_, root_, esetroot);
  XSync(display_, False);

  X11Desktop desktop;
  desktop.SetWallpaper(SaveBitmap(u"mine.bmp", 16, 16, kRed, kRed), nullptr);
  // Our own connection is still alive, so its pixmap must be too.
  EXPECT_TRUE(Exists(foreign));
  EXPECT_NE(Published(), foreign);
  XFreePixmap(display_, foreign);
}

TEST_F(DesktopTest, FilesThatAreNoBitmapChangeNothing) {
  X11Desktop desktop;
  desktop.SetWallpaper(SaveBitmap(u"good.bmp", 16, 16, kRed, kRed), nullptr);
  const Pixmap before = Published();

  const SharedString missing = folder_ / u"missing.bmp";
  try {
    desktop.SetWallpaper(missing, nullptr);
    ADD_FAILURE() << "a missing file was taken";
  } catch (const Orvex::IOException& e) {
    EXPECT_NE(std::string(e.what()).find("missing.bmp"), std::string::npos) << e.what();
  }
  const SharedString text = folder_ / u"text.bmp";
  TestFolder::WriteBytes(text, "not a bitmap at all");
  EXPECT_THROW(desktop.SetWallpaper(text, nullptr), Orvex::ImageLoadException);

  EXPECT_EQ(Published(), before);
  EXPECT_TRUE(Exists(before));
}

TEST(X11DesktopTest, AMissingDisplayIsNamed) {
  try {
    X11Desktop desktop(":4711");
    FAIL() << "connected to display :4711";
  } catch (const DesktopUnavailableException& e) {
    EXPECT_NE(std::string(e.what()).find("ディスプレイに接続できません"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find(":4711"), std::string::npos);
  }
}

}  // namespace

// RandR monitors of the test's own server: the screen's output cut down to
// the left part (the primary) and a monitor of the user's own beside it.
class MonitorLayoutTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    if (!Orvex::IsProgramAvailable("xrandr")) GTEST_SKIP() << "xrandr is not installed";
    const std::string full = std::to_string(width_) + "x" + std::to_string(height_);
    restore_mode_ = full;
    Xrandr(
        {"--newmode", "left", "0", "800", "0", "0", "0", std::to_string(height_), "0", "0", "0"});
    Xrandr({"--addmode", "screen", "left"});
    Xrandr({"--fb", full, "--output", "screen", "--mode", "left", "--primary"});
    Xrandr({"--setmonitor", "SIDE", "480/127x640/169+800+0", "none"});
  }
  void TearDown() override {
    if (!restore_mode_.empty()) {
      Orvex::RunCommand({"xrandr", "--delmonitor", "SIDE"});
      Orvex::RunCommand({"xrandr", "--output", "screen", "--mode", restore_mode_});
    }
    DesktopTest::TearDown();
  }
  static void Xrandr(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xrandr");
    const Orvex::CommandResult result = Orvex::RunCommand(arguments);
    ASSERT_EQ(result.exit_code, 0) << result.output;
  }

  std::string restore_mode_;
};

TEST_F(MonitorLayoutTest, MonitorsAreRandrsByNameAndTheComposedPictureSitsAtItsBox) {
  ASSERT_EQ(width_, 1280);
  X11Desktop desktop;
  const MonitorList monitors = desktop.GetMonitors();
  ASSERT_EQ(monitors.size(), 2u);
  const Monitor& screen = monitors[0].name == u"screen" ? monitors[0] : monitors[1];
  const Monitor& side = monitors[0].name == u"SIDE" ? monitors[0] : monitors[1];
  EXPECT_EQ(screen.name, u"screen");
  EXPECT_EQ(side.name, u"SIDE");
  EXPECT_EQ(screen.rect, (Orvex::PlaneRect{0, 0, 800, height_}));
  EXPECT_EQ(side.rect, (Orvex::PlaneRect{800, 0, 1280, 640}));
  EXPECT_TRUE(screen.primary);
  EXPECT_FALSE(side.primary);

  // A picture of the side monitor alone lands on it, not centred on the
  // screen; the rest of the root window is black.
  for (const X11Transfer transfer : kTransfers) {
    SCOPED_TRACE(static_cast<int>(transfer));
    X11Desktop placing(nullptr, transfer);
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({480, 640});
    plane.FillAll(kRed);
    plane.Fill(kBlue, Orvex::PlaneRect{0, 0, 1, 1});
    plane.Fill(kBlue, Orvex::PlaneRect{479, 639, 480, 640});
    ComposedWallpaper wallpaper;
    wallpaper.path = folder_ / u"never-written.bmp";
    wallpaper.pixels = &plane;
    wallpaper.box = side.rect;
    placing.SetComposedWallpaper(wallpaper);
    EXPECT_EQ(ScreenPixel(800, 0), 0x0000FFu);
    EXPECT_EQ(ScreenPixel(801, 0), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(1279, 639), 0x0000FFu);
    EXPECT_EQ(ScreenPixel(1279, 640), 0u);
    EXPECT_EQ(ScreenPixel(799, 0), 0u);
    EXPECT_EQ(ScreenPixel(0, 0), 0u);
  }
}

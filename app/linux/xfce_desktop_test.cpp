#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "app/linux/alternating_file.h"
#include "app/linux/linux_desktop.h"
#include "codecs/bmp_saver.h"
#include "foundation/encoding.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

// After our headers: Xlib's macros must not reach them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/linux/x11_screen_pixel.h"

// xfdesktop itself, on the test's own X display and session bus (run
// through x11-desktop and dbus-run-session), with a settings folder of the
// test's own: the wallpaper must show on the screen, pixel for pixel.

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A picture no scaling or colour conversion could leave unchanged.
uint32_t Pattern(int32_t x, int32_t y, uint32_t seed) {
  return ((static_cast<uint32_t>(x) * 7 + seed) & 0xFF) |
         ((static_cast<uint32_t>(y) * 3 + seed) & 0xFF) << 8 |
         ((static_cast<uint32_t>(x + y) + seed) & 0xFF) << 16;
}

class XfceDesktopTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") || !std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
      GTEST_SKIP() << "needs an X display and a private session bus";
    }
    if (!Orvex::IsProgramAvailable("xfdesktop") || !Orvex::IsProgramAvailable("xfconf-query")) {
      GTEST_SKIP() << "xfdesktop4 and xfconf are not installed";
    }
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    width_ = DisplayWidth(display_, DefaultScreen(display_));
    height_ = DisplayHeight(display_, DefaultScreen(display_));

    // The settings daemon is started by the bus and takes its environment.
    const std::string home = Orvex::Detail::ToSystemPath(folder_.Path());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
      ::setenv(name, (home + "/" + name).c_str(), 1);
    }
    Orvex::RunCommandChecked({"dbus-update-activation-environment", "XDG_CONFIG_HOME",
                              "XDG_CACHE_HOME", "XDG_DATA_HOME"});
    // No file icons over the picture.
    Orvex::RunCommandChecked({"xfconf-query", "-c", "xfce4-desktop", "-p", "/desktop-icons/style",
                              "-n", "-t", "int", "-s", "0"});
    xfdesktop_ = Orvex::StartDetached({"xfdesktop", "--disable-wm-check"});
    ASSERT_TRUE(WaitFor(
        [] {
          return Orvex::RunCommand({"xfconf-query", "-c", "xfce4-desktop", "-l"})
                     .output.find("/last-image") != std::string::npos;
        },
        std::chrono::seconds(15)))
        << "xfdesktop made no monitor settings";
  }
  void TearDown() override {
    if (xfdesktop_ > 0) {
      ::kill(xfdesktop_, SIGTERM);
      ::waitpid(xfdesktop_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
  }

  uint32_t ScreenPixel(int x, int y) { return ::ScreenPixel(display_, x, y); }
  static uint32_t AsScreenPixel(uint32_t plane_pixel) {
    return (plane_pixel & 0xFF) << 16 | (plane_pixel & 0xFF00) | (plane_pixel >> 16 & 0xFF);
  }

  // Writes the pattern as the program does and shows it.
  void Show(LinuxDesktop& desktop, uint32_t seed) {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({width_, height_});
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        plane.Fill(Pattern(x, y, seed), Orvex::PlaneRect{x, y, x + 1, y + 1});
      }
    }
    Orvex::CBmpSaver().Save(file_, plane, Orvex::PlaneRect{0, 0, width_, height_});
    desktop.SetWallpaper(file_, &plane);
  }
  // Whether the screen shows the pattern exactly, at a spread of points.
  bool Shows(uint32_t seed) {
    for (const auto& [x, y] : {std::pair{0, 0},
                               {width_ - 1, 0},
                               {0, height_ - 1},
                               {37, 91},
                               {width_ / 2, height_ / 2},
                               {width_ - 1, height_ - 1}}) {
      if (ScreenPixel(x, y) != AsScreenPixel(Pattern(x, y, seed))) return false;
    }
    return true;
  }

  TestFolder folder_;
  SharedString file_ = folder_ / u"walls/Pelmora.bmp";
  Display* display_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  pid_t xfdesktop_ = 0;
};

TEST_F(XfceDesktopTest, EachPictureShowsExactlyAlsoPerMonitorAndRemovalLeavesTheColour) {
  LinuxDesktop desktop(u"xfce");
  Show(desktop, 0);
  EXPECT_TRUE(WaitFor([&] { return Shows(0); }, std::chrono::seconds(10)))
      << "first picture not shown; centre is " << std::hex << ScreenPixel(width_ / 2, height_ / 2);
  // Evidence for a person: what the screen showed.
  if (const char* folder = std::getenv("PELMORA_SCREENSHOTS")) {
    Orvex::RunCommand({"import", "-window", "root", std::string(folder) + "/xfce-desktop.png"});
  }
  // The second picture comes under the other name, which xfdesktop loads
  // afresh.
  Show(desktop, 101);
  EXPECT_TRUE(WaitFor([&] { return Shows(101); }, std::chrono::seconds(10)))
      << "second picture not shown; centre is " << std::hex << ScreenPixel(width_ / 2, height_ / 2);
  const std::string listed =
      Orvex::RunCommandChecked({"xfconf-query", "-c", "xfce4-desktop", "-l", "-v"});
  EXPECT_NE(listed.find(AlternateNames(Orvex::Detail::ToSystemPath(file_)).second),
            std::string::npos)
      << listed;

  ASSERT_TRUE(desktop.WantsMonitorFiles());
  // Each monitor its own file: the screen's own monitor as RandR names it,
  // and one xfdesktop has no settings for yet. (All on one xfdesktop: a
  // second one in the same session and display draws nothing.)
  const MonitorList monitors = desktop.GetMonitors();
  ASSERT_EQ(monitors.size(), 1u);
  const SharedString own = folder_ / u"walls/Pelmora-screen.bmp";
  const SharedString other = folder_ / u"walls/Pelmora-SIDE.bmp";
  Orvex::CMemoryPlane32 plane;
  plane.SetSize({width_, height_});
  for (int32_t y = 0; y < height_; ++y) {
    for (int32_t x = 0; x < width_; ++x) {
      plane.Fill(Pattern(x, y, 55), Orvex::PlaneRect{x, y, x + 1, y + 1});
    }
  }
  Orvex::CBmpSaver().Save(own, plane, Orvex::PlaneRect{0, 0, width_, height_});
  Orvex::CBmpSaver().Save(other, plane, Orvex::PlaneRect{0, 0, 8, 8});
  Orvex::CBmpSaver().Save(file_, plane, Orvex::PlaneRect{0, 0, width_, height_});
  ComposedWallpaper wallpaper;
  wallpaper.path = file_;
  wallpaper.box = monitors[0].rect;
  Monitor side;
  side.name = u"SIDE";
  side.rect = {width_, 0, width_ + 8, 8};
  wallpaper.monitors = {{monitors[0], own}, {side, other}};
  desktop.SetComposedWallpaper(wallpaper);

  EXPECT_TRUE(WaitFor([&] { return Shows(55); }, std::chrono::seconds(10)))
      << "the monitor's picture not shown; centre is " << std::hex
      << ScreenPixel(width_ / 2, height_ / 2) << "\n"
      << Orvex::RunCommand({"xfconf-query", "-c", "xfce4-desktop", "-l", "-v"}).output;
  const std::string monitor_name = Orvex::GetDefaultEncoding().ToMultiByte(monitors[0].name);
  for (const auto& [property, path] :
       {std::pair{"/backdrop/screen0/monitor" + monitor_name + "/workspace0/last-image", own},
        {std::string("/backdrop/screen0/monitorSIDE/workspace0/last-image"), other}}) {
    std::string value =
        Orvex::RunCommand({"xfconf-query", "-c", "xfce4-desktop", "-p", property}).output;
    while (!value.empty() && value.back() == '\n') value.pop_back();
    const auto [first, second] = AlternateNames(Orvex::Detail::ToSystemPath(path));
    EXPECT_TRUE(value == first || value == second) << property << " is '" << value << "'";
  }

  desktop.RemoveWallpaper();
  EXPECT_TRUE(WaitFor([&] { return !Shows(55); }, std::chrono::seconds(10)));
}

}  // namespace

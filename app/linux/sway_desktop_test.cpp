#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "app/linux/linux_desktop.h"
#include "app/monitors.h"
#include "codecs/bmp_saver.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

// sway itself, headless with two outputs (run through sway-desktop): the
// wallpaper must show on both, pixel for pixel, as grim photographs them.

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

constexpr const char* kOutputs[] = {"HEADLESS-1", "HEADLESS-2"};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// As 0xRRGGBB; the plane holds red in the low byte.
uint32_t Pattern(int32_t x, int32_t y, uint32_t seed) {
  return ((static_cast<uint32_t>(x) * 7 + seed) & 0xFF) << 16 |
         ((static_cast<uint32_t>(y) * 3 + seed) & 0xFF) << 8 |
         ((static_cast<uint32_t>(x + y) + seed) & 0xFF);
}
uint32_t PlanePixel(uint32_t rgb) {
  return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

// One output's picture as grim takes it (binary PPM), 0xRRGGBB.
struct Shot {
  int width = 0;
  int height = 0;
  std::string pixels;
  uint32_t At(int x, int y) const {
    const size_t at =
        (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return static_cast<uint32_t>(static_cast<unsigned char>(pixels[at])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(pixels[at + 1])) << 8 |
           static_cast<unsigned char>(pixels[at + 2]);
  }
};

std::optional<Shot> Photograph(const char* output) {
  Orvex::CommandLimits limits;
  limits.output_bytes = 64 << 20;
  const Orvex::CommandResult taken =
      Orvex::RunCommand({"grim", "-o", output, "-t", "ppm", "-"}, limits);
  if (taken.exit_code != 0) return std::nullopt;
  Shot shot;
  int max = 0;
  int consumed = 0;
  if (std::sscanf(taken.output.c_str(), "P6 %d %d %d%n", &shot.width, &shot.height, &max,
                  &consumed) != 3 ||
      max != 255) {
    return std::nullopt;
  }
  shot.pixels = taken.output.substr(static_cast<size_t>(consumed) + 1);
  if (shot.pixels.size() < static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height) * 3) {
    return std::nullopt;
  }
  return shot;
}

class SwayDesktopTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("SWAYSOCK")) GTEST_SKIP() << "needs a running sway (run through sway-desktop)";
    // sway may run as another user: it must be able to read the pictures.
    ::chmod(Orvex::Detail::ToSystemPath(folder_.Path()).c_str(), 0755);
  }

  // Writes the pattern as the program does and shows it.
  void Show(LinuxDesktop& desktop, const Orvex::PlaneSize& size, uint32_t seed) {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize(size);
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        plane.Fill(PlanePixel(Pattern(x, y, seed)), Orvex::PlaneRect{x, y, x + 1, y + 1});
      }
    }
    Orvex::CBmpSaver().Save(file_, plane, Orvex::PlaneRect{0, 0, size.width, size.height});
    desktop.SetWallpaper(file_, &plane);
  }
  // Whether every output shows the pattern exactly, at a spread of points.
  static bool Shows(const std::function<uint32_t(int, int)>& expected) {
    for (const char* output : kOutputs) {
      const std::optional<Shot> shot = Photograph(output);
      if (!shot) return false;
      const int w = shot->width;
      const int h = shot->height;
      for (const auto& [x, y] :
           {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {37, 91}, {w / 2, h / 2}, {w - 1, h - 1}}) {
        if (shot->At(x, y) != expected(x, y)) return false;
      }
    }
    return true;
  }

  TestFolder folder_;
  SharedString file_ = folder_ / u"a \"wall\" it's/Pelmora.bmp";
};

// Another wlroots compositor's way, tried on sway: a swaybg of our own,
// which the next change replaces once the new one shows. First, before sway
// has a background of its own that would cover it.
TEST_F(SwayDesktopTest, SwaybgIsReplacedByTheNextOne) {
  LinuxDesktop desktop(u"wlroots");
  const Orvex::PlaneSize size{640, 480};
  Show(desktop, size, 5);
  EXPECT_TRUE(WaitFor([] { return Shows([](int x, int y) { return Pattern(x, y, 5); }); },
                      std::chrono::seconds(10)));
  const std::string pid_file = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/pelmora/swaybg.pid";
  const std::string first = TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(pid_file));
  ASSERT_FALSE(first.empty());
  Show(desktop, size, 9);
  EXPECT_TRUE(WaitFor([] { return Shows([](int x, int y) { return Pattern(x, y, 9); }); },
                      std::chrono::seconds(10)));
  const std::string second = TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(pid_file));
  EXPECT_NE(second, first);
  EXPECT_NE(::kill(std::stoi(first), 0), 0) << "the replaced swaybg still runs";

  desktop.RemoveWallpaper();
  EXPECT_TRUE(WaitFor([] { return Shows([](int, int) { return 0u; }); }, std::chrono::seconds(10)));
  ::kill(std::stoi(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(pid_file))), SIGTERM);
}

TEST_F(SwayDesktopTest, EachPictureShowsExactlyOnEveryOutput) {
  LinuxDesktop desktop(u"");
  ASSERT_EQ(desktop.BackendName(), "sway");
  const std::optional<Orvex::PlaneSize> size = desktop.GetScreenSize();
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 640);
  EXPECT_EQ(size->height, 480);

  Show(desktop, *size, 0);
  EXPECT_TRUE(WaitFor([] { return Shows([](int x, int y) { return Pattern(x, y, 0); }); },
                      std::chrono::seconds(10)));
  // Evidence for a person: what each output showed.
  if (const char* folder = std::getenv("PELMORA_SCREENSHOTS")) {
    for (const char* output : kOutputs) {
      Orvex::RunCommand({"grim", "-o", output, std::string(folder) + "/sway-" + output + ".png"});
    }
  }
  Show(desktop, *size, 77);
  EXPECT_TRUE(WaitFor([] { return Shows([](int x, int y) { return Pattern(x, y, 77); }); },
                      std::chrono::seconds(10)));

  desktop.RemoveWallpaper();
  EXPECT_TRUE(WaitFor([] { return Shows([](int, int) { return 0u; }); }, std::chrono::seconds(10)));
}

TEST_F(SwayDesktopTest, AFileSwayCannotReadIsAnErrorNotASuccess) {
  LinuxDesktop desktop(u"sway");
  const SharedString missing = folder_ / u"missing.bmp";
  EXPECT_THROW(desktop.SetWallpaper(missing, nullptr), Orvex::RuntimeException);
}

// Outputs of different sizes, each with a file of its own size, set by its
// name: each output shows its own picture, pixel for pixel.
TEST_F(SwayDesktopTest, EachOutputShowsItsOwnPictureExactly) {
  Orvex::RunCommandChecked({"swaymsg", "output", "HEADLESS-2", "resolution", "400x600"});
  LinuxDesktop desktop(u"sway");
  ASSERT_TRUE(desktop.WantsMonitorFiles());
  MonitorList monitors = desktop.GetMonitors();
  ASSERT_EQ(monitors.size(), 2u);
  std::sort(monitors.begin(), monitors.end(),
            [](const Monitor& a, const Monitor& b) { return a.name < b.name; });
  EXPECT_EQ(monitors[0].name, u"HEADLESS-1");
  EXPECT_EQ(monitors[1].name, u"HEADLESS-2");
  EXPECT_EQ(monitors[0].rect.Width(), 640);
  EXPECT_EQ(monitors[0].rect.Height(), 480);
  EXPECT_EQ(monitors[1].rect.Width(), 400);
  EXPECT_EQ(monitors[1].rect.Height(), 600);
  EXPECT_NE(monitors[0].primary, monitors[1].primary);

  ComposedWallpaper wallpaper;
  wallpaper.path = file_;
  wallpaper.box = BoundingBox(monitors);
  // Only the outputs' own files are shown; the composed one is not read.
  TestFolder::WriteBytes(file_, "composed");
  for (size_t i = 0; i < monitors.size(); ++i) {
    const auto size = Orvex::PlaneSize{static_cast<int32_t>(monitors[i].rect.Width()),
                                       static_cast<int32_t>(monitors[i].rect.Height())};
    Orvex::CMemoryPlane32 plane;
    plane.SetSize(size);
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        plane.Fill(PlanePixel(Pattern(x, y, 40 * static_cast<uint32_t>(i + 1))),
                   Orvex::PlaneRect{x, y, x + 1, y + 1});
      }
    }
    const SharedString own = folder_.Path() + u"walls/Pelmora-" + monitors[i].name + u".bmp";
    Orvex::CBmpSaver().Save(own, plane, Orvex::PlaneRect{0, 0, size.width, size.height});
    wallpaper.monitors.push_back({monitors[i], own});
  }
  desktop.SetComposedWallpaper(wallpaper);

  const auto shows = [](const char* output, uint32_t seed, int width, int height) {
    const std::optional<Shot> shot = Photograph(output);
    if (!shot || shot->width != width || shot->height != height) return false;
    for (const auto& [x, y] : {std::pair{0, 0},
                               {width - 1, 0},
                               {0, height - 1},
                               {37, 91},
                               {width / 2, height / 2},
                               {width - 1, height - 1}}) {
      if (shot->At(x, y) != Pattern(x, y, seed)) return false;
    }
    return true;
  };
  EXPECT_TRUE(WaitFor([&] { return shows("HEADLESS-1", 40, 640, 480); }, std::chrono::seconds(10)));
  EXPECT_TRUE(WaitFor([&] { return shows("HEADLESS-2", 80, 400, 600); }, std::chrono::seconds(10)));
  if (const char* folder = std::getenv("PELMORA_SCREENSHOTS")) {
    for (const char* output : kOutputs) {
      Orvex::RunCommand(
          {"grim", "-o", output, std::string(folder) + "/sway-monitors-" + output + ".png"});
    }
  }
  Orvex::RunCommand({"swaymsg", "output", "HEADLESS-2", "resolution", "640x480"});
}

}  // namespace

#include "foundation/display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "foundation/process.h"
#include "foundation/system_test_support.h"

namespace Orvex {
namespace {

using namespace std::chrono_literals;

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    had_ = old != nullptr;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

TEST(PosixDisplayTest, NoDisplayGivesNothing) {
  ScopedEnvironment no_display("DISPLAY", nullptr);
  DisplayMode mode = GetDisplayMode();
  EXPECT_EQ(mode.width, -1);
  EXPECT_EQ(mode.height, -1);
  EXPECT_EQ(mode.bits_per_pixel, -1);
  EXPECT_EQ(mode.frequency, -1);
}

TEST(PosixDisplayTest, AnXServerReportsItsScreen) {
  if (!std::filesystem::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "no Xvfb to test with";
  // A display number that nobody uses now.
  std::random_device device;
  int number = 0;
  for (int attempt = 0; attempt < 20 && !number; ++attempt) {
    int candidate = 100 + static_cast<int>(device() % 400);
    if (!std::filesystem::exists("/tmp/.X" + std::to_string(candidate) + "-lock")) {
      number = candidate;
    }
  }
  ASSERT_NE(number, 0);
  const std::string name = ":" + std::to_string(number);
  ProcessStartInfo info;
  info.file = u"/usr/bin/Xvfb";
  info.parameters = FromUtf8(name + " -screen 0 800x600x24 -nolisten tcp");
  info.use_shell = false;
  std::shared_ptr<Process> server = StartProcess(info);
  ASSERT_TRUE(server);
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  const bool up = Testing::WaitUntil(
      [&] { return std::filesystem::exists(socket) || server->WaitForExit(0); }, 30s);
  DisplayMode mode;
  if (up && !server->WaitForExit(0)) {
    ScopedEnvironment display("DISPLAY", name.c_str());
    mode = GetDisplayMode();
  }
  server->Kill();
  server->WaitForExit(30000);
  if (!up) GTEST_SKIP() << "Xvfb did not start";
  EXPECT_EQ(mode.width, 800);
  EXPECT_EQ(mode.height, 600);
  EXPECT_EQ(mode.bits_per_pixel, 24);
  EXPECT_EQ(mode.frequency, 0);
}

}  // namespace
}  // namespace Orvex

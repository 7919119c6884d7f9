#include "foundation/display.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace Orvex {
namespace {

TEST(DisplayTest, ReportsTheScreenOrNothing) {
  DisplayMode mode = GetDisplayMode();
  const char* display = std::getenv("DISPLAY");
  if (!display || !display[0]) {
    EXPECT_EQ(mode.width, -1);
    EXPECT_EQ(mode.height, -1);
    EXPECT_EQ(mode.bits_per_pixel, -1);
    EXPECT_EQ(mode.frequency, -1);
  } else if (mode.width != -1) {
    EXPECT_GT(mode.width, 0);
    EXPECT_GT(mode.height, 0);
    EXPECT_GT(mode.bits_per_pixel, 0);
  }
}

}  // namespace
}  // namespace Orvex

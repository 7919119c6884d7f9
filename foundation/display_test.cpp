#include "foundation/display.h"

#include <gtest/gtest.h>

namespace Orvex {
namespace {

// Whether a screen can be asked depends on where the tests run; what is
// reported is either a real mode or nothing at all.
TEST(DisplayTest, ReportsAModeOrNothing) {
  DisplayMode mode = GetDisplayMode();
  if (mode.width == -1) {
    EXPECT_EQ(mode.height, -1);
    EXPECT_EQ(mode.bits_per_pixel, -1);
    EXPECT_EQ(mode.frequency, -1);
  } else {
    EXPECT_GT(mode.width, 0);
    EXPECT_GT(mode.height, 0);
    EXPECT_GT(mode.bits_per_pixel, 0);
    EXPECT_GE(mode.frequency, 0);
  }
}

}  // namespace
}  // namespace Orvex

#include "imaging/plot_values.h"

#include <gtest/gtest.h>

#include "imaging/pixel_test_util.h"

namespace Orvex {
namespace {

using Testing::At;

TEST(PlotValuesTest, DotsRiseWithTheirValues) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{5, 13});
  plane.FillAll(0x123456);
  // Three samples on a 3x11 area at (1, 1): 0 at the bottom, 5 in the
  // middle, 10 at the top; 11 is out of range and leaves its column black.
  PlotValues(plane, {0.0, 5.0, 10.0, 11.0}, 0.0, 10.0, 0x0000FF, PlaneRect{1, 1, 5, 12},
             PlaneClip{});
  const uint32_t red = 0x00FF0000;  // colour red-low, pixel B,G,R,A
  for (int32_t y = 1; y < 12; ++y) {
    EXPECT_EQ(At(plane, 1, y), y == 11 ? red : 0u) << y;
    EXPECT_EQ(At(plane, 2, y), y == 6 ? red : 0u) << y;
    EXPECT_EQ(At(plane, 3, y), y == 1 ? red : 0u) << y;
    EXPECT_EQ(At(plane, 4, y), 0u) << y;
  }
  // Outside the rectangle nothing changed.
  EXPECT_EQ(At(plane, 0, 0), 0x563412u);
  EXPECT_EQ(At(plane, 0, 12), 0x563412u);
}

TEST(PlotValuesTest, ScalesToTheRectangle) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{40, 30});
  plane.FillAll(0);
  PlotValues(plane, {1.0, 0.0}, 0.0, 1.0, 0xFFFFFF, PlaneRect{0, 0, 40, 30}, PlaneClip{});
  // The first sample is high in the left half, the second low in the right.
  auto brightest_row = [&](int32_t x) {
    int32_t best = 0;
    for (int32_t y = 0; y < 30; ++y)
      if ((At(plane, x, y) & 0xFF) > (At(plane, x, best) & 0xFF)) best = y;
    return best;
  };
  EXPECT_LT(brightest_row(5), 3);
  EXPECT_GT(brightest_row(34), 26);
}

TEST(PlotValuesTest, NothingToPlotLeavesThePlane) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{4, 4});
  plane.FillAll(0x010203);
  const PlaneRect all{0, 0, 4, 4};
  PlotValues(plane, {}, 0.0, 1.0, 0xFFFFFF, all, PlaneClip{});
  PlotValues(plane, {0.5}, 0.0, 0.0, 0xFFFFFF, all, PlaneClip{});
  PlotValues(plane, {0.5}, 0.0, -1.0, 0xFFFFFF, all, PlaneClip{});
  PlotValues(plane, {0.5}, 0.0, 1.0, 0xFFFFFF, PlaneRect{2, 2, 2, 4}, PlaneClip{});
  for (uint32_t pixel : Testing::Dump(plane)) EXPECT_EQ(pixel, 0x030201u);
}

}  // namespace
}  // namespace Orvex

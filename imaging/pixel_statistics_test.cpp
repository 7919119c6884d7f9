#include "imaging/pixel_statistics.h"

#include <gtest/gtest.h>

#include "imaging/pixel_test_util.h"

namespace Orvex {
namespace {

using Testing::All;
using Testing::Load;

TEST(AverageColorTest, EmptyAndOutsideRectanglesGiveZero) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{4, 4});
  plane.FillAll(0xFFFFFF);
  EXPECT_EQ(AverageColor(plane, PlaneRect{2, 2, 2, 4}), 0u);
  EXPECT_EQ(AverageColor(plane, PlaneRect{3, 3, 1, 1}), 0u);
  EXPECT_EQ(AverageColor(plane, PlaneRect{10, 10, 20, 20}), 0u);
  CMemoryPlane32 unsized;
  EXPECT_EQ(AverageColor(unsized, PlaneRect{0, 0, 5, 5}), 0u);
}

TEST(AverageColorTest, HalfRedHalfBlueReturnsRedInTheLowByte) {
  CMemoryPlane32 plane;
  // Left column red, right column blue, in pixel form.
  Load(plane, 2, 3, {0x00FF0000, 0x000000FF, 0x00FF0000, 0x000000FF, 0x00FF0000, 0x000000FF});
  EXPECT_EQ(AverageColor(plane, All(plane)), 0x007F007Fu);
  // Only the part inside the plane counts.
  EXPECT_EQ(AverageColor(plane, PlaneRect{-5, -5, 1, 100}), 0x000000FFu);
  EXPECT_EQ(AverageColor(plane, PlaneRect{1, 0, 9, 9}), 0x00FF0000u);
}

TEST(AverageColorTest, LargePlanesDoNotOverflowTheSums) {
  // 17.64 million pixels of 255: a 32-bit sum would wrap.
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{4200, 4200});
  plane.FillAll(0x0000FF);  // red 255
  EXPECT_EQ(AverageColor(plane, All(plane)), 0x0000FFu);
}

TEST(StatisticsTest, HistogramsCountTheRightValues) {
  CMemoryPlane32 plane;
  // B, G, R = (10, 20, 30), (0, 0, 255), (255, 255, 255); alpha ignored.
  Load(plane, 3, 1, {0xFF1E140A, 0x00FF0000, 0x00FFFFFF});
  uint32_t counts[256];
  LuminanceHistogram(plane, counts, All(plane));
  // (77*30 + 151*20 + 28*10) >> 8 = 5610 >> 8 = 21; 77*255 >> 8 = 76.
  EXPECT_EQ(counts[21], 1u);
  EXPECT_EQ(counts[76], 1u);
  EXPECT_EQ(counts[255], 1u);
  MeanHistogram(plane, counts, All(plane));
  EXPECT_EQ(counts[20], 1u);
  EXPECT_EQ(counts[85], 1u);
  EXPECT_EQ(counts[255], 1u);
  uint32_t r[256], g[256], b[256];
  ChannelHistograms(plane, r, g, b, PlaneRect{0, 0, 2, 1});
  EXPECT_EQ(r[30], 1u);
  EXPECT_EQ(r[255], 1u);
  EXPECT_EQ(g[20], 1u);
  EXPECT_EQ(g[0], 1u);
  EXPECT_EQ(b[10], 1u);
  EXPECT_EQ(b[0], 1u);
  EXPECT_EQ(b[255], 0u);
  // An empty rectangle leaves zeroed counts, not old ones.
  LuminanceHistogram(plane, counts, PlaneRect{});
  for (uint32_t c : counts) EXPECT_EQ(c, 0u);
}

TEST(StatisticsTest, CountColorsIgnoresAlpha) {
  CMemoryPlane32 plane;
  Load(plane, 4, 1, {0x00123456, 0xFF123456, 0x00123457, 0x00000000});
  EXPECT_EQ(CountColors(plane, All(plane)), 3u);
  EXPECT_EQ(CountColors(plane, PlaneRect{0, 0, 2, 1}), 1u);
  EXPECT_EQ(CountColors(plane, PlaneRect{}), 0u);
}

TEST(StatisticsTest, HasAlphaPixelsNeedsFivePercent) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{10, 10});
  plane.FillAll(0);
  EXPECT_FALSE(HasAlphaPixels(plane, All(plane)));
  for (int32_t x = 0; x < 4; ++x) Testing::Put(plane, x, 0, 0x01000000);
  EXPECT_FALSE(HasAlphaPixels(plane, All(plane)));
  Testing::Put(plane, 4, 0, 0x80000000);
  EXPECT_TRUE(HasAlphaPixels(plane, All(plane)));
  // A plane too small for 5 % to be a whole pixel still needs one.
  EXPECT_FALSE(HasAlphaPixels(plane, PlaneRect{5, 5, 8, 8}));
  EXPECT_TRUE(HasAlphaPixels(plane, PlaneRect{0, 0, 3, 3}));
}

}  // namespace
}  // namespace Orvex

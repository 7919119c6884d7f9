#include "imaging/pixel_filters.h"

#include <gtest/gtest.h>

#include "imaging/pixel_test_util.h"

namespace Orvex {
namespace {

using Testing::All;
using Testing::At;
using Testing::Dump;
using Testing::kNoClip;
using Testing::Load;

// Grey g in B, G and R.
constexpr uint32_t G(uint32_t g) { return g * 0x010101; }

TEST(SharpenTest, SingleWhitePixelOnBlack) {
  CMemoryPlane32 source, dest;
  Load(source, 3, 3, {0, 0, 0, 0, G(255), 0, 0, 0, 0});
  dest.SetSize(PlaneSize{3, 3});
  dest.FillAll(0x123456);
  Sharpen(dest, source, 0, 0, All(source), kNoClip);
  // Centre: 255 + (255 - 0) / 2 clamps. Edge neighbours: mean of three is
  // 85 * 255 / 256 = 84, 0 - 42 clamps to 0. Corners see only black.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0, 0, 0, 0, G(255), 0, 0, 0, 0}));
}

TEST(SharpenTest, EdgeCornerAndInteriorNeighbourMeans) {
  CMemoryPlane32 source, dest;
  // Grey values: one bright pixel in each place shows which means see it.
  // 4 x 3 so that the top and bottom rows have non-corner edge pixels.
  Load(source, 4, 3,
       {G(100), G(100), G(100), G(100),  //
        G(100), G(100), G(200), G(100),  //
        G(100), G(100), G(100), G(100)});
  dest.SetSize(PlaneSize{4, 3});
  Sharpen(dest, source, 0, 0, All(source), kNoClip);
  // Interior (1,1): neighbours 100, 100, 100, 200 -> m 125, 100 - 12 = 88.
  EXPECT_EQ(At(dest, 1, 1), G(88));
  // Interior (2,1) itself: m 100, 200 + 50.
  EXPECT_EQ(At(dest, 2, 1), G(250));
  // Top edge (2,0): left 100, right 100, below 200 -> 85 * 400 / 256 = 132,
  // 100 + (100 - 132) / 2 = 84.
  EXPECT_EQ(At(dest, 2, 0), G(84));
  // Right edge (3,1): up 100, down 100, left 200 -> 132 -> 84.
  EXPECT_EQ(At(dest, 3, 1), G(84));
  // Top-right corner (3,0): left 100, below 100 -> m 100 -> unchanged.
  EXPECT_EQ(At(dest, 3, 0), G(100));
  // Top-left corner: 100, 100; a plain three-neighbour edge: 85*300/256 =
  // 99, 100 + 1/2 truncates to 100.
  EXPECT_EQ(At(dest, 0, 0), G(100));
  EXPECT_EQ(At(dest, 0, 1), G(100));
}

TEST(SharpenTest, CornersUseTheirTwoNeighbours) {
  CMemoryPlane32 source, dest;
  Load(source, 2, 2, {G(10), G(50), G(90), G(0)});
  dest.SetSize(PlaneSize{2, 2});
  Sharpen(dest, source, 0, 0, All(source), kNoClip);
  // (0,0): (50 + 90) / 2 = 70, 10 + (10 - 70) / 2 = -20 -> 0.
  // (1,0): (10 + 0) / 2 = 5, 50 + 22 = 72. (0,1): 5 -> 90 + 42 = 132.
  // (1,1): (50 + 90) / 2 = 70, 0 - 35 -> 0.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0, G(72), G(132), 0}));
}

TEST(SharpenTest, UniformAreaKeepsItsColourWithAlphaZero) {
  CMemoryPlane32 source, dest;
  source.SetSize(PlaneSize{5, 4});
  source.FillAll(0x204080);
  Testing::Put(source, 2, 2, Testing::At(source, 2, 2) | 0xFF000000);
  dest.SetSize(PlaneSize{5, 4});
  Sharpen(dest, source, 0, 0, All(source), kNoClip);
  for (uint32_t p : Dump(dest)) EXPECT_EQ(p, 0x00804020u);
}

TEST(SharpenTest, ThinAreasArePlainCopies) {
  CMemoryPlane32 source, dest;
  Load(source, 4, 2, {0xFF000001, G(200), 0, G(30), G(9), G(8), G(7), G(6)});
  dest.SetSize(PlaneSize{4, 2});
  dest.FillAll(0);
  Sharpen(dest, source, 0, 0, PlaneRect{0, 0, 4, 1}, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0xFF000001, G(200), 0, G(30), 0, 0, 0, 0}));
  dest.FillAll(0);
  Sharpen(dest, source, 3, 0, PlaneRect{1, 0, 2, 2}, kNoClip);
  EXPECT_EQ(At(dest, 3, 0), G(200));
  EXPECT_EQ(At(dest, 3, 1), G(8));
}

TEST(SharpenTest, DestinationPartlyOutsideUsesTheCutAreaEdges) {
  CMemoryPlane32 source, dest;
  Load(source, 3, 3, {0, 0, 0, 0, G(255), 0, 0, 0, 0});
  dest.SetSize(PlaneSize{2, 2});
  dest.FillAll(0x0000FF);
  // Only the source's right 2 x 2 lands: its own corners are (1,1) etc.
  Sharpen(dest, source, -1, -1, All(source), kNoClip);
  // (1,1) of the source is now a corner with neighbours 0 and 0.
  EXPECT_EQ(At(dest, 0, 0), G(255));
  EXPECT_EQ(At(dest, 1, 0), 0u);
  // A clip keeps the rest untouched.
  dest.FillAll(0x0000FF);
  Sharpen(dest, source, 0, 0, All(source), PlaneClip{PlaneRect{1, 1, 5, 5}, true});
  EXPECT_EQ(At(dest, 0, 0), 0x00FF0000u);
  EXPECT_EQ(At(dest, 1, 1), G(255));
}

TEST(SharpenTest, InPlaceReadsTheOriginalPixels) {
  CMemoryPlane32 plane, expected;
  Load(plane, 3, 3, {G(10), G(20), G(30), G(40), G(50), G(60), G(70), G(80), G(90)});
  expected.SetSize(PlaneSize{3, 3});
  Sharpen(expected, plane, 0, 0, All(plane), kNoClip);
  Sharpen(plane, plane, 0, 0, All(plane), kNoClip);
  EXPECT_EQ(Dump(plane), Dump(expected));
}

TEST(NeighbourFiltersTest, StrongSharpenAndSmoothFormulas) {
  CMemoryPlane32 source, dest;
  Load(source, 3, 3, {G(10), G(10), G(10), G(10), G(100), G(10), G(10), G(10), G(10)});
  dest.SetSize(PlaneSize{3, 3});
  SharpenStrong(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 1, 1), G(190));  // 200 - 10
  // Top edge: 85 * 120 / 256 = 39, 20 - 39 < 0.
  EXPECT_EQ(At(dest, 1, 0), 0u);
  EXPECT_EQ(At(dest, 0, 0), G(10));
  Smooth(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 1, 1), G(55));  // (100 + 10) / 2
  EXPECT_EQ(At(dest, 1, 0), G(24));  // (10 + 39) / 2
}

TEST(GaussianBlurTest, SpreadsSymmetricallyAndKeepsFlatAreas) {
  CMemoryPlane32 source, dest;
  source.SetSize(PlaneSize{9, 9});
  source.FillAll(0);
  Testing::Put(source, 4, 4, G(255));
  dest.SetSize(PlaneSize{9, 9});
  GaussianBlur(dest, source, 0, 0, All(source), 1.0, kNoClip);
  const uint32_t centre = At(dest, 4, 4) & 0xFF;
  const uint32_t next = At(dest, 5, 4) & 0xFF;
  // Weights e^0 : e^-0.5 over the 7 taps sum 2.5066: 255 / 2.5066^2 = 40.6.
  EXPECT_EQ(centre, 41u);
  EXPECT_EQ(At(dest, 3, 4), At(dest, 5, 4));
  EXPECT_EQ(At(dest, 4, 3), At(dest, 4, 5));
  EXPECT_EQ(next, 25u);  // 40.6 * e^-0.5 = 24.6
  EXPECT_EQ(At(dest, 0, 0), 0u);
  // A flat area stays flat right up to the edges.
  source.FillAll(0x406080);
  GaussianBlur(dest, source, 0, 0, All(source), 2.5, kNoClip);
  for (uint32_t p : Dump(dest)) EXPECT_EQ(p, 0x00806040u);
  // Too small a sigma for a second tap, or none at all: a copy.
  source.FillAll(0x010203);
  GaussianBlur(dest, source, 0, 0, All(source), 0.2, kNoClip);
  EXPECT_EQ(At(dest, 4, 4), 0x00030201u);
  GaussianBlur(dest, source, 0, 0, All(source), -1, kNoClip);
  EXPECT_EQ(At(dest, 4, 4), 0x00030201u);
}

TEST(GaussianBlurTest, WideBlursOfSmallAreasRepeatTheEdges) {
  CMemoryPlane32 source, dest;
  Load(source, 2, 1, {0, G(255)});
  dest.SetSize(PlaneSize{2, 1});
  // sigma 1: taps -3..3; for the left pixel the offsets 1..3 all read the
  // right pixel: 255 * (0.2420 + 0.0540 + 0.0044) = 76.6, rounded.
  GaussianBlur(dest, source, 0, 0, All(source), 1.0, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), G(77));
  EXPECT_EQ(At(dest, 1, 0), G(178));  // 255 - 76.6
  // A huge sigma evens out almost completely, and promptly.
  GaussianBlur(dest, source, 0, 0, All(source), 1e5, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), G(128));
  EXPECT_EQ(At(dest, 1, 0), G(128));
}

TEST(CombineFiltersTest, UnsharpCombineClampsBothWays) {
  CMemoryPlane32 plain, blurred, dest;
  Load(plain, 2, 1, {G(100) | 0xFF000000, 0x0000F0FA});
  Load(blurred, 2, 1, {G(140), 0x00001000});
  dest.SetSize(PlaneSize{2, 1});
  UnsharpCombine(dest, plain, blurred, 0, 0, All(plain), kNoClip);
  // 100 + (100 - 140) / 2 = 80. Blue 250 + 125 -> 255; green 240 + 112 ->
  // 255; red 0.
  EXPECT_EQ(At(dest, 0, 0), G(80));
  EXPECT_EQ(At(dest, 1, 0), 0x0000FFFFu);
}

TEST(EdgeDetectTest, InteriorOnlyAndScaledByStrength) {
  CMemoryPlane32 source, dest;
  Load(source, 3, 3, {0, 0, 0, 0, 0x00000004, 0, 0, 0, 0});
  dest.SetSize(PlaneSize{3, 3});
  dest.FillAll(0x0000FF);
  EdgeDetect(dest, source, 0, 0, All(source), 1.5, kNoClip);
  // Blue differs by 4 from all four neighbours: 4 * 256 * 1.5 * 16 / 256.
  EXPECT_EQ(At(dest, 1, 1), G(96));
  EXPECT_EQ(At(dest, 0, 0), 0x00FF0000u);  // border untouched
  EdgeDetect(dest, source, 0, 0, All(source), 100, kNoClip);
  EXPECT_EQ(At(dest, 1, 1), G(255));
  EdgeDetect(dest, source, 0, 0, All(source), -1, kNoClip);
  EXPECT_EQ(At(dest, 1, 1), 0u);
  // Under 3 x 3: a copy.
  EdgeDetect(dest, source, 0, 0, PlaneRect{0, 0, 3, 2}, 1, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0u);
}

TEST(MedianFilterTest, PicksTheMedianPixelAndSkipsBorders) {
  CMemoryPlane32 source, dest;
  Load(source, 3, 3, {G(1), G(2), G(3), G(4), G(200), G(6), G(7), G(8), 0x00FF0000});
  dest.SetSize(PlaneSize{3, 3});
  dest.FillAll(0);
  MedianFilter(dest, source, 0, 0, All(source), kNoClip);
  // Sums 3, 6, 9, 12, 600, 18, 21, 24, 255: the fifth is 18 (G(6)).
  EXPECT_EQ(At(dest, 1, 1), G(6));
  EXPECT_EQ(At(dest, 0, 0), 0u);
  dest.FillAll(0);
  MedianFilter(dest, source, 0, 0, PlaneRect{0, 0, 3, 2}, kNoClip);
  EXPECT_EQ(At(dest, 1, 1), 0u);
}

}  // namespace
}  // namespace Orvex

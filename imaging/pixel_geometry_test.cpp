#include "imaging/pixel_geometry.h"

#include <gtest/gtest.h>

#include <limits>

#include "imaging/pixel_test_util.h"
#include "imaging/plane_rotation.h"

namespace Orvex {
namespace {

using Testing::All;
using Testing::At;
using Testing::Dump;
using Testing::kNoClip;
using Testing::Load;

// 3 x 2:  1 2 3
//         4 5 6
void LoadSmall(CPlane32& plane) { Load(plane, 3, 2, {1, 2, 3, 4, 5, 6}); }

TEST(GeometryTest, MirrorFlipAndHalfTurn) {
  CMemoryPlane32 source, dest;
  LoadSmall(source);
  dest.SetSize(PlaneSize{3, 2});
  MirrorCopy(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{3, 2, 1, 6, 5, 4}));
  FlipCopy(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{4, 5, 6, 1, 2, 3}));
  Rotate180Copy(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));
}

TEST(GeometryTest, QuarterTurnsSwapTheSides) {
  CMemoryPlane32 source, dest;
  LoadSmall(source);
  dest.SetSize(PlaneSize{2, 3});
  // Clockwise: the left column read bottom-up becomes the top row.
  Rotate90Copy(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
  Rotate270Copy(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{3, 6, 2, 5, 1, 4}));
}

TEST(GeometryTest, TurnsAreCutToTheDestinationAndClip) {
  CMemoryPlane32 source, dest;
  LoadSmall(source);
  dest.SetSize(PlaneSize{2, 2});
  dest.FillAll(0);
  // Placed one column left: only the turned image's right column lands.
  Rotate90Copy(dest, source, -1, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{1, 0, 2, 0}));
  dest.FillAll(0);
  MirrorCopy(dest, source, 0, 0, All(source), PlaneClip{PlaneRect{1, 1, 2, 2}, true});
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0, 0, 0, 5}));
  // A source rectangle beyond its plane turns only what exists.
  dest.FillAll(0);
  Rotate180Copy(dest, source, 0, 0, PlaneRect{1, 0, 9, 1}, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{3, 2, 0, 0}));
}

TEST(GeometryTest, InPlaceTurnsReadTheOriginal) {
  CMemoryPlane32 plane;
  Load(plane, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  Rotate90Copy(plane, plane, 0, 0, All(plane), kNoClip);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{7, 4, 1, 8, 5, 2, 9, 6, 3}));
}

TEST(RotateCopyTest, AnglesNearQuarterTurnsTakeTheExactPaths) {
  using Detail::RotatePath;
  double a = 450;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::k90);
  a = 360;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::kCopy);
  a = 180.00009;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::k180);
  a = 630;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::k270);
  a = 359.99995;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::kGeneral);
  a = 90.0002;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::kGeneral);
  a = -90;
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::k270);
  a = 1e300;  // would never come down by subtracting 360
  Detail::ChooseRotatePath(a);
  EXPECT_GE(a, 0);
  EXPECT_LT(a, 360);
  a = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Detail::ChooseRotatePath(a), RotatePath::kNone);

  CMemoryPlane32 source, dest;
  LoadSmall(source);
  dest.SetSize(PlaneSize{2, 3});
  RotateCopy(dest, source, 0, 0, All(source), 450, 0, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
}

TEST(RotateCopyTest, GeneralTurnInterpolatesAndFillsTheBackground) {
  CMemoryPlane32 source, dest;
  source.SetSize(PlaneSize{4, 4});
  source.FillAll(0xFFFFFF);
  dest.SetSize(PlaneSize{8, 8});
  dest.FillAll(0x123456);
  // 45 degrees: the bounding box of a 4 x 4 square is 6 x 6 (5.66 rounded).
  RotateCopy(dest, source, 0, 0, All(source), 45, 0x0000FF, kNoClip);
  EXPECT_EQ(At(dest, 3, 3), 0x00FFFFFFu);  // the middle is the image
  EXPECT_EQ(At(dest, 0, 0), 0x00FF0000u);  // a corner of the box is red
  EXPECT_EQ(At(dest, 5, 5), 0x00FF0000u);
  EXPECT_EQ(At(dest, 6, 6), 0x00563412u);  // beyond the box: untouched
  // Between the image and the background the edge is blended.
  // Red stays 255 there; green and blue lie strictly between.
  const uint32_t edge = At(dest, 2, 0);
  EXPECT_EQ(edge & 0xFFFF0000u, 0x00FF0000u);
  EXPECT_GT(edge & 0xFF, 0u);
  EXPECT_LT(edge & 0xFF, 0xFFu);
  EXPECT_EQ(edge & 0xFF, (edge >> 8) & 0xFF);
  // The nearest form takes whole pixels only.
  RotateCopyNearest(dest, source, 0, 0, All(source), 45, 0x0000FF, kNoClip);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const uint32_t p = At(dest, x, y);
      EXPECT_TRUE(p == 0x00FFFFFFu || p == 0x00FF0000u) << x << "," << y;
    }
  }
  // 359.99995 degrees is turned, not copied: a 1-pixel-wider box.
  dest.FillAll(0);
  RotateCopy(dest, source, 0, 0, All(source), 359.99995, 0, kNoClip);
  EXPECT_EQ(At(dest, 1, 1), 0x00FFFFFFu);
}

TEST(GeometryTest, RotatePlaneShiftsCyclicallyInPlace) {
  CDib32 plane;  // DIB rows run bottom-up in memory: the row cycles must not care.
  // 4 x 6, pixel = 10 * y + x.
  std::vector<uint32_t> pixels;
  for (uint32_t y = 0; y < 6; ++y) {
    for (uint32_t x = 0; x < 4; ++x) pixels.push_back(10 * y + x);
  }
  // Shifts whose row cycles are one, two and three long, negative and
  // past the size included.
  for (const auto& [dx, dy] : std::vector<std::pair<int64_t, int64_t>>{
           {0, 0}, {1, 0}, {0, 1}, {3, 2}, {-1, -4}, {9, 3}, {4, 6}, {-5, 13}}) {
    Load(plane, 4, 6, pixels);
    RotatePlane(plane, dx, dy);
    for (int32_t y = 0; y < 6; ++y) {
      for (int32_t x = 0; x < 4; ++x) {
        const int64_t to_x = ((x + dx) % 4 + 4) % 4;
        const int64_t to_y = ((y + dy) % 6 + 6) % 6;
        ASSERT_EQ(At(plane, int32_t(to_x), int32_t(to_y)), uint32_t(10 * y + x))
            << "shift " << dx << "," << dy << " pixel " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace Orvex

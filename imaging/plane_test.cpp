#include "imaging/plane.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "imaging/pixel_test_util.h"
#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex {
namespace {

using Testing::At;
using Testing::Dump;
using Testing::Put;

TEST(PlaneTest, NewPlanesHaveNoSizeAndNoStorage) {
  CMemoryPlane32 heap;
  CDib32 dib;
  for (CPlane* plane : std::initializer_list<CPlane*>{&heap, &dib}) {
    EXPECT_EQ(plane->GetWidth(), -1);
    EXPECT_EQ(plane->GetHeight(), -1);
    EXPECT_EQ(plane->GetBitsPerPixel(), 32);
    EXPECT_FALSE(plane->GetImpl()->IsValid());
    // Nothing to draw on: every operation is a no-op.
    plane->FillAll(0xFFFFFF);
    plane->Fill(0, PlaneRect{0, 0, 10, 10});
  }
  heap.SetSize(PlaneSize{0, 7});
  EXPECT_FALSE(heap.GetImpl()->IsValid());
  EXPECT_EQ(heap.GetSize(), (PlaneSize{0, 7}));
  EXPECT_TRUE(heap.GetBounds().IsEmpty());
}

TEST(PlaneTest, DibRowsAreRoundedToFourPixelsButTheWidthIsKept) {
  CDib32 dib;
  dib.SetSize(PlaneSize{5, 3});
  EXPECT_EQ(dib.GetWidth(), 5);
  EXPECT_EQ(dib.GetImpl()->GetSize(), (PlaneSize{5, 3}));
  PlaneBitsLock lock(dib);
  EXPECT_EQ(lock.Step(), 32);
  EXPECT_NE(lock.Row(0), nullptr);
}

TEST(PlaneTest, DibStorageOnlyGrows) {
  CDib32 dib;
  dib.SetSize(PlaneSize{800, 600});
  dib.Fill(0x0000FF, PlaneRect{0, 0, 1, 1});
  dib.SetSize(PlaneSize{400, 300});
  EXPECT_EQ(dib.GetSize(), (PlaneSize{400, 300}));
  EXPECT_EQ(dib.GetImpl()->GetSize(), (PlaneSize{800, 600}));
  EXPECT_EQ(dib.GetBounds(), (PlaneRect{0, 0, 400, 300}));
  EXPECT_EQ(At(dib, 0, 0), 0x00FF0000u);  // same bitmap, pixels kept

  // Wider: the height never drops below what the bitmap has.
  dib.SetSize(PlaneSize{900, 100});
  EXPECT_EQ(dib.GetImpl()->GetSize(), (PlaneSize{900, 600}));
  // Taller only: the width stays.
  dib.SetSize(PlaneSize{10, 700});
  EXPECT_EQ(dib.GetImpl()->GetSize(), (PlaneSize{900, 700}));
  EXPECT_EQ(PlaneBitsLock(dib).Step(), 3600);
  // Fills use the logical size, not the bitmap's.
  dib.FillAll(0xFFFFFF);
  EXPECT_EQ(At(dib, 9, 699), 0x00FFFFFFu);
  EXPECT_EQ(At(dib, 10, 0), 0u);
}

TEST(PlaneTest, HeapStorageIsRecreatedAtEachSize) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{800, 600});
  plane.SetSize(PlaneSize{400, 300});
  EXPECT_EQ(plane.GetImpl()->GetSize(), (PlaneSize{400, 300}));
  EXPECT_EQ(PlaneBitsLock(plane).Step(), 1600);
  CMemoryPlane grey_24(24);
  grey_24.SetSize(PlaneSize{5, 2});
  EXPECT_EQ(PlaneBitsLock(grey_24).Step(), 16);  // 15 bytes padded to 4
}

TEST(PlaneTest, StorageThatCannotBeMadeLeavesTheAPlaneWithoutSize) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{4, 4});
  try {
    plane.SetSize(PlaneSize{0x7FFFFFFF, 0x7FFFFFFF});
    FAIL() << "an impossible size was accepted";
  } catch (const RuntimeException& e) {
    EXPECT_EQ(e.what(), GetDefaultEncoding().ToMultiByte(u"画像保持メモリの作成に失敗しました"));
  }
  EXPECT_EQ(plane.GetWidth(), -1);
  plane.FillAll(0);  // must not touch memory that is gone

  CDib32 dib;
  dib.SetSize(PlaneSize{4, 4});
  try {
    dib.SetSize(PlaneSize{0x7FFFFFFF, 0x7FFFFFFF});
    FAIL() << "an impossible size was accepted";
  } catch (const RuntimeException& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  GetDefaultEncoding().ToMultiByte(u"画像保持メモリ(DIB)の作成に失敗しました"), 0),
              0u);
  }
  EXPECT_FALSE(dib.GetImpl()->IsValid());
  EXPECT_EQ(dib.GetWidth(), -1);
  dib.FillAll(0);
}

TEST(PlaneTest, FillWritesTheColourInEachDepth) {
  // Red 0xF0, green 0x80, blue 0x10.
  const uint32_t color = 0x1080F0;
  const struct {
    int bits;
    uint32_t expected;
  } cases[] = {
      {8, (77 * 0xF0 + 151 * 0x80 + 28 * 0x10) >> 8},
      {16, (0x1E << 10) | (0x10 << 5) | 0x02},
      {24, 0xF08010},
      {32, 0x00F08010},
  };
  for (const auto& c : cases) {
    CMemoryPlane plane(c.bits);
    plane.SetSize(PlaneSize{3, 2});
    plane.FillAll(0);
    plane.Fill(color, PlaneRect{1, 0, 3, 2});
    EXPECT_EQ(At(plane, 0, 1), 0u) << c.bits;
    EXPECT_EQ(At(plane, 1, 0), c.expected) << c.bits;
    EXPECT_EQ(At(plane, 2, 1), c.expected) << c.bits;
  }
}

TEST(PlaneTest, FillCutsRectanglesToThePlane) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{4, 3});
  plane.FillAll(0);
  plane.Fill(0xFFFFFF, PlaneRect{-5, 2, 2, 100});
  plane.Fill(0xFFFFFF, PlaneRect{3, 1, 2, 3});  // empty: right < left
  const uint32_t w = 0x00FFFFFF;
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, w, w, 0, 0}));
}

// One source pixel per depth, and what each destination depth makes of it.
TEST(PlaneTest, CopyConvertsBetweenAllDepths) {
  struct Pixel {
    int bits;
    uint32_t value;
  };
  // A colour with distinct channels: red 0xC8, green 0x64, blue 0x1F.
  const uint32_t grey_of_colour = (77 * 0xC8 + 151 * 0x64 + 28 * 0x1F) >> 8;
  const Pixel sources[] = {
      {8, 0x9A}, {16, (25 << 10) | (12 << 5) | 3}, {24, 0xC8641F}, {32, 0xABC8641F}};
  // Expected value per (source, destination depth 8, 16, 24, 32).
  const uint32_t r5 = (25 << 3) | (25 >> 2), g5 = (12 << 3) | (12 >> 2), b5 = (3 << 3) | (3 >> 2);
  const uint32_t expected[4][4] = {
      {0x9A, (19u << 10) | (19u << 5) | 19u, 0x9A9A9A, 0x009A9A9A},
      {(77 * r5 + 151 * g5 + 28 * b5) >> 8, (25 << 10) | (12 << 5) | 3, (r5 << 16) | (g5 << 8) | b5,
       (r5 << 16) | (g5 << 8) | b5},
      {grey_of_colour, (25u << 10) | (12u << 5) | 3u, 0xC8641F, 0x00C8641F},
      {grey_of_colour, (25u << 10) | (12u << 5) | 3u, 0xC8641F, 0xABC8641F},
  };
  const int depths[] = {8, 16, 24, 32};
  for (int s = 0; s < 4; ++s) {
    CMemoryPlane source(sources[s].bits);
    source.SetSize(PlaneSize{2, 1});
    Put(source, 0, 0, 0);
    Put(source, 1, 0, sources[s].value);
    for (int d = 0; d < 4; ++d) {
      CMemoryPlane dest(depths[d]);
      dest.SetSize(PlaneSize{2, 1});
      dest.CopyAll(source, PlaneClip{});
      EXPECT_EQ(At(dest, 1, 0), expected[s][d]) << sources[s].bits << " -> " << depths[d];
      EXPECT_EQ(At(dest, 0, 0), 0u);
    }
  }
}

TEST(PlaneTest, WhiteAndBlackSurviveEveryConversion) {
  CMemoryPlane rgb555(16);
  rgb555.SetSize(PlaneSize{2, 1});
  Put(rgb555, 0, 0, 0x7FFF);
  Put(rgb555, 1, 0, 0x8000);  // the unused top bit is not colour
  CMemoryPlane32 wide;
  wide.SetSize(PlaneSize{2, 1});
  wide.CopyAll(rgb555, PlaneClip{});
  EXPECT_EQ(At(wide, 0, 0), 0x00FFFFFFu);
  EXPECT_EQ(At(wide, 1, 0), 0u);
  CMemoryPlane8 grey;
  grey.SetSize(PlaneSize{2, 1});
  grey.CopyAll(wide, PlaneClip{});
  EXPECT_EQ(At(grey, 0, 0), 255u);
}

class CopyClipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.SetSize(PlaneSize{4, 4});
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < 4; ++x) Put(source_, x, y, 0x10 * y + x + 1);
    }
    dest_.SetSize(PlaneSize{4, 3});
    dest_.FillAll(0);
  }

  CMemoryPlane32 source_;
  CMemoryPlane32 dest_;
};

TEST_F(CopyClipTest, DestinationPartlyOutside) {
  dest_.Copy(source_, -1, 2, PlaneRect{0, 0, 3, 3}, PlaneClip{});
  EXPECT_EQ(Dump(dest_), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x03, 0, 0}));
}

TEST_F(CopyClipTest, SourcePartlyOutside) {
  // Left and top edges outside the source move the destination with them.
  dest_.Copy(source_, 0, 0, PlaneRect{-1, -1, 2, 1}, PlaneClip{});
  EXPECT_EQ(Dump(dest_), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0}));
}

TEST_F(CopyClipTest, ClipRectangleLimitsTheDestination) {
  dest_.Copy(source_, 0, 0, PlaneRect{0, 0, 4, 4}, PlaneClip{PlaneRect{1, 1, 3, 9}, true});
  EXPECT_EQ(Dump(dest_), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0x12, 0x13, 0, 0, 0x22, 0x23, 0}));
  // A disabled clip limits nothing, whatever its rectangle.
  dest_.Copy(source_, 0, 0, PlaneRect{0, 0, 4, 4}, PlaneClip{PlaneRect{0, 0, 0, 0}, false});
  EXPECT_EQ(At(dest_, 0, 0), 0x01u);
  EXPECT_EQ(At(dest_, 3, 2), 0x24u);
}

TEST_F(CopyClipTest, HugeRectanglesAndOffsetsDoNotOverflow) {
  dest_.Copy(source_, 0, 0, PlaneRect{0, 0, 0x3FFFFFFF, 0x3FFFFFFF}, PlaneClip{});
  EXPECT_EQ(At(dest_, 3, 2), 0x24u);
  dest_.FillAll(0);
  dest_.Copy(source_, 0x7FFFFFF0, 0, PlaneRect{0, 0, 0x3FFFFFFF, 4}, PlaneClip{});
  dest_.Copy(source_, -0x7FFFFFF0, 0, PlaneRect{0, 0, 0x7FFFFFFF, 4}, PlaneClip{});
  EXPECT_EQ(Dump(dest_), std::vector<uint32_t>(12, 0));
}

TEST_F(CopyClipTest, EmptyRectanglesCopyNothing) {
  dest_.Copy(source_, 0, 0, PlaneRect{2, 0, 2, 4}, PlaneClip{});
  dest_.Copy(source_, 0, 0, PlaneRect{0, 0, 4, 4}, PlaneClip{PlaneRect{2, 2, 1, 1}, true});
  dest_.Copy(source_, 5, 0, PlaneRect{0, 0, 4, 4}, PlaneClip{});
  EXPECT_EQ(Dump(dest_), std::vector<uint32_t>(12, 0));
}

TEST_F(CopyClipTest, CopyWithinOnePlaneHandlesOverlap) {
  source_.Copy(source_, 0, 1, PlaneRect{0, 0, 4, 3}, PlaneClip{});
  source_.Copy(source_, 1, 0, PlaneRect{0, 0, 3, 4}, PlaneClip{});
  EXPECT_EQ(At(source_, 3, 3), 0x23u);
  EXPECT_EQ(At(source_, 1, 1), 0x01u);
  EXPECT_EQ(At(source_, 2, 0), 0x02u);
  // CopyAll onto itself does nothing at all.
  const auto before = Dump(source_);
  source_.CopyAll(source_, PlaneClip{});
  EXPECT_EQ(Dump(source_), before);
}

TEST(PlaneTest, InvertKeepsAlphaAndHistogramCountsTheRectangle) {
  CMemoryPlane32 colour;
  colour.SetSize(PlaneSize{2, 1});
  Put(colour, 0, 0, 0x80123456);
  Put(colour, 1, 0, 0x00000000);
  colour.Invert(PlaneRect{0, 0, 1, 5});
  EXPECT_EQ(At(colour, 0, 0), 0x80EDCBA9u);
  EXPECT_EQ(At(colour, 1, 0), 0u);

  CMemoryPlane8 grey;
  grey.SetSize(PlaneSize{3, 2});
  grey.FillAll(0x000000);
  Put(grey, 1, 1, 200);
  grey.Invert(PlaneRect{1, 0, 3, 2});
  uint32_t counts[256];
  std::fill(counts, counts + 256, 77u);
  grey.Histogram(counts, PlaneRect{0, 0, 2, 9});
  EXPECT_EQ(counts[0], 2u);
  EXPECT_EQ(counts[255], 1u);
  EXPECT_EQ(counts[55], 1u);
  EXPECT_EQ(counts[77], 0u);
  grey.Histogram(counts, PlaneRect{5, 5, 9, 9});
  EXPECT_EQ(counts[0], 0u);
}

TEST(PlaneTest, UnsupportedHeapDepthsAreRefused) {
  EXPECT_THROW(CMemoryPlane(12), RuntimeException);
  EXPECT_THROW(CMemoryPlane(0), RuntimeException);
}

}  // namespace
}  // namespace Orvex

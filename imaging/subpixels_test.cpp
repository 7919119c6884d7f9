#include "imaging/subpixels.h"

#include <gtest/gtest.h>

#include "imaging/pixel_test_util.h"

namespace Orvex {
namespace {

using Testing::All;
using Testing::At;
using Testing::Dump;
using Testing::kNoClip;
using Testing::Load;

TEST(CollapseSubpixelsTest, ThirtyTwoBitSourceTakesOneChannelFromEachColumn) {
  CMemoryPlane32 source, dest;
  // 7 wide: two whole triples, the last column left over.
  Load(source, 7, 1,
       {0x11AABBCC, 0x22DDEEFF, 0x33010203, 0x44102030, 0x55405060, 0x66708090, 0x77FFFFFF});
  dest.SetSize(PlaneSize{3, 1});
  dest.FillAll(0x0000FF);
  CollapseSubpixels(dest, source, 0, 0, All(source), kNoClip);
  // Red of the first, green and alpha of the second, blue of the third.
  EXPECT_EQ(At(dest, 0, 0), 0x22AAEE03u);
  EXPECT_EQ(At(dest, 1, 0), 0x55105090u);
  EXPECT_EQ(At(dest, 2, 0), 0x00FF0000u);  // nothing for the seventh column
}

TEST(CollapseSubpixelsTest, EightBitSourceGivesRedGreenBlue) {
  CMemoryPlane8 source;
  Load(source, 6, 2, {10, 20, 30, 40, 50, 60, 1, 2, 3, 4, 5, 6});
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{2, 2});
  CollapseSubpixels(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x000A141E, 0x0028323C, 0x00010203, 0x00040506}));
}

TEST(CollapseSubpixelsTest, OtherDepthsGoThroughGrey) {
  CMemoryPlane source(24);
  // B, G, R bytes: pure red (grey 76), pure green (150), white (255).
  Load(source, 3, 1, {0xFF0000, 0x00FF00, 0xFFFFFF});
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{1, 1});
  CollapseSubpixels(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x004C96FFu);
}

TEST(CollapseSubpixelsTest, DestinationPartlyOutsideIsCut) {
  CMemoryPlane8 source;
  Load(source, 9, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{2, 1});
  dest.FillAll(0);
  // Three pixels wide placed at -1: the first triple falls off the left.
  CollapseSubpixels(dest, source, -1, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x00040506u);
  EXPECT_EQ(At(dest, 1, 0), 0x00070809u);
  // A clip cuts the same way, and past the right edge nothing is written.
  dest.FillAll(0);
  CollapseSubpixels(dest, source, 1, 0, All(source), PlaneClip{PlaneRect{0, 0, 2, 1}, true});
  EXPECT_EQ(At(dest, 0, 0), 0u);
  EXPECT_EQ(At(dest, 1, 0), 0x00010203u);
  // Too narrow for a single pixel: nothing.
  CollapseSubpixels(dest, source, 0, 0, PlaneRect{0, 0, 2, 1}, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0u);
}

}  // namespace
}  // namespace Orvex

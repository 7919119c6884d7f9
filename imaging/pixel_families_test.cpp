#include <gtest/gtest.h>

#include "imaging/pixel_alpha.h"
#include "imaging/pixel_combine.h"
#include "imaging/pixel_scale.h"
#include "imaging/pixel_test_util.h"
#include "imaging/pixel_tone.h"

namespace Orvex {
namespace {

using Testing::All;
using Testing::At;
using Testing::Dump;
using Testing::kNoClip;
using Testing::Load;

TEST(ToneTest, TintMovesTowardTheColourWithArithmeticShift) {
  CMemoryPlane32 plane;
  // B, G, R = (100, 0, 200), alpha set.
  Load(plane, 2, 1, {0xFFC80064, 0x00000000});
  // Colour: red 0, green 255, blue 100.
  Tint(plane, 0x64FF00, 128, PlaneRect{0, 0, 1, 1});
  // B: 100 + 0 = 100; G: 0 + 127 = 127; R: 200 + (128 * -200 >> 8) = 100.
  EXPECT_EQ(At(plane, 0, 0), 0x00647F64u);
  EXPECT_EQ(At(plane, 1, 0), 0u);
  // (1 * -1) >> 8 is -1: the arithmetic shift rounds down.
  Load(plane, 1, 1, {0x00000001});
  Tint(plane, 0, 1, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0u);
  Tint(plane, 0x0000FF, 0, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0u);
  Tint(plane, 0x0000FF, 300, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0x00FF0000u);
}

TEST(ToneTest, AddAndSubtractSaturateAndKeepAlpha) {
  CMemoryPlane32 plane;
  Load(plane, 1, 1, {0x80F00510});
  AddColor(plane, 0x302010, All(plane));  // R +0x10, G +0x20, B +0x30
  EXPECT_EQ(At(plane, 0, 0), 0x80FF2540u);
  SubtractColor(plane, 0x000050, All(plane));  // R -0x50
  EXPECT_EQ(At(plane, 0, 0), 0x80AF2540u);
  SubtractColor(plane, 0xFF0000, All(plane));  // B to 0
  EXPECT_EQ(At(plane, 0, 0), 0x80AF2500u);
}

TEST(ToneTest, MosaicBlocksSplitTheLeftoverBetweenBothEdges) {
  CMemoryPlane32 plane;
  // 7 x 1 with block 3: leftover 1 goes to the right edge (0 on the left).
  Load(plane, 7, 1, {1, 2, 3, 4, 5, 6, 7});
  MosaicCentre(plane, 3, All(plane));
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{2, 2, 2, 5, 5, 5, 7}));
  // 8 x 1 with block 3: leftover 2, one column each side.
  Load(plane, 8, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  MosaicAverage(plane, 3, All(plane));
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{1, 3, 3, 3, 6, 6, 6, 8}));
  // Block 1 does nothing.
  Load(plane, 2, 1, {1, 2});
  MosaicCentre(plane, 1, All(plane));
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{1, 2}));
  // Rows split the same way: 1 x 5, block 2 -> rows {0,1}, {2,3}, {4}.
  Load(plane, 1, 5, {10, 20, 30, 40, 50});
  MosaicCentre(plane, 2, All(plane));
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{20, 20, 40, 40, 50}));
}

TEST(ToneTest, TableAndGreyWriteAlphaZero) {
  CMemoryPlane32 plane;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = uint8_t(255 - i);
  Load(plane, 1, 1, {0xFF102030});
  ApplyTable(plane, table, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0x00EFDFCFu);
  Load(plane, 2, 1, {0xFF0000FF, 0xFF00FF00});
  GreyMean(plane, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0x00555555u);  // 255 / 3 = 85
  Load(plane, 2, 1, {0xFF0000FF, 0xFF00FF00});
  GreyLuminance(plane, All(plane));
  EXPECT_EQ(At(plane, 0, 0), 0x001B1B1Bu);  // 28 * 255 >> 8 = 27
  EXPECT_EQ(At(plane, 1, 0), 0x00969696u);  // 151 * 255 >> 8 = 150
}

TEST(AlphaTest, AlphaByteOperations) {
  CMemoryPlane32 plane;
  Load(plane, 2, 1, {0x12FFFFFF, 0x00FF0000});
  InvertAlpha(plane);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0xEDFFFFFF, 0xFFFF0000}));
  ClearAlpha(plane);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0x00FFFFFF, 0x00FF0000}));
  AlphaFromLuminance(plane);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0xFFFFFFFF, 0x4CFF0000}));

  CMemoryPlane8 mask;
  Load(mask, 1, 1, {0x33});  // smaller: only the first pixel
  AlphaFromPlane8(plane, mask);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0x33FFFFFF, 0x4CFF0000}));
  CMemoryPlane32 other;
  Load(other, 2, 1, {0x0000FF00, 0});
  AlphaFromPlaneLuminance(plane, other);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0x96FFFFFF, 0x00FF0000}));
}

TEST(AlphaTest, CompositeByTheSourceAlpha) {
  CMemoryPlane32 dest, source;
  Load(source, 3, 1, {0x00FFFFFF, 0xFF123456, 0x80FF0000});
  Load(dest, 3, 1, {0x11000064, 0x11000064, 0x11000064});
  AlphaComposite(dest, source, 0, 0, All(source), kNoClip);
  // a 0 keeps, a 255 copies, a 128: R 0 + 127 = 127, B 100 - 50 = 50.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x11000064, 0xFF123456, 0x007F0032}));
}

TEST(CombineTest, PaletteKeyAndWeightedGrey) {
  CMemoryPlane8 indices;
  Load(indices, 2, 1, {0, 255});
  uint32_t colors[256] = {};
  colors[0] = 0x0000FF;    // red
  colors[255] = 0xFF0000;  // blue
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{2, 1});
  PaletteCopy(dest, indices, 0, 0, All(indices), colors, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x00FF0000, 0x000000FF}));

  CMemoryPlane32 source;
  Load(source, 2, 1, {0x00ABCDEF, 0x01ABCDEF});
  dest.FillAll(0);
  CopyExceptKey(dest, source, 0, 0, All(source), 0x00ABCDEF, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0, 0x01ABCDEF}));

  // R 200, G 100, B 0, alpha kept.
  Load(source, 1, 1, {0x7FC86400});
  GreyWeighted(dest, source, 0, 0, All(source), 0.5, 0.25, 1, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x7F7D7D7Du);  // 100 + 25 = 125
  GreyWeighted(dest, source, 0, 0, All(source), 2, 0, 0, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x7FFFFFFFu);
  // Swap red and blue, halve green.
  const double matrix[9] = {0, 0, 1, 0, 0.5, 0, 1, 0, 0};
  ColorMatrix(dest, source, 0, 0, All(source), matrix, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x7F0032C8u);
}

TEST(CombineTest, BitwiseAndSaturatingPlanes) {
  CMemoryPlane32 dest, source;
  Load(source, 1, 1, {0x0F80F010});
  Load(dest, 1, 1, {0xF0A0A0F0});
  OrPlane(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0xFFA0F0F0u);
  AndPlane(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x0F80F010u);
  Load(dest, 1, 1, {0x01903020});
  AddPlane(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x10FFFF30u);
  SubtractPlane(dest, source, 0, 0, All(source), kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x017F0F20u);
}

TEST(CombineTest, DarkenLightenAndBlendAmounts) {
  CMemoryPlane32 dest, source, other;
  Load(source, 1, 1, {0xFF804000});  // R 128, G 64, B 0
  dest.SetSize(PlaneSize{1, 1});
  Darken(dest, source, 0, 0, All(source), 64, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x00603000u);  // * 192 / 256
  Darken(dest, source, 0, 0, All(source), 0, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0xFF804000u);
  Darken(dest, source, 0, 0, All(source), 256, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0u);
  Lighten(dest, source, 0, 0, All(source), 128, kNoClip);
  // 128 + 63, 64 + 95, 0 + 127.
  EXPECT_EQ(At(dest, 0, 0), 0x00BF9F7Fu);
  Lighten(dest, source, 0, 0, All(source), 999, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x00FFFFFFu);

  Load(dest, 1, 1, {0x000000FF});
  BlendPlane(dest, source, 0, 0, All(source), 0, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x000000FFu);
  BlendPlane(dest, source, 0, 0, All(source), 64, kNoClip);
  // R 0 + 32, G 0 + 16, B 255 + (64 * -255 >> 8) = 255 - 64.
  EXPECT_EQ(At(dest, 0, 0), 0x002010BFu);
  BlendPlane(dest, source, 0, 0, All(source), 256, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0xFF804000u);

  Load(other, 1, 1, {0x000000FF});
  BlendTwoPlanes(dest, other, source, 0, 0, All(source), 64, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x002010BFu);
  BlendTwoPlanes(dest, other, source, 0, 0, All(source), -5, kNoClip);
  EXPECT_EQ(At(dest, 0, 0), 0x000000FFu);
}

TEST(CombineTest, MaskedCopiesAndTransitions) {
  CMemoryPlane32 dest, source, target;
  CMemoryPlane8 mask;
  Load(source, 4, 1, {0x11808080, 0x11808080, 0x11808080, 0x11808080});
  Load(target, 4, 1, {0, 0, 0, 0});
  Load(mask, 4, 1, {9, 10, 11, 12});
  dest.SetSize(PlaneSize{4, 1});
  dest.FillAll(0x0000FF);
  CopyMasked(dest, source, mask, 0, 0, All(source), 10, 11, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x00FF0000, 0x11808080, 0x11808080, 0x00FF0000}));
  // Threshold 10, softness 2: w(9) = 0, w(10) = 256/3 = 85, w(11) = 170,
  // w(12) = 256.
  BlendMaskedToBlack(dest, source, mask, 0, 0, All(source), 10, 2, kNoClip);
  // 128 * (256 - 85) >> 8 = 85; 128 * 86 >> 8 = 43.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x11808080, 0x00555555, 0x002B2B2B, 0}));
  BlendMaskedToWhite(dest, source, mask, 0, 0, All(source), 10, 2, kNoClip);
  // 128 + (127 * 85 >> 8) = 170; 128 + (127 * 170 >> 8) = 212.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x11808080, 0x00AAAAAA, 0x00D4D4D4, 0xFFFFFFFF}));
  BlendMasked(dest, source, target, mask, 0, 0, All(source), 10, 2, kNoClip);
  // 128 + (-128 * 85 >> 8) = 128 - 43 = 85; 128 + (-128 * 170 >> 8) = 43.
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x11808080, 0x00555555, 0x002B2B2B, 0}));
  // No softness: a hard edge, and no division by zero for -1.
  BlendMaskedToBlack(dest, source, mask, 0, 0, All(source), 11, -1, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x11808080, 0x11808080, 0, 0}));
  // A smaller mask cuts the area.
  Load(mask, 1, 1, {255});
  dest.FillAll(0x0000FF);
  BlendMaskedToBlack(dest, source, mask, 0, 0, All(source), 0, 0, kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0, 0x00FF0000, 0x00FF0000, 0x00FF0000}));
}

TEST(CombineTest, InPlaceAndClippedCopies) {
  CMemoryPlane32 plane;
  Load(plane, 4, 1, {0x01, 0x02, 0x03, 0x04});
  // Shifted onto itself: every pixel reads the original values.
  AddPlane(plane, plane, 1, 0, All(plane), kNoClip);
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0x01, 0x03, 0x05, 0x07}));
  OrPlane(plane, plane, -2, 0, All(plane), PlaneClip{PlaneRect{1, 0, 2, 1}, true});
  EXPECT_EQ(Dump(plane), (std::vector<uint32_t>{0x01, 0x07, 0x05, 0x07}));
}

TEST(ScaleTest, ShortcutsMatchTheSteppingWhereTheyShould) {
  CMemoryPlane32 source, fast, slow;
  Testing::LoadPattern(source, 6, 4);
  fast.SetSize(PlaneSize{12, 8});
  slow.SetSize(PlaneSize{12, 8});
  // Nearest: equal and double sizes are what the stepping gives.
  for (const PlaneRect target : {PlaneRect{0, 0, 6, 4}, PlaneRect{0, 0, 12, 8}}) {
    fast.FillAll(0);
    slow.FillAll(0);
    ScaleNearest(fast, source, target, All(source), kNoClip);
    Detail::ScaleStepping(slow, source, target, All(source), kNoClip,
                          Detail::ScaleFilter::kNearest);
    EXPECT_EQ(Dump(fast), Dump(slow));
  }
  // Bilinear at equal size: the stepping's fractions are all zero.
  fast.FillAll(0);
  slow.FillAll(0);
  ScaleBilinearAlpha(fast, source, PlaneRect{1, 1, 7, 5}, All(source), kNoClip);
  Detail::ScaleStepping(slow, source, PlaneRect{1, 1, 7, 5}, All(source), kNoClip,
                        Detail::ScaleFilter::kBilinearAlpha);
  EXPECT_EQ(Dump(fast), Dump(slow));
}

TEST(ScaleTest, HalfAndQuarterAverageBlocks) {
  CMemoryPlane32 source, dest;
  Load(source, 4, 4, {0x10, 0x20, 0, 0, 0x30, 0x41, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF000000});
  dest.SetSize(PlaneSize{2, 2});
  ScaleBilinear(dest, source, All(dest), All(source), kNoClip);
  // (16 + 32 + 48 + 65 + 2) / 4 = 40.
  EXPECT_EQ(At(dest, 0, 0), 0x28u);
  EXPECT_EQ(At(dest, 1, 1), 0u);  // alpha dropped
  ScaleBilinearAlpha(dest, source, All(dest), All(source), kNoClip);
  EXPECT_EQ(At(dest, 1, 1), 0x40000000u);  // (255 + 2) / 4
  dest.SetSize(PlaneSize{1, 1});
  ScaleBilinearAlpha(dest, source, All(dest), All(source), kNoClip);
  // (16 + 32 + 48 + 65 + 8) / 16 = 10, alpha (255 + 8) / 16 = 16.
  EXPECT_EQ(At(dest, 0, 0), 0x1000000Au);
  // Nearest has no averaging shortcut: it takes the top-left of each step.
  dest.SetSize(PlaneSize{2, 2});
  ScaleNearest(dest, source, All(dest), All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x10, 0, 0, 0}));
}

TEST(ScaleTest, GeneralSteppingAndClipping) {
  CMemoryPlane32 source, dest;
  Load(source, 2, 1, {0x00, 0xFF});
  dest.SetSize(PlaneSize{3, 1});
  ScaleBilinear(dest, source, All(dest), All(source), kNoClip);
  // Steps of 2/3: positions 0, 0.664 (fraction 0xAA of 0xFF), 1.33 (last pixel).
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0x00, 0xA9, 0xFF}));
  // A destination half outside keeps the matching half of the source.
  dest.FillAll(0x0000FF);
  ScaleNearest(dest, source, PlaneRect{-2, 0, 2, 1}, All(source), kNoClip);
  EXPECT_EQ(Dump(dest), (std::vector<uint32_t>{0xFF, 0xFF, 0x00FF0000}));
}

}  // namespace
}  // namespace Orvex

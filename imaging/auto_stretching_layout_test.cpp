#include "imaging/auto_stretching_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <random>

#include "imaging/uncovered_rects.h"

namespace Orvex {

void PrintTo(const PlaneRect& r, std::ostream* os) {
  *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
void PrintTo(const PlaneSize& s, std::ostream* os) { *os << s.width << "x" << s.height; }

namespace {

constexpr PlaneRect kScreen = {0, 0, 1280, 1024};

// The way the wallpaper cycle sets a layout up.
std::unique_ptr<AutoStretchingLayout> Fitting(int width, int height, PlaneRect target = kScreen) {
  auto layout = std::make_unique<AutoStretchingLayout>();
  layout->SetTargetRect(target);
  layout->SetSourceRect({0, 0, width, height});
  layout->SetAllowShrink(true);
  layout->SetAllowEnlarge(true);
  layout->SetCover(false);
  return layout;
}

TEST(AutoStretchingLayoutTest, WideImageFitsCentredWithBandsAboveAndBelow) {
  auto layout = Fitting(1920, 1200);
  EXPECT_EQ(layout->ComputeScaledSize(), (PlaneSize{1280, 800}));
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{0, 112, 1280, 912}));
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{0, 0, 1920, 1200}));
  EXPECT_TRUE(layout->IsWidthBound());
  EXPECT_EQ(GetUncoveredRects(kScreen, layout->GetDestRect()),
            (std::vector<PlaneRect>{{0, 0, 1280, 112}, {0, 912, 1280, 1024}}));
}

TEST(AutoStretchingLayoutTest, CoverFillsTheScreenAndCropsTheSource) {
  auto layout = Fitting(1920, 1200);
  layout->SetCover(true);
  EXPECT_EQ(layout->ComputeScaledSize(), (PlaneSize{1638, 1024}));
  EXPECT_EQ(layout->ComputeDestRect(), (PlaneRect{-179, 0, 1459, 1024}));
  EXPECT_EQ(layout->GetDestRect(), kScreen);
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{210, 0, 1710, 1200}));
  EXPECT_FALSE(layout->IsWidthBound());
  EXPECT_TRUE(GetUncoveredRects(kScreen, layout->GetDestRect()).empty());
}

TEST(AutoStretchingLayoutTest, ScalingOnlyInTheAllowedDirection) {
  auto small = Fitting(640, 480);
  small->SetAllowEnlarge(false);
  EXPECT_EQ(small->GetDestRect(), (PlaneRect{320, 272, 960, 752}));
  EXPECT_EQ(small->GetSourceRect(), (PlaneRect{0, 0, 640, 480}));

  small->SetAllowEnlarge(true);
  EXPECT_EQ(small->GetDestRect(), (PlaneRect{0, 32, 1280, 992}));

  // Too large and not shrunk: drawn at its own size, centred, and the
  // parts off the screen are cut from the source.
  auto large = Fitting(2560, 2048);
  large->SetAllowShrink(false);
  EXPECT_EQ(large->ComputeDestRect(), (PlaneRect{-640, -512, 1920, 1536}));
  EXPECT_EQ(large->GetDestRect(), kScreen);
  EXPECT_EQ(large->GetSourceRect(), (PlaneRect{640, 512, 1920, 1536}));
}

TEST(AutoStretchingLayoutTest, Alignment) {
  const PlaneRect target = {100, 50, 1380, 1074};
  struct Case {
    int align_h, align_v;
    PlaneRect dest;
  } cases[] = {
      {0, 0, {100, 50, 740, 530}},
      {1, 1, {420, 322, 1060, 802}},
      {2, 2, {740, 594, 1380, 1074}},
      {2, 0, {740, 50, 1380, 530}},
      {0, 2, {100, 594, 740, 1074}},
      // Unknown values put the image at coordinate 0, not at the target's
      // edge; here that is partly outside the target.
      {3, 1, {100, 322, 640, 802}},
      {1, -1, {420, 50, 1060, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "align " << c.align_h << "," << c.align_v);
    auto layout = Fitting(640, 480, target);
    layout->SetAllowEnlarge(false);
    layout->SetAlignH(c.align_h);
    layout->SetAlignV(c.align_v);
    EXPECT_EQ(layout->GetDestRect(), c.dest);
  }
  auto outside = Fitting(640, 480, target);
  outside->SetAllowEnlarge(false);
  outside->SetAlignH(3);
  EXPECT_EQ(outside->ComputeDestRect(), (PlaneRect{0, 322, 640, 802}));
  EXPECT_EQ(outside->GetSourceRect(), (PlaneRect{100, 0, 640, 480}));
}

TEST(AutoStretchingLayoutTest, RoundingAndTies) {
  // 2x1 onto a 3-wide target: the height 1.5 rounds up to 2.
  auto half = Fitting(2, 1, {0, 0, 3, 100});
  EXPECT_EQ(half->ComputeScaledSize(), (PlaneSize{3, 2}));

  // Same aspect ratio: both scales equal, the vertical one is taken.
  auto tie = Fitting(640, 512);
  EXPECT_EQ(tie->GetDestRect(), kScreen);
  EXPECT_FALSE(tie->IsWidthBound());
  tie->SetCover(true);
  EXPECT_FALSE(tie->IsWidthBound());

  // Portrait image: bound by the height, centred horizontally.
  auto tall = Fitting(600, 800);
  EXPECT_EQ(tall->GetDestRect(), (PlaneRect{256, 0, 1024, 1024}));
  EXPECT_FALSE(tall->IsWidthBound());
}

TEST(AutoStretchingLayoutTest, SourceRectNotAtTheOrigin) {
  auto layout = Fitting(0, 0);
  layout->SetSourceRect({100, 50, 1060, 650});  // 960x600
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{0, 112, 1280, 912}));
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{100, 50, 1060, 650}));
  layout->SetCover(true);
  EXPECT_EQ(layout->GetDestRect(), kScreen);
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{205, 50, 955, 650}));
}

TEST(AutoStretchingLayoutTest, EmptyInputsGiveEmptyResults) {
  const PlaneRect empty_rects[] = {{0, 0, 0, 0}, {0, 0, 100, 0}, {10, 10, 5, 20}, {0, 0, 0, 100}};
  for (const PlaneRect& empty : empty_rects) {
    auto no_source = Fitting(0, 0);
    no_source->SetSourceRect(empty);
    EXPECT_EQ(no_source->GetSourceRect(), (PlaneRect{}));
    EXPECT_EQ(no_source->GetDestRect(), (PlaneRect{}));

    auto no_target = Fitting(640, 480, empty);
    EXPECT_EQ(no_target->GetSourceRect(), (PlaneRect{}));
    EXPECT_EQ(no_target->GetDestRect(), (PlaneRect{}));
  }
  // A fresh layout has nothing to place.
  AutoStretchingLayout fresh;
  EXPECT_EQ(fresh.GetDestRect(), (PlaneRect{}));
  EXPECT_EQ(fresh.ComputeScaledSize(), (PlaneSize{0, 0}));
}

TEST(AutoStretchingLayoutTest, ImageThinnerThanAPixelCoversNothing) {
  for (PlaneSize image : {PlaneSize{1, 3000}, PlaneSize{3000, 1}}) {
    SCOPED_TRACE(testing::Message() << image.width << "x" << image.height);
    auto layout = Fitting(image.width, image.height);
    const PlaneSize scaled = layout->ComputeScaledSize();
    EXPECT_EQ(scaled.width * scaled.height, 0);
    EXPECT_EQ(layout->GetDestRect(), (PlaneRect{}));
    EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{}));
    EXPECT_EQ(GetUncoveredRects(kScreen, layout->GetDestRect()), std::vector<PlaneRect>{kScreen});
  }
}

TEST(AutoStretchingLayoutTest, ResultsFollowEverySetterAndClonesAreIndependent) {
  auto layout = Fitting(1920, 1200);
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{0, 112, 1280, 912}));
  layout->SetAlignV(0);
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{0, 0, 1280, 800}));
  layout->SetTargetRect({0, 0, 1920, 1080});
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{96, 0, 1824, 1080}));
  layout->SetAllowShrink(false);
  EXPECT_EQ(layout->GetDestRect(), (PlaneRect{0, 0, 1920, 1080}));
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{0, 0, 1920, 1080}));

  std::shared_ptr<ILayout> copy = layout->Clone();
  auto* clone = dynamic_cast<AutoStretchingLayout*>(copy.get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetDestRect(), layout->GetDestRect());
  EXPECT_EQ(clone->GetSourceRect(), layout->GetSourceRect());
  clone->SetCover(true);
  clone->SetSourceRect({0, 0, 10, 10});
  EXPECT_EQ(layout->GetSourceRect(), (PlaneRect{0, 0, 1920, 1080}));
  EXPECT_FALSE(layout->GetCover());
}

// Random images on random screens: the results must stay inside their
// rectangles and keep the image's aspect ratio up to rounding.
TEST(AutoStretchingLayoutTest, RandomLayoutsStayInsideAndKeepTheAspectRatio) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> size(1, 5000);
  std::uniform_int_distribution<int> align(0, 2);
  for (int i = 0; i < 20000; ++i) {
    const PlaneRect target = {0, 0, size(rng), size(rng)};
    const int w = size(rng), h = size(rng);
    auto layout = Fitting(w, h, target);
    layout->SetCover(i % 2 == 1);
    layout->SetAlignH(align(rng));
    layout->SetAlignV(align(rng));
    const PlaneRect s = layout->GetSourceRect();
    const PlaneRect d = layout->GetDestRect();
    SCOPED_TRACE(testing::Message() << w << "x" << h << " on " << target.right << "x"
                                    << target.bottom << (i % 2 ? " cover" : " fit"));
    if (d == PlaneRect{}) {
      EXPECT_EQ(s, PlaneRect{});
      continue;
    }
    ASSERT_TRUE(s.left >= 0 && s.top >= 0 && s.right <= w && s.bottom <= h && s.left < s.right &&
                s.top < s.bottom);
    ASSERT_TRUE(d.left >= 0 && d.top >= 0 && d.right <= target.right && d.bottom <= target.bottom &&
                d.left < d.right && d.top < d.bottom);
    if (i % 2 == 0) {
      EXPECT_EQ(s, (PlaneRect{0, 0, w, h}));  // fitting never crops
      // One axis fills the target.
      EXPECT_TRUE(d.right - d.left == target.right || d.bottom - d.top == target.bottom);
    } else {
      EXPECT_EQ(d, target);  // covering always fills it
    }
    // The scales of the two axes agree up to a pixel of rounding on each
    // side of each axis.
    const double sw = s.right - s.left, sh = s.bottom - s.top;
    const double dw = d.right - d.left, dh = d.bottom - d.top;
    const double sx = dw / sw, sy = dh / sh;
    EXPECT_NEAR(sx, sy, std::max(sx, sy) * (2 / sw + 2 / sh + 2 / dw + 2 / dh));
  }
}

TEST(UncoveredRectsTest, BandsComeInOrderTopLeftRightBottom) {
  EXPECT_EQ(
      GetUncoveredRects(kScreen, {320, 272, 960, 752}),
      (std::vector<PlaneRect>{
          {0, 0, 1280, 272}, {0, 272, 320, 752}, {960, 272, 1280, 752}, {0, 752, 1280, 1024}}));
  EXPECT_EQ(GetUncoveredRects(kScreen, {256, 0, 1024, 1024}),
            (std::vector<PlaneRect>{{0, 0, 256, 1024}, {1024, 0, 1280, 1024}}));
  EXPECT_TRUE(GetUncoveredRects(kScreen, kScreen).empty());
  EXPECT_TRUE(GetUncoveredRects({0, 0, 0, 0}, {0, 0, 0, 0}).empty());
  EXPECT_EQ(GetUncoveredRects(kScreen, {2000, 0, 2100, 100}), std::vector<PlaneRect>{kScreen});
}

// Every pixel of the target is either under the destination or in exactly
// one band, also when the destination reaches outside the target.
TEST(UncoveredRectsTest, BandsAndDestinationTileTheTarget) {
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> coord(-8, 40);
  const auto inside = [](const PlaneRect& r, int x, int y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
  };
  for (int i = 0; i < 3000; ++i) {
    const PlaneRect target = {coord(rng), coord(rng), coord(rng), coord(rng)};
    const PlaneRect dest = {coord(rng), coord(rng), coord(rng), coord(rng)};
    const std::vector<PlaneRect> bands = GetUncoveredRects(target, dest);
    const bool dest_empty = dest.left >= dest.right || dest.top >= dest.bottom;
    for (const PlaneRect& b : bands) {
      ASSERT_TRUE(b.left < b.right && b.top < b.bottom);
    }
    for (int y = -10; y < 42; ++y) {
      for (int x = -10; x < 42; ++x) {
        int count = (!dest_empty && inside(dest, x, y) && inside(target, x, y)) ? 1 : 0;
        for (const PlaneRect& b : bands) count += inside(b, x, y) ? 1 : 0;
        ASSERT_EQ(count, inside(target, x, y) ? 1 : 0) << "pixel " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace Orvex

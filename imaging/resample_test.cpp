#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <mutex>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "imaging/plane32.h"
#include "imaging/resample_test_image.h"

namespace Orvex::Detail {
namespace {

// Two portable passes in the given order, composed by hand.
TestImage TwoPasses(bool lanczos, bool vertical_first, TestImage& src, int32_t width,
                    int32_t height, bool keep_alpha) {
  auto plan = [lanczos](int32_t n, int32_t m) {
    return lanczos ? STapPlan(SLanczosData(n, m)) : STapPlan(SPixelAverationData(n, m));
  };
  TestImage dst(width, height);
  if (vertical_first) {
    TestImage mid(src.width, height);
    VerticalPassPortable(plan(src.height, height), src.View(), mid.View(), 0, height, keep_alpha);
    HorizontalPassPortable(plan(src.width, width), mid.View(), dst.View(), 0, height, keep_alpha);
  } else {
    TestImage mid(width, src.height);
    HorizontalPassPortable(plan(src.width, width), src.View(), mid.View(), 0, src.height,
                           keep_alpha);
    VerticalPassPortable(plan(src.height, height), mid.View(), dst.View(), 0, height, keep_alpha);
  }
  return dst;
}

TEST(VerticalPassFirst, ReducesTheAxisWithTheSmallerScaleFirst) {
  EXPECT_TRUE(VerticalPassFirst(6000, 3400, 3840, 2160));   // 0.635 vertical < 0.64
  EXPECT_TRUE(VerticalPassFirst(6000, 4000, 3840, 2160));   // 0.54 vertical < 0.64
  EXPECT_FALSE(VerticalPassFirst(4000, 6000, 2160, 3840));  // 0.54 horizontal < 0.64
  EXPECT_FALSE(VerticalPassFirst(100, 100, 50, 50));        // a tie runs horizontally first
  EXPECT_TRUE(VerticalPassFirst(10, 10, 40, 20));
  // Products beyond 32 bits still compare correctly.
  EXPECT_TRUE(VerticalPassFirst(100000, 100000, 100000, 99999));
}

TEST(ResampleViews, FollowsThePassOrder) {
  // Shapes where the two orders give different bytes, so taking the wrong
  // one shows.
  struct Case {
    int32_t w, h, width, height;
  };
  for (const Case& c : {Case{31, 29, 17, 9}, Case{29, 31, 9, 17}, Case{12, 40, 30, 20}}) {
    for (bool lanczos : {true, false}) {
      TestImage src(c.w, c.h);
      src.Randomise(77, false);
      const bool vertical_first = VerticalPassFirst(c.w, c.h, c.width, c.height);
      const TestImage expected = TwoPasses(lanczos, vertical_first, src, c.width, c.height, true);
      const TestImage other = TwoPasses(lanczos, !vertical_first, src, c.width, c.height, true);
      ASSERT_NE(expected.bytes, other.bytes) << "the case does not tell the orders apart";
      TestImage actual(c.width, c.height);
      ResampleViews(lanczos ? ResampleFilter::kLanczos : ResampleFilter::kAverage, true, src.View(),
                    actual.View(), SimdLevel::kPortable, false);
      EXPECT_EQ(actual.bytes, expected.bytes) << c.w << "x" << c.h << " -> " << c.width << "x"
                                              << c.height << (lanczos ? " lanczos" : " average");
    }
  }
}

// Real-valued two-pass Lanczos3 with the same pass order and an 8-bit
// intermediate. Each fixed-point pass is within one of it (see the kernel
// tests); a one-off intermediate moves the second pass by at most the sum of
// its absolute weights (about 1.3), so the whole stays within two.
TEST(ResampleViews, LanczosMatchesRealArithmetic) {
  const double pi = std::acos(-1.0);
  auto kernel = [pi](double x) {
    if (x == 0) return 1.0;
    if (std::fabs(x) >= 3) return 0.0;
    return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
  };
  // One output sample of a one-dimensional pass over `line`.
  auto sample = [&](const std::vector<double>& line, int m, int i) {
    const int n = static_cast<int>(line.size());
    const int taps = n < m ? 6 : (m + 6 * n - 1) / m;
    const double a = (i + 0.5) * n / m;
    const long long first = n < m ? static_cast<long long>(std::floor(a - 2.5))
                                  : static_cast<long long>(std::floor(n * (i - 2.5) / m + 0.5));
    double sum = 0, weights = 0;
    for (int j = 0; j < taps; ++j) {
      const long long k = first + j;
      const double w = n < m ? kernel(k + 0.5 - a) : kernel(double(m) * (k + 0.5) / n - (i + 0.5));
      sum += w * line[std::clamp<long long>(k, 0, n - 1)];
      weights += w;
    }
    return std::clamp(std::floor(sum / weights + 0.5), 0.0, 255.0);
  };
  struct Case {
    int32_t w, h, width, height;
  };
  for (const Case& c : {Case{60, 34, 38, 21}, Case{13, 11, 40, 29}, Case{50, 9, 17, 30}}) {
    TestImage src(c.w, c.h);
    src.Randomise(3, false);
    TestImage dst(c.width, c.height);
    ResampleViews(ResampleFilter::kLanczos, true, src.View(), dst.View(), SimdLevel::kPortable,
                  false);
    const bool vertical_first = VerticalPassFirst(c.w, c.h, c.width, c.height);
    int worst = 0;
    double total = 0;
    for (int ch = 0; ch < 4; ++ch) {
      std::vector<std::vector<double>> image(c.h, std::vector<double>(c.w));
      for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) image[y][x] = src.At(x, y)[ch];
      }
      auto horizontal = [&](const std::vector<std::vector<double>>& in) {
        std::vector<std::vector<double>> out(in.size(), std::vector<double>(c.width));
        for (size_t y = 0; y < in.size(); ++y) {
          for (int i = 0; i < c.width; ++i) out[y][i] = sample(in[y], c.width, i);
        }
        return out;
      };
      auto vertical = [&](const std::vector<std::vector<double>>& in) {
        const size_t columns = in[0].size();
        std::vector<std::vector<double>> out(c.height, std::vector<double>(columns));
        for (size_t x = 0; x < columns; ++x) {
          std::vector<double> column(in.size());
          for (size_t y = 0; y < in.size(); ++y) column[y] = in[y][x];
          for (int i = 0; i < c.height; ++i) out[i][x] = sample(column, c.height, i);
        }
        return out;
      };
      const auto result =
          vertical_first ? horizontal(vertical(image)) : vertical(horizontal(image));
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
          const int diff = static_cast<int>(std::fabs(result[y][x] - dst.At(x, y)[ch]));
          worst = std::max(worst, diff);
          total += diff;
        }
      }
    }
    EXPECT_LE(worst, 2);
    EXPECT_LT(total / (4.0 * c.width * c.height), 0.1);
  }
}

TEST(ResampleViews, SinglePixelAndEqualSizes) {
  TestImage dot(1, 1);
  const uint8_t pixel[4] = {10, 200, 77, 255};
  std::copy(pixel, pixel + 4, dot.At(0, 0));
  for (ResampleFilter filter : {ResampleFilter::kLanczos, ResampleFilter::kAverage}) {
    TestImage big(4, 4);
    ResampleViews(filter, true, dot.View(), big.View(), ActiveSimdLevel(), true);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        ASSERT_EQ(std::vector<uint8_t>(big.At(x, y), big.At(x, y) + 4),
                  std::vector<uint8_t>(pixel, pixel + 4));
      }
    }
    TestImage src(23, 7);
    src.Randomise(11, false);
    TestImage same(23, 7);
    ResampleViews(filter, true, src.View(), same.View(), ActiveSimdLevel(), true);
    EXPECT_EQ(same.bytes, src.bytes);
    TestImage back(1, 1);
    ResampleViews(filter, false, src.View(), back.View(), ActiveSimdLevel(), true);
    EXPECT_EQ(back.At(0, 0)[3], 0);
  }
}

// Whatever the instruction set and however the rows are split, the bytes are
// those of the portable form on one thread.
TEST(ResampleViews, SimdAndThreadsChangeNoByte) {
  struct Case {
    int32_t w, h, width, height;
  };
  for (const Case& c : {Case{601, 397, 383, 217}, Case{97, 61, 331, 203}, Case{1, 300, 7, 2},
                        Case{500, 1, 3, 9}, Case{2000, 5, 2, 3}}) {
    for (ResampleFilter filter : {ResampleFilter::kLanczos, ResampleFilter::kAverage}) {
      for (bool keep_alpha : {false, true}) {
        TestImage src(c.w, c.h);
        src.Randomise(static_cast<uint32_t>(c.w + c.h), c.w % 2 == 1);
        TestImage expected(c.width, c.height);
        ResampleViews(filter, keep_alpha, src.View(), expected.View(), SimdLevel::kPortable, false);
        for (SimdLevel level : {SimdLevel::kPortable, SimdLevel::kSse2, SimdLevel::kAvx2}) {
          TestImage actual(c.width, c.height);
          ResampleViews(filter, keep_alpha, src.View(), actual.View(), level, true);
          ASSERT_EQ(actual.bytes, expected.bytes) << c.w << "x" << c.h << " -> " << c.width << "x"
                                                  << c.height << " " << SimdLevelName(level);
        }
      }
    }
  }
}

TEST(ResampleViews, AlphaOnlyWhenAsked) {
  TestImage src(9, 9);
  src.Randomise(21, false);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) src.At(x, y)[3] = 128;
  }
  for (ResampleFilter filter : {ResampleFilter::kLanczos, ResampleFilter::kAverage}) {
    TestImage plain(5, 14), kept(5, 14);
    ResampleViews(filter, false, src.View(), plain.View(), ActiveSimdLevel(), true);
    ResampleViews(filter, true, src.View(), kept.View(), ActiveSimdLevel(), true);
    for (int y = 0; y < 14; ++y) {
      for (int x = 0; x < 5; ++x) {
        ASSERT_EQ(plain.At(x, y)[3], 0);
        ASSERT_EQ(kept.At(x, y)[3], 128);
        // Colour does not depend on the alpha choice.
        ASSERT_TRUE(std::equal(plain.At(x, y), plain.At(x, y) + 3, kept.At(x, y)));
      }
    }
  }
}

TEST(ResampleViews, RowSplitCoversEveryRowOnce) {
  for (int32_t count : {0, 1, 2, 3, 10, 101}) {
    std::vector<int> seen(count, 0);
    std::mutex lock;
    RunRowBlocks(count, true, [&](int32_t begin, int32_t end) {
      std::lock_guard<std::mutex> guard(lock);
      for (int32_t y = begin; y < end; ++y) ++seen[y];
    });
    for (int32_t y = 0; y < count; ++y) ASSERT_EQ(seen[y], 1) << count << " rows, row " << y;
  }
}

TEST(ResampleViews, FailureInAnyBlockReachesTheCaller) {
  for (int32_t failing_row : {0, 99}) {
    std::atomic<int32_t> done{0};
    EXPECT_THROW(RunRowBlocks(100, true,
                              [&](int32_t begin, int32_t end) {
                                done += end - begin;
                                if (begin <= failing_row && failing_row < end) {
                                  throw std::runtime_error("block failed");
                                }
                              }),
                 std::runtime_error);
    EXPECT_EQ(done.load(), 100);  // the other blocks still ran to the end
  }
}

constexpr PlaneClip kNoClip{};

TEST(ClipScaled, DestinationPartlyOutsideShrinksTheSource) {
  PlaneRect dest{-10, 0, 90, 50};
  PlaneRect source{0, 0, 200, 100};
  ASSERT_TRUE(ClipScaled(dest, source, {80, 50}, {200, 100}, kNoClip));
  EXPECT_EQ(dest, (PlaneRect{0, 0, 80, 50}));
  EXPECT_EQ(source, (PlaneRect{20, 0, 180, 100}));
}

TEST(ClipScaled, ClipRectAndSourceBounds) {
  // Only the clip's part of a 2x enlargement is drawn.
  PlaneRect dest{0, 0, 100, 100};
  PlaneRect source{0, 0, 50, 50};
  ASSERT_TRUE(ClipScaled(dest, source, {100, 100}, {50, 50}, {{10, 20, 30, 40}, true}));
  EXPECT_EQ(dest, (PlaneRect{10, 20, 30, 40}));
  EXPECT_EQ(source, (PlaneRect{5, 10, 15, 20}));

  // A source reaching past its plane moves the destination edge in step.
  PlaneRect dest2{0, 0, 100, 100};
  PlaneRect source2{-25, 0, 25, 50};
  ASSERT_TRUE(ClipScaled(dest2, source2, {100, 100}, {50, 50}, kNoClip));
  EXPECT_EQ(dest2, (PlaneRect{50, 0, 100, 100}));
  EXPECT_EQ(source2, (PlaneRect{0, 0, 25, 50}));
}

TEST(ClipScaled, NothingLeft) {
  PlaneRect dest{0, 0, 10, 10};
  PlaneRect empty{5, 5, 5, 9};
  EXPECT_FALSE(ClipScaled(dest, empty, {10, 10}, {10, 10}, kNoClip));
  PlaneRect outside{20, 0, 30, 10};
  PlaneRect source{0, 0, 10, 10};
  EXPECT_FALSE(ClipScaled(outside, source, {10, 10}, {10, 10}, kNoClip));
  PlaneRect dest2{0, 0, 10, 10};
  PlaneRect off_source{100, 100, 110, 110};
  EXPECT_FALSE(ClipScaled(dest2, off_source, {10, 10}, {10, 10}, kNoClip));
  PlaneRect dest3{0, 0, 10, 10};
  PlaneRect source3{0, 0, 10, 10};
  EXPECT_FALSE(ClipScaled(dest3, source3, {-1, -1}, {10, 10}, kNoClip));  // no storage yet
}

TEST(ClipScaled, HugeRectanglesDoNotOverflow) {
  // The visible part lies inside one source pixel and rounds away.
  PlaneRect dest{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  PlaneRect source{0, 0, 4, 4};
  EXPECT_FALSE(ClipScaled(dest, source, {640, 480}, {4, 4}, kNoClip));
  PlaneRect wide{INT_MIN, 0, INT_MAX, 480};
  PlaneRect tall{0, 0, 1 << 30, 4};
  ASSERT_TRUE(ClipScaled(wide, tall, {640, 480}, {1 << 30, 4}, kNoClip));
  EXPECT_EQ(wide, (PlaneRect{0, 0, 640, 480}));
  EXPECT_EQ(tall, (PlaneRect{1 << 29, 0, (1 << 29) + 160, 4}));
  PlaneRect dest2{0, 0, 64, 48};
  PlaneRect source2{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_FALSE(ClipScaled(dest2, source2, {64, 48}, {100, 100}, kNoClip));
}

// The plane operations: clipping, the sub-rectangles they read and write,
// and which of them keep alpha.
class ResamplePlanes : public testing::Test {
 protected:
  static void FillRandom(CPlane32& plane, uint32_t seed) {
    std::mt19937 engine(seed);
    const PlaneBitsLock bits(plane);
    for (int32_t y = 0; y < plane.GetHeight(); ++y) {
      for (int32_t x = 0; x < 4 * plane.GetWidth(); ++x) bits.Row(y)[x] = engine() & 0xFF;
    }
  }
  static TestImage Snapshot(const CPlane32& plane, const PlaneRect& rect) {
    TestImage image(rect.right - rect.left, rect.bottom - rect.top);
    const PlaneBitsLock bits(plane);
    for (int32_t y = 0; y < image.height; ++y) {
      std::copy_n(bits.Row(rect.top + y) + 4 * rect.left, 4 * image.width, image.Row(y));
    }
    return image;
  }
};

TEST_F(ResamplePlanes, DrawOnlyTheVisiblePartOfTheDestination) {
  CMemoryPlane32 source;
  source.SetSize({40, 30});
  FillRandom(source, 1);
  CMemoryPlane32 dest;
  dest.SetSize({50, 20});
  dest.FillAll(0x00FF00FF);
  const TestImage before = Snapshot(dest, {0, 0, 50, 20});

  // 40x30 onto (-20, 5)-(60, 35): half the width and the bottom run off.
  ResampleLanczos(dest, source, {-20, 5, 60, 35}, {0, 0, 40, 30}, {});
  PlaneRect d{-20, 5, 60, 35};
  PlaneRect s{0, 0, 40, 30};
  ASSERT_TRUE(ClipScaled(d, s, {50, 20}, {40, 30}, {}));
  ASSERT_EQ(d, (PlaneRect{0, 5, 50, 20}));

  // Inside: exactly the resample of the shrunk source rectangle.
  TestImage expected(d.right - d.left, d.bottom - d.top);
  TestImage part = Snapshot(source, s);
  ResampleViews(ResampleFilter::kLanczos, false, part.View(), expected.View(), SimdLevel::kPortable,
                false);
  EXPECT_EQ(Snapshot(dest, d).bytes, expected.bytes);
  // Outside: untouched.
  const TestImage top = Snapshot(dest, {0, 0, 50, 5});
  for (int32_t y = 0; y < 5; ++y) {
    ASSERT_TRUE(std::equal(top.Row(y), top.Row(y) + 200, before.Row(y)));
  }
}

TEST_F(ResamplePlanes, AlphaOnlyInTheAlphaForms) {
  CMemoryPlane32 source;
  source.SetSize({7, 5});
  FillRandom(source, 2);
  {
    const PlaneBitsLock bits(source);
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 7; ++x) bits.Row(y)[4 * x + 3] = 99;
    }
  }
  using Operation =
      void (*)(CPlane32&, const CPlane32&, const PlaneRect&, const PlaneRect&, const PlaneClip&);
  for (auto [operation, alpha] : {std::pair<Operation, int>{ResampleLanczos, 0},
                                  {ResampleLanczosAlpha, 99},
                                  {ResampleAverage, 0},
                                  {ResampleAverageAlpha, 99}}) {
    CMemoryPlane32 dest;
    dest.SetSize({11, 3});
    dest.FillAll(0);
    operation(dest, source, {0, 0, 11, 3}, {0, 0, 7, 5}, {});
    const TestImage result = Snapshot(dest, {0, 0, 11, 3});
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 11; ++x) ASSERT_EQ(result.At(x, y)[3], alpha);
    }
  }
}

TEST_F(ResamplePlanes, SourceAndDestinationMayBeOnePlane) {
  CMemoryPlane32 plane;
  plane.SetSize({32, 32});
  FillRandom(plane, 3);
  TestImage expected(16, 16);
  TestImage whole = Snapshot(plane, {0, 0, 32, 32});
  ResampleViews(ResampleFilter::kLanczos, false, whole.View(), expected.View(),
                SimdLevel::kPortable, false);
  ResampleLanczos(plane, plane, {8, 8, 24, 24}, {0, 0, 32, 32}, {});
  EXPECT_EQ(Snapshot(plane, {8, 8, 24, 24}).bytes, expected.bytes);
}

TEST_F(ResamplePlanes, NothingToDrawIsNotAnError) {
  CMemoryPlane32 source;
  source.SetSize({4, 4});
  CMemoryPlane32 unsized;
  EXPECT_NO_THROW(ResampleLanczos(unsized, source, {0, 0, 4, 4}, {0, 0, 4, 4}, {}));
  CMemoryPlane32 dest;
  dest.SetSize({4, 4});
  dest.FillAll(0x123456);
  const TestImage before = Snapshot(dest, {0, 0, 4, 4});
  ResampleLanczos(dest, source, {0, 0, 4, 4}, {2, 2, 2, 4}, {});
  ResampleLanczos(dest, source, {0, 0, 4, 4}, {0, 0, 4, 4}, {{5, 5, 9, 9}, true});
  EXPECT_EQ(Snapshot(dest, {0, 0, 4, 4}).bytes, before.bytes);
}

}  // namespace
}  // namespace Orvex::Detail

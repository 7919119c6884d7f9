#include "imaging/resample_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/resample_test_image.h"

namespace Orvex::Detail {
namespace {

STapPlan MakeTestPlan(bool lanczos, int32_t n, int32_t m) {
  return lanczos ? STapPlan(SLanczosData(n, m)) : STapPlan(SPixelAverationData(n, m));
}

// Runs one pass of every shape worth checking with `kernels` and with the
// portable kernels and expects the same bytes (and untouched padding).
void ExpectSameAsPortable(const SPassKernels& kernels) {
  const std::vector<std::tuple<int, int, int>> shapes = {
      // source length, destination length, other axis
      {1, 1, 1},   {1, 5, 3},    {5, 1, 2},    {2, 3, 1},     {3, 2, 9},    {7, 7, 7},
      {9, 17, 5},  {17, 9, 6},   {31, 33, 3},  {64, 13, 4},   {13, 64, 11}, {100, 3, 2},
      {3, 100, 2}, {640, 47, 3}, {47, 640, 2}, {257, 255, 5}, {1000, 1, 2}, {1, 1000, 2}};
  uint32_t seed = 1;
  for (auto [n, m, other] : shapes) {
    for (bool lanczos : {true, false}) {
      for (bool hard : {false, true}) {
        for (bool keep_alpha : {false, true}) {
          SCOPED_TRACE(testing::Message()
                       << n << " -> " << m << " x " << other << (lanczos ? " lanczos" : " average")
                       << (hard ? " hard" : "") << (keep_alpha ? " alpha" : ""));
          const STapPlan plan = MakeTestPlan(lanczos, n, m);
          {
            TestImage src(n, other);
            src.Randomise(seed++, hard);
            TestImage expected(m, other);
            TestImage actual(m, other);
            HorizontalPassPortable(plan, src.View(), expected.View(), 0, other, keep_alpha);
            kernels.horizontal(plan, src.View(), actual.View(), 0, other, keep_alpha);
            ASSERT_EQ(actual.bytes, expected.bytes) << "horizontal";
          }
          {
            TestImage src(other, n);
            src.Randomise(seed++, hard);
            TestImage expected(other, m);
            TestImage actual(other, m);
            VerticalPassPortable(plan, src.View(), expected.View(), 0, m, keep_alpha);
            kernels.vertical(plan, src.View(), actual.View(), 0, m, keep_alpha);
            ASSERT_EQ(actual.bytes, expected.bytes) << "vertical";
          }
        }
      }
    }
  }
}

TEST(PassKernels, Sse2MatchesPortable) {
  if (DetectedSimdLevel() < SimdLevel::kSse2) GTEST_SKIP() << "no SSE2";
  ExpectSameAsPortable(PassKernelsFor(SimdLevel::kSse2));
}

TEST(PassKernels, Avx2MatchesPortable) {
  if (DetectedSimdLevel() < SimdLevel::kAvx2) GTEST_SKIP() << "no AVX2";
  ExpectSameAsPortable(PassKernelsFor(SimdLevel::kAvx2));
}

TEST(PassKernels, WideRowsMatchPortable) {
  // Widths around the vector sizes, so every kernel runs its vector loop
  // and its leftover pixels.
  for (SimdLevel level : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (DetectedSimdLevel() < level) continue;
    const SPassKernels& kernels = PassKernelsFor(level);
    for (int width : {8, 15, 16, 23, 1021}) {
      const STapPlan plan(SLanczosData(37, 23));
      TestImage src(width, 37);
      src.Randomise(static_cast<uint32_t>(width), true);
      TestImage expected(width, 23);
      TestImage actual(width, 23);
      VerticalPassPortable(plan, src.View(), expected.View(), 0, 23, true);
      kernels.vertical(plan, src.View(), actual.View(), 0, 23, true);
      ASSERT_EQ(actual.bytes, expected.bytes) << SimdLevelName(level) << " width " << width;
    }
  }
}

TEST(PassKernels, LevelsFallBackToWhatTheProcessorHas) {
  const SPassKernels& portable = PassKernelsFor(SimdLevel::kPortable);
  EXPECT_EQ(portable.horizontal, &HorizontalPassPortable);
  if (DetectedSimdLevel() == SimdLevel::kPortable) {
    EXPECT_EQ(PassKernelsFor(SimdLevel::kAvx2).horizontal, &HorizontalPassPortable);
  }
}

TEST(PassKernels, WriteOnlyTheirRows) {
  for (SimdLevel level : {SimdLevel::kPortable, SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (DetectedSimdLevel() < level) continue;
    const SPassKernels& kernels = PassKernelsFor(level);
    const STapPlan plan(SLanczosData(20, 11));
    TestImage src(20, 20);
    src.Randomise(5, false);
    TestImage h_dst(11, 20);
    kernels.horizontal(plan, src.View(), h_dst.View(), 3, 6, true);
    TestImage v_dst(20, 11);
    kernels.vertical(plan, src.View(), v_dst.View(), 3, 6, true);
    auto row_is_zero = [](const TestImage& image, int y) {
      for (int i = 0; i < 4 * image.width; ++i) {
        if (image.Row(y)[i] != 0) return false;
      }
      return true;
    };
    for (int y = 0; y < 20; ++y) {
      const bool inside = y >= 3 && y < 6;
      EXPECT_EQ(row_is_zero(h_dst, y), !inside) << SimdLevelName(level) << " row " << y;
      if (y < 11) {
        EXPECT_EQ(row_is_zero(v_dst, y), !inside) << SimdLevelName(level) << " row " << y;
      }
    }
    EXPECT_TRUE(h_dst.PaddingIntact());
    EXPECT_TRUE(v_dst.PaddingIntact());
  }
}

// The fixed-point pass against real-valued weights: truncating each weight
// to 16 fraction bits moves a sum by less than taps * 255 / 65536 (0.04 for
// ten taps), so after rounding the two differ by at most one.
TEST(PassKernels, PortableLanczosMatchesRealArithmetic) {
  const double pi = std::acos(-1.0);
  auto kernel = [pi](double x) {
    if (x == 0) return 1.0;
    if (std::fabs(x) >= 3) return 0.0;
    return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
  };
  for (auto [n, m] : {std::pair{50, 23}, std::pair{23, 50}, std::pair{40, 40}, std::pair{9, 2}}) {
    TestImage src(n, 3);
    src.Randomise(static_cast<uint32_t>(n * 100 + m), n % 2 == 0);
    TestImage dst(m, 3);
    HorizontalPassPortable(STapPlan(SLanczosData(n, m)), src.View(), dst.View(), 0, 3, true);
    const int taps = n < m ? 6 : (m + 6 * n - 1) / m;
    int worst = 0;
    for (int y = 0; y < 3; ++y) {
      for (int i = 0; i < m; ++i) {
        const double a = (i + 0.5) * n / m;
        const long long first = n < m ? static_cast<long long>(std::floor(a - 2.5))
                                      : static_cast<long long>(std::floor(n * (i - 2.5) / m + 0.5));
        for (int c = 0; c < 4; ++c) {
          double sum = 0, weight_sum = 0;
          for (int j = 0; j < taps; ++j) {
            const long long k = first + j;
            const double w =
                n < m ? kernel(k + 0.5 - a) : kernel(double(m) * (k + 0.5) / n - (i + 0.5));
            sum += w * src.At(static_cast<int>(std::clamp<long long>(k, 0, n - 1)), y)[c];
            weight_sum += w;
          }
          const double expected = std::clamp(std::floor(sum / weight_sum + 0.5), 0.0, 255.0);
          worst = std::max(worst, static_cast<int>(std::fabs(expected - dst.At(i, y)[c])));
        }
      }
    }
    EXPECT_LE(worst, 1) << n << " -> " << m;
  }
}

TEST(PassKernels, AlphaIsZeroUnlessKept) {
  TestImage src(6, 6);
  src.Randomise(9, false);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) src.At(x, y)[3] = 200;
  }
  for (SimdLevel level : {SimdLevel::kPortable, SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (DetectedSimdLevel() < level) continue;
    const SPassKernels& kernels = PassKernelsFor(level);
    const STapPlan plan(SLanczosData(6, 13));
    TestImage plain(13, 6), kept(13, 6);
    kernels.horizontal(plan, src.View(), plain.View(), 0, 6, false);
    kernels.horizontal(plan, src.View(), kept.View(), 0, 6, true);
    TestImage plain_v(6, 13), kept_v(6, 13);
    kernels.vertical(plan, src.View(), plain_v.View(), 0, 13, false);
    kernels.vertical(plan, src.View(), kept_v.View(), 0, 13, true);
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 13; ++x) {
        ASSERT_EQ(plain.At(x, y)[3], 0) << SimdLevelName(level);
        ASSERT_EQ(kept.At(x, y)[3], 200) << SimdLevelName(level);
        ASSERT_EQ(plain_v.At(y, x)[3], 0) << SimdLevelName(level);
        ASSERT_EQ(kept_v.At(y, x)[3], 200) << SimdLevelName(level);
      }
    }
  }
}

}  // namespace
}  // namespace Orvex::Detail

#include "imaging/resample_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

namespace Orvex::Detail {
namespace {

// An independent double-precision Lanczos3.
double ReferenceLanczos3(double x) {
  if (x == 0) return 1;
  if (std::fabs(x) >= 3) return 0;
  const double pi = std::acos(-1.0);
  return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
}

const std::vector<std::pair<int, int>> kLengths = {
    {1, 1},       {1, 4},       {4, 1},    {2, 1},    {3, 2},      {5, 5},       {7, 3},
    {3, 7},       {10, 1},      {100, 99}, {99, 100}, {640, 1920}, {6000, 3840}, {3400, 2160},
    {1920, 1280}, {1200, 1024}, {1000, 3}, {3, 1000}, {4096, 1},   {6000, 3812}};

TEST(Lanczos3, KernelShape) {
  EXPECT_EQ(Lanczos3(0), 1.0L);
  EXPECT_EQ(Lanczos3(3), 0.0L);
  EXPECT_EQ(Lanczos3(-3.5), 0.0L);
  for (double x : {0.25, 0.5, 1.3, 2.5, 2.99}) {
    EXPECT_NEAR(static_cast<double>(Lanczos3(x)), ReferenceLanczos3(x), 1e-12) << x;
    EXPECT_EQ(Lanczos3(x), Lanczos3(-x));
  }
  EXPECT_NEAR(static_cast<double>(Lanczos3(1)), 0.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(Lanczos3(2)), 0.0, 1e-15);
}

TEST(SLanczosData, TapCounts) {
  EXPECT_EQ(SLanczosData(10, 20).tap_count, 6);   // enlarging keeps six taps
  EXPECT_EQ(SLanczosData(20, 10).tap_count, 12);  // 2:1 widens to twelve
  EXPECT_EQ(SLanczosData(7, 7).tap_count, 6);
  EXPECT_EQ(SLanczosData(7, 3).tap_count, 14);
  EXPECT_EQ(SLanczosData(6000, 3840).tap_count, 10);
  EXPECT_EQ(SLanczosData(4096, 1).tap_count, 6 * 4096);
}

TEST(SLanczosData, IndicesClampedAndWeightsMatchReference) {
  for (auto [n, m] : kLengths) {
    SCOPED_TRACE(testing::Message() << n << " -> " << m);
    const SLanczosData table(n, m);
    ASSERT_EQ(table.length, m);
    for (int i = 0; i < m; ++i) {
      const int32_t* idx = table.Indices(i);
      const int32_t* w = table.Weights(i);
      // The taps run over consecutive pixels; edge pixels repeat.
      const double a = (i + 0.5) * n / m;
      const long long first = n < m ? static_cast<long long>(std::floor(a - 2.5))
                                    : static_cast<long long>(std::floor(n * (i - 2.5) / m + 0.5));
      std::vector<double> raw(table.tap_count);
      for (int j = 0; j < table.tap_count; ++j) {
        const long long unclamped = first + j;
        ASSERT_EQ(idx[j], std::clamp<long long>(unclamped, 0, n - 1));
        raw[j] = n < m ? ReferenceLanczos3(unclamped + 0.5 - a)
                       : ReferenceLanczos3(double(m) * (unclamped + 0.5) / n - (i + 0.5));
      }
      const double sum = std::accumulate(raw.begin(), raw.end(), 0.0);
      long long fixed_sum = 0;
      for (int j = 0; j < table.tap_count; ++j) {
        ASSERT_NEAR(w[j], raw[j] / sum * 65536, 1.0) << "position " << i << " tap " << j;
        fixed_sum += w[j];
      }
      // Truncation loses less than one unit per tap.
      ASSERT_LE(std::llabs(fixed_sum - 65536), table.tap_count);
    }
  }
}

// Every bit of the tables, pinned where they were first made: a change to
// how they are computed must not move one weight, as the wallpaper's bytes
// would move with it. The digest is of x86-64, Linux and Windows alike;
// other processors' long double sines may round differently.
TEST(SLanczosData, TablesKeepEveryBit) {
  uint64_t digest = 14695981039346656037u;
  for (auto [n, m] : kLengths) {
    const SLanczosData table(n, m);
    for (int i = 0; i < m; ++i) {
      for (const int32_t* row : {table.Indices(i), table.Weights(i)}) {
        for (int j = 0; j < table.tap_count; ++j) {
          digest = (digest ^ static_cast<uint32_t>(row[j])) * 1099511628211u;
        }
      }
    }
  }
#if defined(__x86_64__)
  EXPECT_EQ(digest, 3808751940289686189u);
#else
  GTEST_SKIP() << "digest " << digest;
#endif
}

TEST(SLanczosData, EqualLengthsAreNearlyIdentity) {
  const SLanczosData table(9, 9);
  for (int i = 0; i < 9; ++i) {
    for (int j = 0; j < 6; ++j) {
      if (table.Indices(i)[j] == i && j == 2) {
        EXPECT_GE(table.Weights(i)[j], 65535);
      } else {
        EXPECT_EQ(table.Weights(i)[j], 0) << i << "," << j;
      }
    }
  }
}

TEST(SPixelAverationData, ThreeToTwoAveragesAreas) {
  const SPixelAverationData table(3, 2);
  EXPECT_EQ(table.max_taps, 3);
  EXPECT_EQ(table.First(0), 0);
  ASSERT_EQ(table.TapCount(0), 2);
  EXPECT_EQ(table.Weights(0)[0], 43690);
  EXPECT_EQ(table.Weights(0)[1], 21845);
  EXPECT_EQ(table.First(1), 1);
  ASSERT_EQ(table.TapCount(1), 2);
  EXPECT_EQ(table.Weights(1)[0], 21845);
  EXPECT_EQ(table.Weights(1)[1], 43690);
}

TEST(SPixelAverationData, EnlargingInterpolatesLinearly) {
  const SPixelAverationData table(2, 4);
  EXPECT_EQ(table.max_taps, 2);
  const int expected_counts[] = {1, 2, 1, 1};  // the last pixel has no right neighbour
  for (int i = 0; i < 4; ++i) EXPECT_EQ(table.TapCount(i), expected_counts[i]) << i;
  EXPECT_EQ(table.Weights(0)[0], 65536);
  EXPECT_EQ(table.Weights(1)[0], 32768);
  EXPECT_EQ(table.Weights(1)[1], 32768);
  EXPECT_EQ(table.First(2), 1);
  EXPECT_EQ(table.First(3), 1);
  EXPECT_EQ(table.Weights(3)[0], 65536);
}

TEST(SPixelAverationData, TapsStayInsideSourceAndSumToOne) {
  for (auto [n, m] : kLengths) {
    SCOPED_TRACE(testing::Message() << n << " -> " << m);
    const SPixelAverationData table(n, m);
    for (int i = 0; i < m; ++i) {
      const int count = table.TapCount(i);
      ASSERT_GE(count, 1);
      ASSERT_LE(count, table.max_taps);
      ASSERT_GE(table.First(i), 0);
      ASSERT_LE(table.First(i) + count, n);
      long long sum = 0;
      for (int j = 0; j < count; ++j) {
        ASSERT_GE(table.Weights(i)[j], 0);
        sum += table.Weights(i)[j];
      }
      ASSERT_LE(sum, 65536);
      // Each truncation loses less than one unit of a total that rounding
      // can leave a hair under 65536: a row of 6000 -> 3812 is two halves
      // that come to 32767 each.
      ASSERT_GE(sum, 65536 - count);
    }
  }
}

// Spans whose ends land a rounding error past a pixel boundary, as with
// lengths that have no exact binary ratio, must not gain a tap outside.
TEST(SPixelAverationData, InexactRatiosStayInBounds) {
  for (int n = 2; n < 200; n += 7) {
    for (int m = 1; m < n; m += 3) {
      const SPixelAverationData table(n, m);
      const int last = m - 1;
      ASSERT_LE(table.First(last) + table.TapCount(last), n) << n << " -> " << m;
    }
  }
}

}  // namespace
}  // namespace Orvex::Detail

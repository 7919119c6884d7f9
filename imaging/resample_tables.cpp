#include "imaging/resample_tables.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace Orvex::Detail {
namespace {

// The constants are the double values; the arithmetic on them is extended.
constexpr long double kPi = 3.141592653589793;
constexpr long double kOneThird = 0.3333333333333333;
constexpr long double kPiSquaredOverThree = 3.2898681336964524;
constexpr long double kEpsilon = 2.220446049250313e-16;
constexpr long double kOne = 65536.0L;

int32_t ClampIndex(long long index, int32_t length) {
  return static_cast<int32_t>(std::clamp<long long>(index, 0, length - 1));
}

}  // namespace

long double Lanczos3(long double x) {
  const long double magnitude = std::fabs(x);
  if (magnitude < kEpsilon) return 1.0L;
  if (magnitude >= 3.0L) return 0.0L;
  const long double px = kPi * x;
  return std::sin(px) * std::sin(px * kOneThird) / (x * x * kPiSquaredOverThree);
}

SLanczosData::SLanczosData(int32_t source_length, int32_t dest_length)
    : source_length(source_length), length(dest_length) {
  const long long n = source_length;
  const long long m = dest_length;
  const bool enlarging = n < m;
  tap_count = enlarging ? 6 : static_cast<int32_t>((m + 6 * n - 1) / m);
  buffer_.resize(static_cast<size_t>(m) * 2 * tap_count);

  // Lengths with a common factor g bring the same distances back every
  // m / g rows (796 distinct ones among the 38,400 taps of 6000 -> 3840),
  // and the kernel's sines are most of the cost of the table, which the
  // first rows of a change wait for: there each distance is evaluated once.
  // Where they come back seldom (6000 -> 3812 repeats every 953 rows),
  // keeping the values costs more than the sines. Rounding makes more
  // distinct distances than the arithmetic says (2,294 for 3400 -> 2160),
  // so no more than kMostKept are kept. The same distance gives the same
  // value either way.
  const bool repeats = m / std::gcd(n, m) * tap_count <= 1024;
  constexpr size_t kMostKept = 4096;
  std::unordered_map<long double, long double> evaluated;
  const auto kernel_at = [&evaluated, repeats](long double x) {
    if (!repeats) return Lanczos3(x);
    if (const auto found = evaluated.find(x); found != evaluated.end()) return found->second;
    const long double value = Lanczos3(x);
    if (evaluated.size() < kMostKept) evaluated.emplace(x, value);
    return value;
  };
  std::vector<long double> kernel(tap_count);
  for (int32_t i = 0; i < dest_length; ++i) {
    int32_t* indices = buffer_.data() + static_cast<size_t>(i) * 2 * tap_count;
    int32_t* weights = indices + tap_count;
    long long first = 0;
    if (enlarging) {
      // Distances in source pixels: the kernel keeps its width.
      const long double a = (i + 0.5L) * n / m;
      first = static_cast<long long>(std::floor(a - 2.5L));
      for (int32_t j = 0; j < tap_count; ++j) kernel[j] = kernel_at((first + j + 0.5L) - a);
    } else {
      // Distances in destination pixels: the kernel widens with the
      // reduction, so that it also filters what the reduction drops.
      first = static_cast<long long>(std::floor(n * (i - 2.5L) / m + 0.5L));
      for (int32_t j = 0; j < tap_count; ++j) {
        kernel[j] = kernel_at(m * (first + j + 0.5L) / n - (i + 0.5L));
      }
    }
    long double sum = 0;
    for (int32_t j = 0; j < tap_count; ++j) sum += kernel[j];
    const long double scale = 1.0L / sum;
    for (int32_t j = 0; j < tap_count; ++j) {
      indices[j] = ClampIndex(first + j, source_length);
      weights[j] = static_cast<int32_t>(std::trunc(kernel[j] * scale * kOne));
    }
  }
}

SPixelAverationData::SPixelAverationData(int32_t source_length, int32_t dest_length)
    : source_length(source_length), length(dest_length) {
  const long long n = source_length;
  const long long m = dest_length;
  const double r = static_cast<double>(n) / static_cast<double>(m);
  max_taps = m < n ? static_cast<int32_t>((m + n - 1) / m + 1) : 2;
  first_.assign(dest_length, 0);
  count_.assign(dest_length, 0);
  weights_.assign(static_cast<size_t>(dest_length) * max_taps, 0);

  std::vector<double> raw;
  for (int32_t i = 0; i < dest_length; ++i) {
    int32_t* weights = weights_.data() + static_cast<size_t>(i) * max_taps;
    if (m < n) {
      // Area average over the span [i*r, i*r + r).
      const double start = i * r;
      const double end = start + r;
      const long long first = static_cast<long long>(std::floor(start));
      const long long last = static_cast<long long>(std::ceil(end));
      const long long taps = std::max<long long>(last - first, 1);
      raw.assign(taps, 1.0);
      raw.front() = 1.0 - (start - static_cast<double>(first));
      if (taps > 1) raw.back() = end - static_cast<double>(last - 1);
      double sum = 0;
      for (double w : raw) sum += w;
      const double scale = 1.0 / sum;
      int32_t count = static_cast<int32_t>(std::min<long long>(taps, max_taps));
      for (int32_t j = 0; j < count; ++j) {
        weights[j] = static_cast<int32_t>(std::trunc(raw[j] * scale * 65536.0));
      }
      // Rounding can make the span graze one more pixel than it covers.
      if (count > 1 && weights[count - 1] == 0) --count;
      first_[i] = ClampIndex(first, source_length);
      // A span that still reaches past the source is cut at its end, so that
      // no tap reads outside the row.
      count_[i] = std::min(count, source_length - first_[i]);
    } else {
      // Linear interpolation between the two nearest pixels.
      const double p = i * r;
      const long long first = static_cast<long long>(std::floor(p));
      const long long f = static_cast<long long>(std::floor((p - first) * 65536.0 + 0.5));
      first_[i] = ClampIndex(first, source_length);
      if (f != 0 && first + 1 != n) {
        count_[i] = 2;
        weights[0] = static_cast<int32_t>(65536 - f);
        weights[1] = static_cast<int32_t>(f);
      } else {
        count_[i] = 1;
        weights[0] = 65536;
      }
    }
  }
}

}  // namespace Orvex::Detail

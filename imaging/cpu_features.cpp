#include "imaging/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace Orvex {
namespace {

std::atomic<SimdLevel> g_max_level{SimdLevel::kAvx2};

// XCR0 tells whether the OS saves the YMM registers on a context switch;
// without that, AVX instructions fault even on a processor that has them.
unsigned long long ReadXcr0() {
  unsigned int eax = 0;
  unsigned int edx = 0;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<unsigned long long>(edx) << 32) | eax;
}

SimdLevel Detect() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return SimdLevel::kPortable;
  const bool sse2 = (edx >> 26) & 1;
  if (!sse2) return SimdLevel::kPortable;
  const bool ssse3 = (ecx >> 9) & 1;
  const bool osxsave = (ecx >> 27) & 1;
  const bool avx = (ecx >> 28) & 1;
  if (!(ssse3 && osxsave && avx) || (ReadXcr0() & 0x6) != 0x6) return SimdLevel::kSse2;
  if (__get_cpuid_max(0, nullptr) < 7) return SimdLevel::kSse2;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  const bool avx2 = (ebx >> 5) & 1;
  return avx2 ? SimdLevel::kAvx2 : SimdLevel::kSse2;
}

}  // namespace

SimdLevel DetectedSimdLevel() {
  static const SimdLevel level = Detect();
  return level;
}

SimdLevel ActiveSimdLevel() {
  const SimdLevel detected = DetectedSimdLevel();
  const SimdLevel cap = g_max_level.load(std::memory_order_relaxed);
  return static_cast<int>(cap) < static_cast<int>(detected) ? cap : detected;
}

void SetMaxSimdLevel(SimdLevel level) { g_max_level.store(level, std::memory_order_relaxed); }

SimdLevel MaxSimdLevel() { return g_max_level.load(std::memory_order_relaxed); }

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::kPortable:
      return "portable";
    case SimdLevel::kSse2:
      return "sse2";
    case SimdLevel::kAvx2:
      return "avx2";
  }
  return "?";
}

}  // namespace Orvex

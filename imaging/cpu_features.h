#pragma once

namespace Orvex {

// Instruction-set levels the fixed-point kernels come in, weakest first.
// Every level computes exactly the bytes of kPortable.
enum class SimdLevel { kPortable = 0, kSse2 = 1, kAvx2 = 2 };

// The best level this processor and operating system support. Read with
// CPUID once and cached for the life of the process.
SimdLevel DetectedSimdLevel();

// The level the kernels use: the detected one, capped by the switch below.
SimdLevel ActiveSimdLevel();

// Caps the level the kernels use (kAvx2, the default, means "whatever the
// processor has"). Meant for tests and benchmarks that compare the forms;
// process-wide.
void SetMaxSimdLevel(SimdLevel level);
SimdLevel MaxSimdLevel();

const char* SimdLevelName(SimdLevel level);

}  // namespace Orvex

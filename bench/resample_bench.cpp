// Lanczos3 resampling of whole images: the portable form against the best
// SIMD form of this processor, on one thread and on all of them.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "imaging/cpu_features.h"
#include "imaging/resample.h"

namespace {

using Orvex::SimdLevel;
using Orvex::Detail::ResampleFilter;
using Orvex::Detail::ResampleViews;
using Orvex::Detail::SImageView;

struct Buffer {
  Buffer(int32_t w, int32_t h) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 4) {}
  SImageView View() {
    return SImageView{bytes.data(), 4 * static_cast<ptrdiff_t>(width), width, height};
  }
  int32_t width;
  int32_t height;
  std::vector<uint8_t> bytes;
};

// Smooth gradients with some noise: closer to a photograph than pure noise,
// though the kernels' speed does not depend on the pixel values.
Buffer MakeSource(int32_t w, int32_t h) {
  Buffer b(w, h);
  std::mt19937 engine(42);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = b.bytes.data() + static_cast<size_t>(y) * w * 4;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t noise = engine() & 15;
      row[4 * x + 0] = static_cast<uint8_t>((x * 255 / w + noise) & 255);
      row[4 * x + 1] = static_cast<uint8_t>((y * 255 / h + noise) & 255);
      row[4 * x + 2] = static_cast<uint8_t>(((x + y) * 127 / (w + h) + noise) & 255);
      row[4 * x + 3] = 255;
    }
  }
  return b;
}

void BM_Lanczos(benchmark::State& state) {
  const int32_t sw = static_cast<int32_t>(state.range(0));
  const int32_t sh = static_cast<int32_t>(state.range(1));
  const int32_t dw = static_cast<int32_t>(state.range(2));
  const int32_t dh = static_cast<int32_t>(state.range(3));
  const bool simd = state.range(4) != 0;
  const bool threads = state.range(5) != 0;
  const SimdLevel level = simd ? Orvex::DetectedSimdLevel() : SimdLevel::kPortable;
  Buffer src = MakeSource(sw, sh);
  Buffer dst(dw, dh);
  for (auto _ : state) {
    ResampleViews(ResampleFilter::kLanczos, false, src.View(), dst.View(), level, threads);
    benchmark::DoNotOptimize(dst.bytes.data());
  }
  state.SetLabel(std::string(Orvex::SimdLevelName(level)) +
                 (threads ? " all threads" : " 1 thread"));
  state.counters["Mpx_out/s"] = benchmark::Counter(
      static_cast<double>(dw) * dh * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void Arguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"sw", "sh", "dw", "dh", "simd", "threads"});
  for (auto size : {std::vector<int64_t>{6000, 4000, 3840, 2160},
                    std::vector<int64_t>{1920, 1200, 1280, 1024}}) {
    for (int64_t simd : {0, 1}) {
      for (int64_t threads : {0, 1}) {
        b->Args({size[0], size[1], size[2], size[3], simd, threads});
      }
    }
  }
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Lanczos)->Apply(Arguments);

}  // namespace

BENCHMARK_MAIN();

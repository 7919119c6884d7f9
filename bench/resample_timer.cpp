// Times Lanczos3 resampling of pixels already in memory, for bench/peers.
//   resample_timer RAW WIDTH HEIGHT OUT_WIDTH OUT_HEIGHT RUNS [portable|simd] [1|all] [OUT_RAW]
// RAW holds WIDTH x HEIGHT pixels of 4 bytes (B, G, R, A). Prints one line
// per run with its wall time and the process's CPU time (all threads) in
// milliseconds; OUT_RAW gets the last result.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/cpu_features.h"
#include "imaging/resample.h"

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr,
                 "usage: %s RAW WIDTH HEIGHT OUT_WIDTH OUT_HEIGHT RUNS [portable|simd] [1|all] "
                 "[OUT_RAW]\n",
                 argv[0]);
    return 2;
  }
  const int32_t w = std::atoi(argv[2]);
  const int32_t h = std::atoi(argv[3]);
  const int32_t dw = std::atoi(argv[4]);
  const int32_t dh = std::atoi(argv[5]);
  const int runs = std::atoi(argv[6]);
  const bool simd = argc < 8 || std::strcmp(argv[7], "portable") != 0;
  const bool threads = argc < 9 || std::strcmp(argv[8], "1") != 0;
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> src((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (w <= 0 || h <= 0 || dw <= 0 || dh <= 0 || src.size() != static_cast<size_t>(w) * h * 4) {
    std::fprintf(stderr, "%s: expected %dx%d pixels of 4 bytes\n", argv[1], w, h);
    return 2;
  }
  std::vector<uint8_t> dst(static_cast<size_t>(dw) * dh * 4);
  const Orvex::SimdLevel level = simd ? Orvex::DetectedSimdLevel() : Orvex::SimdLevel::kPortable;
  const Orvex::Detail::SImageView src_view{src.data(), 4 * static_cast<ptrdiff_t>(w), w, h};
  const Orvex::Detail::SImageView dst_view{dst.data(), 4 * static_cast<ptrdiff_t>(dw), dw, dh};
  std::fprintf(stderr, "level %s, %s\n", Orvex::SimdLevelName(level),
               threads ? "all threads" : "1 thread");
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    Orvex::Detail::ResampleViews(Orvex::Detail::ResampleFilter::kLanczos, false, src_view, dst_view,
                                 level, threads);
    const double cpu = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf("%.3f %.3f\n", elapsed.count(), cpu);
  }
  if (argc >= 10) {
    std::ofstream out(argv[9], std::ios::binary);
    out.write(reinterpret_cast<const char*>(dst.data()), static_cast<std::streamsize>(dst.size()));
  }
  return 0;
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>

namespace Orvex {

// The process-wide engine, seeded from the system's cryptographic source on
// first use. For the thread that runs the wallpaper changes only.
std::mt19937& GetRandomEngine();

// The system's cryptographic random source, created on first use.
class CCryptRandom {
 public:
  static CCryptRandom& Instance();

  CCryptRandom(const CCryptRandom&) = delete;
  CCryptRandom& operator=(const CCryptRandom&) = delete;
  ~CCryptRandom();

  // False when the source is missing or fails.
  bool Generate(void* buffer, size_t length);
  std::optional<std::uint32_t> GenerateUInt32();

 private:
  CCryptRandom();

  struct Provider;
  Provider* provider_ = nullptr;
};

namespace Detail {

// What the seeding falls back on when the cryptographic source cannot fill
// the engine's whole state. Fields the platform cannot give are 0.
struct SeedMix {
  std::uint32_t cursor_x = 0, cursor_y = 0;
  std::uint32_t process_id = 0;
  std::uint32_t thread_id = 0;
  std::uint32_t tick = 0;                // milliseconds since some fixed moment
  std::optional<std::uint64_t> counter;  // the high-resolution counter, when there is one
  std::uint32_t elapsed = 0;             // ticks spent seeding so far
};

struct SeedSources {
  std::function<bool(void*, size_t)> fill;  // the cryptographic source
  std::function<SeedMix()> mix;
};

// The fallback seed: a cryptographic value if there is one, else a mix of
// the cursor, process and tick, combined with a mix of thread and counter.
std::uint32_t MixSeed(std::optional<std::uint32_t> crypt_value, const SeedMix& mix);

// Loads the engine's whole state from the cryptographic source when it can
// fill it, else seeds it with MixSeed (4357 instead of 0, which would make
// every seeding without entropy the same).
void SeedEngine(std::mt19937& engine, const SeedSources& sources);

// The platform's sources: its cryptographic source and its mix.
SeedSources SystemSeedSources();

}  // namespace Detail
}  // namespace Orvex

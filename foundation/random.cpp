#include "foundation/random.h"

#include <array>
#include <sstream>
#include <string>
#include <vector>

namespace Orvex {
namespace {

// The standard engine offers no way to set its state but reading it from a
// stream; the library may write more than the words (its position), so the
// words of a freshly seeded engine's text are replaced and the rest kept.
// A fresh engine regenerates its state before the next output.
void LoadState(std::mt19937& engine,
               const std::array<std::uint32_t, std::mt19937::state_size>& words) {
  std::mt19937 fresh;
  std::stringstream text;
  text << fresh;
  std::vector<std::string> tokens;
  for (std::string token; text >> token;) tokens.push_back(token);
  std::ostringstream loaded;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i) loaded << ' ';
    if (i < words.size()) {
      loaded << words[i];
    } else {
      loaded << tokens[i];
    }
  }
  std::istringstream in(loaded.str());
  in >> engine;
}

// A state whose bits beyond the first word's top bit are all zero makes the
// engine give zeros for ever.
bool IsUsableState(const std::array<std::uint32_t, std::mt19937::state_size>& words) {
  if (words[0] & 0x7FFFFFFFu) return true;
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i]) return true;
  }
  return false;
}

}  // namespace

std::mt19937& GetRandomEngine() {
  static std::mt19937 engine = [] {
    std::mt19937 seeded;
    Detail::SeedEngine(seeded, Detail::SystemSeedSources());
    return seeded;
  }();
  return engine;
}

std::optional<std::uint32_t> CCryptRandom::GenerateUInt32() {
  try {
    std::uint32_t value = 0;
    if (Generate(&value, sizeof value)) return value;
  } catch (...) {
  }
  return std::nullopt;
}

namespace Detail {

std::uint32_t MixSeed(std::optional<std::uint32_t> crypt_value, const SeedMix& mix) {
  std::uint32_t a;
  if (crypt_value) {
    a = *crypt_value;
  } else {
    const std::uint32_t x = mix.cursor_x, y = mix.cursor_y, p = mix.process_id, t = mix.tick;
    a = x ^ y ^ (y << 20) ^ ((p ^ (t << 5)) << 15) ^ (x << 10) ^ t ^ p;
  }
  const std::uint32_t h = mix.thread_id;
  std::uint32_t b = h ^ (h << 25);
  if (mix.counter) {
    const std::uint32_t l = static_cast<std::uint32_t>(*mix.counter);
    const std::uint32_t u = static_cast<std::uint32_t>(*mix.counter >> 32);
    b = b ^ l ^ u ^ (u << 15) ^ (l << 10);
  }
  return a ^ b ^ mix.elapsed;
}

void SeedEngine(std::mt19937& engine, const SeedSources& sources) {
  engine.seed(std::mt19937::default_seed);
  std::array<std::uint32_t, std::mt19937::state_size> words{};
  if (sources.fill && sources.fill(words.data(), sizeof words) && IsUsableState(words)) {
    LoadState(engine, words);
    return;
  }
  std::optional<std::uint32_t> crypt_value;
  std::uint32_t value = 0;
  if (sources.fill && sources.fill(&value, sizeof value)) crypt_value = value;
  const std::uint32_t seed = MixSeed(crypt_value, sources.mix ? sources.mix() : SeedMix{});
  engine.seed(seed ? seed : 4357u);
}

}  // namespace Detail
}  // namespace Orvex

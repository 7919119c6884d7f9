#include "foundation/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace Orvex {
namespace {

// The state words a default-seeded engine starts from.
std::array<std::uint32_t, 624> DefaultState() {
  std::array<std::uint32_t, 624> words;
  words[0] = 5489u;
  for (std::uint32_t i = 1; i < 624; ++i) {
    words[i] = 1812433253u * (words[i - 1] ^ (words[i - 1] >> 30)) + i;
  }
  return words;
}

Detail::SeedSources NoEntropy() {
  Detail::SeedSources sources;
  sources.fill = [](void*, size_t) { return false; };
  sources.mix = [] { return Detail::SeedMix{}; };
  return sources;
}

TEST(RandomTest, AStateLoadedFromTheSourceDrivesTheStandardSequence) {
  Detail::SeedSources sources = NoEntropy();
  sources.fill = [](void* buffer, size_t length) {
    if (length != 624 * 4) return false;
    std::array<std::uint32_t, 624> words = DefaultState();
    std::memcpy(buffer, words.data(), length);
    return true;
  };
  std::mt19937 engine(1);
  Detail::SeedEngine(engine, sources);
  std::mt19937 reference;
  EXPECT_EQ(engine, reference);
  for (int i = 1; i < 10000; ++i) engine();
  EXPECT_EQ(engine(), 4123659995u);
}

TEST(RandomTest, WithoutEntropyTheSeedIsNeverZero) {
  std::mt19937 engine;
  Detail::SeedEngine(engine, NoEntropy());
  EXPECT_EQ(engine, std::mt19937(4357));

  // A source that can give a word but not a whole state: its word is mixed.
  Detail::SeedSources sources = NoEntropy();
  sources.fill = [](void* buffer, size_t length) {
    if (length != 4) return false;
    const std::uint32_t word = 0x12345678u;
    std::memcpy(buffer, &word, 4);
    return true;
  };
  Detail::SeedEngine(engine, sources);
  EXPECT_EQ(engine, std::mt19937(0x12345678u));
}

TEST(RandomTest, AnAllZeroStateIsNotLoaded) {
  Detail::SeedSources sources = NoEntropy();
  sources.fill = [](void* buffer, size_t length) {
    std::memset(buffer, 0, length);
    return true;
  };
  std::mt19937 engine;
  Detail::SeedEngine(engine, sources);
  EXPECT_EQ(engine, std::mt19937(4357));
}

TEST(RandomTest, TheFallbackSeedChangesWithEachInput) {
  Detail::SeedMix base;
  base.cursor_x = 10;
  base.cursor_y = 20;
  base.process_id = 1234;
  base.thread_id = 99;
  base.tick = 100000;
  base.counter = 0x123456789ull;
  const std::uint32_t seed = Detail::MixSeed(std::nullopt, base);
  for (auto change :
       {&Detail::SeedMix::cursor_x, &Detail::SeedMix::cursor_y, &Detail::SeedMix::process_id,
        &Detail::SeedMix::thread_id, &Detail::SeedMix::tick, &Detail::SeedMix::elapsed}) {
    Detail::SeedMix other = base;
    other.*change += 1;
    EXPECT_NE(Detail::MixSeed(std::nullopt, other), seed);
  }
  Detail::SeedMix other = base;
  other.counter = 0x123456788ull;
  EXPECT_NE(Detail::MixSeed(std::nullopt, other), seed);
  EXPECT_NE(Detail::MixSeed(7u, base), Detail::MixSeed(8u, base));
}

TEST(RandomTest, TheProcessEngineIsSeededFromTheSystem) {
  std::mt19937& engine = GetRandomEngine();
  EXPECT_EQ(&engine, &GetRandomEngine());
  EXPECT_NE(engine, std::mt19937());
  EXPECT_NE(engine, std::mt19937(4357));

  std::array<std::uint32_t, 64> words{};
  ASSERT_TRUE(CCryptRandom::Instance().Generate(words.data(), sizeof words));
  EXPECT_NE(words, (std::array<std::uint32_t, 64>{}));
  EXPECT_TRUE(CCryptRandom::Instance().GenerateUInt32());
}

}  // namespace
}  // namespace Orvex

#include "codecs/gif_structure.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace Orvex {
namespace {

// A 2x1 GIF with a global and a local colour table, a graphic control
// extension and a comment spread over two sub-blocks.
std::vector<uint8_t> SmallGif() {
  return {'G',  'I',  'F',  '8',  '9', 'a', 2,   0, 1, 0,    0x80, 0, 0,  // screen, 2 colours
          0,    0,    0,    255,  255, 255,                               // global table
          0x21, 0xF9, 4,    0,    0,   0,   0,   0,                       // graphic control
          0x21, 0xFE, 2,    'h',  'i', 1,   '!', 0,                       // comment
          0x2C, 0,    0,    0,    0,   2,   0,   1, 0, 0x80,              // image, local table
          255,  0,    0,    0,    0,   255,                               // local table
          2,    2,    0x44, 0x0A, 0,  // code size; clear, 0, 1, end in 3-bit codes
          0x3B};
}

// A GIF of one row of literals, with 2-bit literals whose codes widen as
// the table grows and narrow again at a clear code, as an encoder packs
// them.
std::vector<uint8_t> WideningGif(const std::vector<int>& codes, int pixels) {
  constexpr int kClear = 4, kEnd = 5;
  std::vector<uint8_t> packed;
  int width = 3, next = kEnd + 1, bits = 0;
  bool first = true;
  for (const int code : codes) {
    for (int i = 0; i < width; ++i, ++bits) {
      if (bits % 8 == 0) packed.push_back(0);
      packed.back() |= static_cast<uint8_t>(((code >> i) & 1) << (bits % 8));
    }
    if (code == kClear) {
      width = 3, next = kEnd + 1, first = true;
    } else if (code != kEnd) {
      if (!first && ++next == 1 << width) ++width;
      first = false;
    }
  }
  std::vector<uint8_t> gif = {'G',
                              'I',
                              'F',
                              '8',
                              '7',
                              'a',
                              static_cast<uint8_t>(pixels),
                              0,
                              1,
                              0,
                              0,
                              0,
                              0,
                              0x2C,
                              0,
                              0,
                              0,
                              0,
                              static_cast<uint8_t>(pixels),
                              0,
                              1,
                              0,
                              0x81,
                              0,
                              0,
                              0,
                              255,
                              0,
                              0,
                              0,
                              255,
                              0,
                              0,
                              0,
                              255,
                              2,
                              static_cast<uint8_t>(packed.size())};
  for (const uint8_t byte : packed) gif.push_back(byte);
  gif.push_back(0);
  gif.push_back(0x3B);
  return gif;
}

TEST(GifStructure, CodesWidenWithTheTableAndNarrowAtAClear) {
  // Twelve literals take the codes from 3 to 5 bits; after the clear they
  // are 3 bits again.
  const std::vector<int> codes = {4, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 4, 1, 2, 5};
  std::vector<uint8_t> gif = WideningGif(codes, 14);
  EXPECT_TRUE(IsWholeGif(gif.data(), gif.size()));
  gif = WideningGif(codes, 15);  // one pixel more than the data gives
  EXPECT_FALSE(IsWholeGif(gif.data(), gif.size()));
}

TEST(GifStructure, AGifCutShortOrHarmedIsNotWhole) {
  const std::vector<uint8_t> gif = SmallGif();
  EXPECT_TRUE(IsGif(gif.data(), gif.size()));
  EXPECT_TRUE(IsWholeGif(gif.data(), gif.size()));
  // Cut short anywhere: a file still being copied, a download broken off.
  for (size_t size = 0; size < gif.size(); ++size) {
    EXPECT_FALSE(IsWholeGif(gif.data(), size)) << size;
  }
  std::vector<uint8_t> unknown = gif;
  unknown.back() = 0x42;
  EXPECT_FALSE(IsWholeGif(unknown.data(), unknown.size()));
  // Whole, but its compressed data is not: a code the table has no entry
  // for yet, or the end before the last pixel.
  const size_t data = gif.size() - 4;
  for (const auto& bytes :
       {std::array<uint8_t, 2>{0x3C, 0x00}, std::array<uint8_t, 2>{0x44, 0x01}}) {
    std::vector<uint8_t> harmed = gif;
    harmed[data] = bytes[0];
    harmed[data + 1] = bytes[1];
    EXPECT_FALSE(IsWholeGif(harmed.data(), harmed.size()));
  }
  const std::vector<uint8_t> other = {'G', 'I', 'F', '9', '0', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B};
  EXPECT_FALSE(IsGif(other.data(), other.size()));
  EXPECT_FALSE(IsWholeGif(other.data(), other.size()));
}

}  // namespace
}  // namespace Orvex

#include "codecs/gif_structure.h"

#include <gtest/gtest.h>

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
          2,    2,    0x4C, 0x01, 0,                                      // code size, data
          0x3B};
}

TEST(GifStructure, OnlyAGifWrittenToItsTrailerIsWhole) {
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
  const std::vector<uint8_t> other = {'G', 'I', 'F', '9', '0', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B};
  EXPECT_FALSE(IsGif(other.data(), other.size()));
  EXPECT_FALSE(IsWholeGif(other.data(), other.size()));
}

}  // namespace
}  // namespace Orvex

#include "codecs/gif_structure.h"

#include <array>
#include <cstring>
#include <vector>

namespace Orvex {
namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kScreenBytes = 7;
constexpr size_t kImageDescriptorBytes = 9;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kTrailer = 0x3B;
constexpr int kMostCodeBits = 12;
constexpr int kCodes = 1 << kMostCodeBits;

// The bytes of the colour table that a packed field announces.
size_t ColourTableBytes(uint8_t packed) {
  return (packed & 0x80) ? size_t{3} << ((packed & 0x07) + 1) : 0;
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Whether LZW data with literals of `literal_bits` gives `pixels` pixels
// before it ends, with every code one the table has or is making. Only the
// length of each code's string is kept, not the string.
bool LzwGives(const std::vector<uint8_t>& data, int literal_bits, uint64_t pixels) {
  // Codes of one-bit literals widen at another moment in some decoders;
  // such data is left for the decoder to judge.
  if (literal_bits < 2) return true;
  const int clear = 1 << literal_bits;
  const int end = clear + 1;
  std::array<uint32_t, kCodes> length{};
  for (int code = 0; code < clear; ++code) length[code] = 1;
  int width = literal_bits + 1;
  int next = end + 1;
  int previous = -1;
  uint64_t given = 0;
  const uint64_t bits = uint64_t{data.size()} * 8;
  uint64_t at = 0;
  while (given < pixels && at + width <= bits) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++at) code |= ((data[at / 8] >> (at % 8)) & 1) << i;
    if (code == clear) {
      width = literal_bits + 1;
      next = end + 1;
      previous = -1;
      continue;
    }
    if (code == end) return false;  // ended before the last pixel
    uint32_t gives;
    if (code < clear || code < next) {
      gives = length[code];
    } else if (code == next && previous >= 0) {
      gives = length[previous] + 1;
    } else {
      return false;  // a code the table does not have yet
    }
    if (previous >= 0 && next < kCodes) {
      length[next] = length[previous] + 1;
      if (++next == 1 << width && width < kMostCodeBits) ++width;
    }
    previous = code;
    given += gives;
  }
  return given >= pixels;
}

}  // namespace

bool IsGif(const uint8_t* data, size_t size) {
  return size >= kHeaderBytes && (std::memcmp(data, "GIF87a", kHeaderBytes) == 0 ||
                                  std::memcmp(data, "GIF89a", kHeaderBytes) == 0);
}

bool IsWholeGif(const uint8_t* data, size_t size) {
  if (!IsGif(data, size) || size < kHeaderBytes + kScreenBytes) return false;
  size_t at = kHeaderBytes + kScreenBytes;
  at += ColourTableBytes(data[kHeaderBytes + 4]);
  // Takes a chain of sub-blocks, each a length byte and that many bytes, up
  // to and past the empty one that ends it; their bytes go to `into`.
  const auto sub_blocks = [&](std::vector<uint8_t>* into) {
    while (at < size) {
      const uint8_t length = data[at++];
      if (length == 0) return true;
      if (size - at < length) return false;
      if (into) into->insert(into->end(), data + at, data + at + length);
      at += length;
    }
    return false;
  };
  std::vector<uint8_t> compressed;
  while (at < size) {
    switch (data[at++]) {
      case kTrailer:
        return true;
      case kExtension:
        if (at >= size) return false;
        ++at;  // the extension's label
        if (!sub_blocks(nullptr)) return false;
        break;
      case kImage: {
        if (size - at < kImageDescriptorBytes) return false;
        const uint64_t pixels = uint64_t{Read16(data + at + 4)} * Read16(data + at + 6);
        at += kImageDescriptorBytes;
        at += ColourTableBytes(data[at - 1]);
        if (at >= size) return false;
        const int literal_bits = data[at++];
        if (literal_bits >= kMostCodeBits) return false;
        compressed.clear();
        if (!sub_blocks(&compressed) || !LzwGives(compressed, literal_bits, pixels)) return false;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

}  // namespace Orvex

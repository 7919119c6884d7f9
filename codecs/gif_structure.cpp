#include "codecs/gif_structure.h"

#include <cstring>

namespace Orvex {
namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kScreenBytes = 7;
constexpr size_t kImageDescriptorBytes = 9;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kTrailer = 0x3B;

// The bytes of the colour table that a packed field announces.
size_t ColourTableBytes(uint8_t packed) {
  return (packed & 0x80) ? size_t{3} << ((packed & 0x07) + 1) : 0;
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
  // Skips a chain of sub-blocks, each a length byte and that many bytes,
  // up to and past the empty one that ends it.
  const auto skip_sub_blocks = [&] {
    while (at < size) {
      const uint8_t length = data[at++];
      if (length == 0) return true;
      at += length;
    }
    return false;
  };
  while (at < size) {
    switch (data[at++]) {
      case kTrailer:
        return true;
      case kExtension:
        if (at >= size) return false;
        ++at;  // the extension's label
        if (!skip_sub_blocks()) return false;
        break;
      case kImage:
        if (size - at < kImageDescriptorBytes) return false;
        at += kImageDescriptorBytes;
        at += ColourTableBytes(data[at - 1]);
        if (at >= size) return false;
        ++at;  // the smallest code size of the compressed data
        if (!skip_sub_blocks()) return false;
        break;
      default:
        return false;
    }
  }
  return false;
}

}  // namespace Orvex

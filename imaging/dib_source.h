#pragma once

#include <cstddef>
#include <cstdint>

namespace Orvex::Detail {

// A device-independent bitmap whose header, colour table and bits have been
// checked against the memory that holds them: decoding it reads only inside
// that memory.
struct DibSource {
  int32_t width;
  int32_t height;  // absolute
  bool bottom_up;
  int bit_count;  // 1, 4, 8, 16, 24 or 32
  uint32_t compression;
  // Colour table as 32-bit pixels (B, G, R, 0), padded with black to all
  // 2^bit_count indexes for depths up to 8.
  uint32_t palette[256];
  // Channel masks for 16- and 32-bit pixels (red, green, blue).
  uint32_t masks[3];
  const uint8_t* bits;
  size_t bits_bytes;  // for compressed bitmaps, the data that may be read
  size_t row_bytes;   // uncompressed rows, padded to 4 bytes
};

// Reads a BITMAPINFOHEADER (or a later, longer header) with its colour
// table or channel masks from `header_bytes` bytes at `header`, and the
// pixel data from `bits_bytes` bytes at `bits`. Throws RuntimeException for
// anything that cannot be drawn safely: unsupported depth or compression, a
// colour table or pixel data shorter than the header claims, or a size whose
// arithmetic overflows or that could not be held in memory.
DibSource ReadDibSource(const void* header, size_t header_bytes, const void* bits,
                        size_t bits_bytes);

}  // namespace Orvex::Detail

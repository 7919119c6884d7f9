#pragma once

#include <cstdint>

namespace Orvex::Detail {

// Grey of a colour, the one luminance rule of the imaging code.
inline uint8_t Grey(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint8_t>((77 * r + 151 * g + 28 * b) >> 8);
}

// A 5-bit field widened to 8 bits so that 0 stays 0 and 31 becomes 255.
inline uint32_t Widen5(uint32_t v) { return (v << 3) | (v >> 2); }

// Colour arguments hold red in the low byte (the Windows COLORREF layout).
inline uint32_t ColorRed(uint32_t color) { return color & 0xFF; }
inline uint32_t ColorGreen(uint32_t color) { return (color >> 8) & 0xFF; }
inline uint32_t ColorBlue(uint32_t color) { return (color >> 16) & 0xFF; }

// True for the depths planes can hold.
inline bool IsPlaneDepth(int bits_per_pixel) {
  return bits_per_pixel == 8 || bits_per_pixel == 16 || bits_per_pixel == 24 ||
         bits_per_pixel == 32;
}

// Writes `count` pixels of the colour at `row` in the given depth.
void FillRow(uint8_t* row, int bits_per_pixel, uint32_t color, int32_t count);

// Converts `count` pixels from one depth to another (8 grey, 16 RGB555,
// 24 BGR, 32 BGRA). Equal depths copy the bytes (the rows may overlap);
// conversions that make 32-bit pixels write alpha 0.
void ConvertRow(uint8_t* dst, int dst_bits, const uint8_t* src, int src_bits, int32_t count);

}  // namespace Orvex::Detail

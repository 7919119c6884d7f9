#pragma once

#include <cstdint>

namespace Orvex {

// The 40-byte header of a device-independent bitmap, laid out as in BMP
// files and as the Windows GDI expects it (little-endian, no padding).
struct BitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // positive: rows stored bottom-up; negative: top-down
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

inline constexpr uint32_t kBitmapRgb = 0;
inline constexpr uint32_t kBitmapRle8 = 1;
inline constexpr uint32_t kBitmapRle4 = 2;
inline constexpr uint32_t kBitmapBitFields = 3;

// A header for an uncompressed bitmap of the given size and depth.
inline BitmapInfoHeader MakeBitmapInfoHeader(int32_t width, int32_t height,
                                             uint16_t bits_per_pixel) {
  BitmapInfoHeader header{};
  header.biSize = sizeof(BitmapInfoHeader);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bits_per_pixel;
  header.biCompression = kBitmapRgb;
  return header;
}

}  // namespace Orvex

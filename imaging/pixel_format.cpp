#include "imaging/pixel_format.h"

#include <cstring>

namespace Orvex::Detail {

namespace {

struct Rgb {
  uint32_t r, g, b;
};

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t To555(const Rgb& c) { return ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3); }

Rgb From555(uint32_t v) {
  return Rgb{Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31)};
}

Rgb ReadPixel(const uint8_t* p, int bits) {
  switch (bits) {
    case 8:
      return Rgb{p[0], p[0], p[0]};
    case 16:
      return From555(Load16(p));
    default:  // 24 and 32: B, G, R first
      return Rgb{p[2], p[1], p[0]};
  }
}

void WritePixel(uint8_t* p, int bits, const Rgb& c) {
  switch (bits) {
    case 8:
      p[0] = Grey(c.r, c.g, c.b);
      break;
    case 16:
      Store16(p, To555(c));
      break;
    case 24:
      p[0] = static_cast<uint8_t>(c.b);
      p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.r);
      break;
    default:
      p[0] = static_cast<uint8_t>(c.b);
      p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.r);
      p[3] = 0;
      break;
  }
}

}  // namespace

void FillRow(uint8_t* row, int bits_per_pixel, uint32_t color, int32_t count) {
  const Rgb c{ColorRed(color), ColorGreen(color), ColorBlue(color)};
  const int bytes = bits_per_pixel / 8;
  if (bits_per_pixel == 8) {
    std::memset(row, Grey(c.r, c.g, c.b), static_cast<size_t>(count));
    return;
  }
  uint8_t pixel[4];
  WritePixel(pixel, bits_per_pixel, c);
  for (int32_t x = 0; x < count; ++x) std::memcpy(row + x * bytes, pixel, bytes);
}

void ConvertRow(uint8_t* dst, int dst_bits, const uint8_t* src, int src_bits, int32_t count) {
  if (count <= 0) return;
  if (dst_bits == src_bits) {
    std::memmove(dst, src, size_t(count) * size_t(dst_bits / 8));
    return;
  }
  const int dst_bytes = dst_bits / 8;
  const int src_bytes = src_bits / 8;
  for (int32_t x = 0; x < count; ++x) {
    WritePixel(dst + x * dst_bytes, dst_bits, ReadPixel(src + x * src_bytes, src_bits));
  }
}

}  // namespace Orvex::Detail

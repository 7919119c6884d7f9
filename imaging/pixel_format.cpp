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

template <int kDstBits, int kSrcBits>
void ConvertPixels(uint8_t* dst, const uint8_t* src, int32_t count) {
  for (int32_t x = 0; x < count; ++x, dst += kDstBits / 8, src += kSrcBits / 8) {
    WritePixel(dst, kDstBits, ReadPixel(src, kSrcBits));
  }
}

template <int kDstBits>
void ConvertFrom(uint8_t* dst, const uint8_t* src, int src_bits, int32_t count) {
  switch (src_bits) {
    case 8:
      return ConvertPixels<kDstBits, 8>(dst, src, count);
    case 16:
      return ConvertPixels<kDstBits, 16>(dst, src, count);
    case 24:
      return ConvertPixels<kDstBits, 24>(dst, src, count);
    default:
      return ConvertPixels<kDstBits, 32>(dst, src, count);
  }
}

}  // namespace

void ConvertRow(uint8_t* dst, int dst_bits, const uint8_t* src, int src_bits, int32_t count) {
  if (count <= 0) return;
  if (dst_bits == src_bits) {
    std::memmove(dst, src, size_t(count) * size_t(dst_bits / 8));
    return;
  }
  // One loop per pair of depths, so that the per-pixel work has no branches.
  switch (dst_bits) {
    case 8:
      return ConvertFrom<8>(dst, src, src_bits, count);
    case 16:
      return ConvertFrom<16>(dst, src, src_bits, count);
    case 24:
      return ConvertFrom<24>(dst, src, src_bits, count);
    default:
      return ConvertFrom<32>(dst, src, src_bits, count);
  }
}

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

}  // namespace Orvex::Detail

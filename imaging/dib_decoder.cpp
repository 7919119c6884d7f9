#include "imaging/dib_decoder.h"

#include <bit>
#include <cstring>

#include "imaging/bitmap_info.h"

namespace Orvex::Detail {

namespace {

void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Takes one channel out of a pixel and scales it to 8 bits. Narrow fields
// are widened by repeating their bits, so that a full field gives 255.
class ChannelMask {
 public:
  explicit ChannelMask(uint32_t mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    bits_ = std::bit_width(mask >> shift_);
    mask_ = mask;
  }

  uint32_t Extract(uint32_t pixel) const {
    if (bits_ == 0) return 0;
    uint32_t v = (pixel & mask_) >> shift_;
    if (bits_ >= 8) return v >> (bits_ - 8);
    uint32_t result = 0;
    for (int filled = 0; filled < 8; filled += bits_) result = (result << bits_) | v;
    return (result >> (bits_ * ((8 + bits_ - 1) / bits_) - 8)) & 0xFF;
  }

 private:
  uint32_t mask_ = 0;
  int shift_ = 0;
  int bits_ = 0;
};

// Converts one row with `pixel(row, x)` giving the 32-bit value of column x.
template <typename PixelAt>
void DecodeRows(const DibSource& dib, const PlaneRect& source, uint8_t* dst, ptrdiff_t dst_step,
                PixelAt pixel) {
  for (int32_t y = source.top; y < source.bottom; ++y) {
    const int32_t stored = dib.bottom_up ? dib.height - 1 - y : y;
    const uint8_t* row = dib.bits + dib.row_bytes * size_t(stored);
    uint8_t* out = dst + dst_step * (y - source.top);
    for (int32_t x = source.left; x < source.right; ++x, out += 4) Store32(out, pixel(row, x));
  }
}

void DecodeUncompressed(const DibSource& dib, const PlaneRect& source, uint8_t* dst,
                        ptrdiff_t dst_step) {
  const uint32_t* palette = dib.palette;
  const ChannelMask red(dib.masks[0]), green(dib.masks[1]), blue(dib.masks[2]);
  auto masked = [&](uint32_t v) {
    return blue.Extract(v) | green.Extract(v) << 8 | red.Extract(v) << 16;
  };
  switch (dib.bit_count) {
    case 1:
      return DecodeRows(dib, source, dst, dst_step, [&](const uint8_t* row, int32_t x) {
        return palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
      });
    case 4:
      return DecodeRows(dib, source, dst, dst_step, [&](const uint8_t* row, int32_t x) {
        return palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
      });
    case 8:
      return DecodeRows(dib, source, dst, dst_step,
                        [&](const uint8_t* row, int32_t x) { return palette[row[x]]; });
    case 16:
      return DecodeRows(dib, source, dst, dst_step, [&](const uint8_t* row, int32_t x) {
        const uint8_t* p = row + size_t(x) * 2;
        return masked(uint32_t(p[0]) | uint32_t(p[1]) << 8);
      });
    case 24:
      return DecodeRows(dib, source, dst, dst_step, [](const uint8_t* row, int32_t x) {
        const uint8_t* p = row + size_t(x) * 3;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      });
    default: {
      auto load = [](const uint8_t* row, int32_t x) {
        uint32_t v;
        std::memcpy(&v, row + size_t(x) * 4, sizeof v);
        return v;
      };
      // Plain 32-bit pixels are copied whole, fourth byte included.
      if (dib.compression == kBitmapRgb) return DecodeRows(dib, source, dst, dst_step, load);
      return DecodeRows(dib, source, dst, dst_step,
                        [&](const uint8_t* row, int32_t x) { return masked(load(row, x)); });
    }
  }
}

// Run-length data, 4 or 8 bits per pixel. Lines are counted from the
// bottom, as they are stored. Decoding stops at the end-of-bitmap code, at
// the end of the data or past the last line, whichever comes first.
void DecodeRle(const DibSource& dib, const PlaneRect& source, uint8_t* dst, ptrdiff_t dst_step) {
  const bool four = dib.compression == kBitmapRle4;
  const uint8_t* in = dib.bits;
  const size_t size = dib.bits_bytes;
  size_t pos = 0;
  int64_t x = 0;
  int64_t line = 0;
  auto put = [&](uint32_t index) {
    const int64_t y = int64_t{dib.height} - 1 - line;
    if (x >= source.left && x < source.right && y >= source.top && y < source.bottom) {
      Store32(dst + dst_step * (y - source.top) + (x - source.left) * 4, dib.palette[index]);
    }
    ++x;
  };
  while (pos + 2 <= size && line < dib.height) {
    const uint8_t count = in[pos];
    const uint8_t value = in[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        put(four ? (i & 1 ? value & 15 : value >> 4) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++line;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // move right and up
        if (pos + 2 > size) return;
        x += in[pos];
        line += in[pos + 1];
        pos += 2;
        break;
      default: {  // `value` literal pixels, padded to a 16-bit boundary
        const size_t bytes = four ? (size_t(value) + 1) / 2 : value;
        const size_t padded = (bytes + 1) & ~size_t{1};
        const size_t available = size - pos < bytes ? size - pos : bytes;
        for (int i = 0; i < value; ++i) {
          const size_t at = four ? size_t(i) / 2 : size_t(i);
          if (at >= available) return;
          const uint8_t b = in[pos + at];
          put(four ? (i & 1 ? b & 15 : b >> 4) : b);
        }
        pos += padded;
        break;
      }
    }
  }
}

}  // namespace

void DecodeDib(const DibSource& dib, const PlaneRect& source, uint8_t* dst, ptrdiff_t dst_step) {
  if (source.IsEmpty()) return;
  if (dib.compression == kBitmapRle4 || dib.compression == kBitmapRle8) {
    DecodeRle(dib, source, dst, dst_step);
  } else {
    DecodeUncompressed(dib, source, dst, dst_step);
  }
}

}  // namespace Orvex::Detail

#include "app/linux/x11_pixel_format.h"

#include <bit>
#include <cstring>

#include "foundation/exceptions.h"
#include "foundation/shared_string.h"

namespace {

bool IsOneRun(uint32_t mask) {
  if (mask == 0) return false;
  const uint32_t low = mask >> std::countr_zero(mask);
  return (low & (low + 1)) == 0;
}

[[noreturn]] void Unsupported(int depth, int bits_per_pixel) {
  throw Orvex::RuntimeException(Orvex::SharedString::Format(
      u"画面の色形式 (深さ %d, %d ビット/ピクセル) には対応していません", depth, bits_per_pixel));
}

}  // namespace

X11PixelFormat::X11PixelFormat(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask,
                               int depth, int bits_per_pixel, bool msb_first)
    : msb_first_(msb_first) {
  if (bits_per_pixel != 16 && bits_per_pixel != 24 && bits_per_pixel != 32) {
    Unsupported(depth, bits_per_pixel);
  }
  if (depth <= 0 || depth > bits_per_pixel) Unsupported(depth, bits_per_pixel);
  const uint32_t depth_bits = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
  const uint32_t all = red_mask | green_mask | blue_mask;
  if (!IsOneRun(red_mask) || !IsOneRun(green_mask) || !IsOneRun(blue_mask) ||
      (red_mask & green_mask) != 0 || (red_mask & blue_mask) != 0 ||
      (green_mask & blue_mask) != 0 || (all & ~depth_bits) != 0) {
    Unsupported(depth, bits_per_pixel);
  }
  bytes_per_pixel_ = bits_per_pixel / 8;
  red_ = MakeTable(red_mask);
  green_ = MakeTable(green_mask);
  blue_ = MakeTable(blue_mask);
  extra_ = depth_bits & ~all;
  same_layout_ = bytes_per_pixel_ == 4 && !msb_first && red_mask == 0xFF0000 &&
                 green_mask == 0xFF00 && blue_mask == 0xFF;
}

X11PixelFormat::Table X11PixelFormat::MakeTable(uint32_t mask) {
  const int shift = std::countr_zero(mask);
  const uint64_t max = mask >> shift;
  Table table{};
  for (uint32_t v = 0; v < 256; ++v) {
    // Scaled with rounding, so that 0 and 255 stay the ends of the range
    // whatever the channel's width.
    const uint64_t scaled = (v * max + 127) / 255;
    table[v] = static_cast<uint32_t>(scaled << shift);
  }
  return table;
}

void X11PixelFormat::ConvertRow(const uint8_t* source, int32_t width, uint8_t* out) const {
  if (same_layout_) {
    // The usual screen: the plane's own pixels with alpha replaced, a
    // loop the compiler vectorises.
    for (int32_t x = 0; x < width; ++x) {
      uint32_t value;
      std::memcpy(&value, source + 4 * static_cast<size_t>(x), 4);
      value = (value & 0xFFFFFFu) | extra_;
      std::memcpy(out + 4 * static_cast<size_t>(x), &value, 4);
    }
    return;
  }
  for (int32_t x = 0; x < width; ++x, source += 4, out += bytes_per_pixel_) {
    const uint32_t value = red_[source[2]] | green_[source[1]] | blue_[source[0]] | extra_;
    for (int i = 0; i < bytes_per_pixel_; ++i) {
      const int byte = msb_first_ ? bytes_per_pixel_ - 1 - i : i;
      out[i] = static_cast<uint8_t>(value >> (8 * byte));
    }
  }
}

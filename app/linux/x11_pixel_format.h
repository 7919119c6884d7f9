#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// How a TrueColor visual wants its pixels in a Z-format image: where each
// colour channel goes inside the pixel value, how many bytes a pixel takes
// and in which byte order they are stored. Turns rows of a 32-bit plane
// (bytes B, G, R, A) into rows the server takes as they are.
class X11PixelFormat {
 public:
  // depth: significant bits of a pixel; bits_per_pixel: 16, 24 or 32;
  // msb_first: the image byte order is most significant byte first.
  // Throws Orvex::RuntimeException for masks or sizes it cannot fill: a
  // channel mask that is empty, not one run of bits, overlapping another or
  // outside the depth.
  X11PixelFormat(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, int depth,
                 int bits_per_pixel, bool msb_first);

  int BytesPerPixel() const { return bytes_per_pixel_; }
  // Whether a 32-bit plane's rows are already such pixels: the server can
  // take them as they are, whatever their alpha bytes hold.
  bool TakesPlaneRows() const { return same_layout_ && extra_ == 0; }

  // The pixel value for a plane pixel (blue in the low byte). Bits of the
  // depth that belong to no colour channel (alpha of a 32-bit visual) are
  // set, so that such a pixel is opaque.
  uint32_t Pack(uint32_t bgra) const {
    return red_[(bgra >> 16) & 0xFF] | green_[(bgra >> 8) & 0xFF] | blue_[bgra & 0xFF] | extra_;
  }

  // Converts width pixels from source (4 bytes each) into out
  // (BytesPerPixel() bytes each).
  void ConvertRow(const uint8_t* source, int32_t width, uint8_t* out) const;

 private:
  using Table = std::array<uint32_t, 256>;
  static Table MakeTable(uint32_t mask);

  Table red_{};
  Table green_{};
  Table blue_{};
  uint32_t extra_ = 0;
  int bytes_per_pixel_ = 4;
  bool msb_first_ = false;
  // 32-bit little-endian pixels with the channels where the plane has them.
  bool same_layout_ = false;
};

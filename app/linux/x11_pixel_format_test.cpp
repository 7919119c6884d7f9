#include "app/linux/x11_pixel_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "foundation/exceptions.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One plane pixel: blue, green, red, alpha.
Bytes Convert(const X11PixelFormat& format, const Bytes& bgra) {
  Bytes out(bgra.size() / 4 * format.BytesPerPixel(), 0xEE);
  format.ConvertRow(bgra.data(), static_cast<int32_t>(bgra.size() / 4), out.data());
  return out;
}

TEST(X11PixelFormatTest, TrueColorOfDepth24InEitherByteOrder) {
  const Bytes pixel = {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD};
  // Alpha is not part of a depth-24 pixel; the padding byte stays zero.
  EXPECT_EQ(Convert(X11PixelFormat(0xFF0000, 0xFF00, 0xFF, 24, 32, false), pixel),
            (Bytes{0x11, 0x22, 0x33, 0x00, 0xAA, 0xBB, 0xCC, 0x00}));
  EXPECT_EQ(Convert(X11PixelFormat(0xFF0000, 0xFF00, 0xFF, 24, 32, true), pixel),
            (Bytes{0x00, 0x33, 0x22, 0x11, 0x00, 0xCC, 0xBB, 0xAA}));
  // Red in the low bits (BGR visuals).
  EXPECT_EQ(Convert(X11PixelFormat(0xFF, 0xFF00, 0xFF0000, 24, 32, false), pixel),
            (Bytes{0x33, 0x22, 0x11, 0x00, 0xCC, 0xBB, 0xAA, 0x00}));
  // Three bytes a pixel, no padding between pixels.
  EXPECT_EQ(Convert(X11PixelFormat(0xFF0000, 0xFF00, 0xFF, 24, 24, false), pixel),
            (Bytes{0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(Convert(X11PixelFormat(0xFF0000, 0xFF00, 0xFF, 24, 24, true), pixel),
            (Bytes{0x33, 0x22, 0x11, 0xCC, 0xBB, 0xAA}));
}

TEST(X11PixelFormatTest, NarrowAndWideChannelsKeepBlackWhiteAndTheMiddle) {
  const X11PixelFormat rgb565(0xF800, 0x07E0, 0x001F, 16, 16, false);
  EXPECT_EQ(rgb565.BytesPerPixel(), 2);
  EXPECT_EQ(rgb565.Pack(0x00FFFFFF), 0xFFFFu);
  EXPECT_EQ(rgb565.Pack(0x00FF0000), 0xF800u);
  EXPECT_EQ(rgb565.Pack(0x000000FF), 0x001Fu);
  EXPECT_EQ(rgb565.Pack(0xFF000000), 0x0000u);
  // 128 of 255 is 16 of 31 and 32 of 63.
  EXPECT_EQ(rgb565.Pack(0x00808080), (16u << 11) | (32u << 5) | 16u);
  EXPECT_EQ(Convert(X11PixelFormat(0xF800, 0x07E0, 0x001F, 16, 16, true), {0, 0, 0xFF, 0}),
            (Bytes{0xF8, 0x00}));

  const X11PixelFormat deep(0x3FF00000, 0x000FFC00, 0x000003FF, 30, 32, false);
  EXPECT_EQ(deep.Pack(0x00FFFFFF), 0x3FFFFFFFu);
  EXPECT_EQ(deep.Pack(0x00FF0000), 0x3FF00000u);
  EXPECT_EQ(deep.Pack(0x00000000), 0u);
}

TEST(X11PixelFormatTest, BitsOutsideTheColoursAreOpaqueAlpha) {
  const X11PixelFormat argb(0xFF0000, 0xFF00, 0xFF, 32, 32, false);
  // The plane's own alpha does not matter: a wallpaper is opaque.
  EXPECT_EQ(argb.Pack(0x00123456), 0xFF123456u);
  EXPECT_EQ(argb.Pack(0x80123456), 0xFF123456u);
  EXPECT_EQ(Convert(argb, {0x56, 0x34, 0x12, 0x80, 0x01, 0x02, 0x03, 0x00}),
            (Bytes{0x56, 0x34, 0x12, 0xFF, 0x01, 0x02, 0x03, 0xFF}));
}

TEST(X11PixelFormatTest, RefusesLayoutsItCannotFill) {
  const auto refuses = [](uint32_t r, uint32_t g, uint32_t b, int depth, int bpp) {
    try {
      X11PixelFormat(r, g, b, depth, bpp, false);
    } catch (const Orvex::RuntimeException& e) {
      EXPECT_NE(std::string(e.what()).find("には対応していません"), std::string::npos);
      return true;
    }
    return false;
  };
  EXPECT_TRUE(refuses(0xE0, 0x1C, 0x03, 8, 8));            // 8 bits a pixel
  EXPECT_TRUE(refuses(0xFF0000, 0xFF00, 0xFF, 24, 0));     // no pixmap format
  EXPECT_TRUE(refuses(0xFF0000, 0xFF00, 0xFF, 24, 48));    // too wide
  EXPECT_TRUE(refuses(0xF0F000, 0x0F00, 0xFF, 24, 32));    // red in two pieces
  EXPECT_TRUE(refuses(0xFF0000, 0xFFFF00, 0xFF, 24, 32));  // red and green overlap
  EXPECT_TRUE(refuses(0, 0xFF00, 0xFF, 24, 32));           // no red at all
  EXPECT_TRUE(refuses(0xFF000000, 0xFF00, 0xFF, 24, 32));  // red beyond the depth
  EXPECT_TRUE(refuses(0xFF0000, 0xFF00, 0xFF, 33, 32));    // depth beyond the pixel
  EXPECT_FALSE(refuses(0xFF0000, 0xFF00, 0xFF, 24, 32));
}

}  // namespace

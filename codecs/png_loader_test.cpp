#include "codecs/png_loader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "codecs/test_images.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;

class PngLoaderTest : public testing::Test {
 protected:
  // Decodes the image; the plane gets its size. Empty optional: refused.
  bool Decode(const Testing::PngImage& image, CMemoryPlane32& plane, bool* has_alpha = nullptr) {
    return DecodeBytes(Testing::EncodePng(image), plane, has_alpha);
  }
  bool DecodeBytes(const Bytes& bytes, CMemoryPlane32& plane, bool* has_alpha = nullptr) {
    CPngLoader loader;
    if (!loader.Open(folder_.Load("image.png", bytes))) return false;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
    if (has_alpha) *has_alpha = loader.HasAlpha();
    return true;
  }

  Testing::TempFolder folder_;
};

Testing::PngImage Rgb(int width, int height) {
  Testing::PngImage image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y) {
    Bytes row;
    for (int x = 0; x < width; ++x) {
      row.insert(row.end(), {uint8_t(x * 37 + y), uint8_t(y * 53 + x * 3), uint8_t(x ^ y * 7)});
    }
    image.rows.push_back(row);
  }
  return image;
}

TEST_F(PngLoaderTest, PaletteTransparencyGoesToTheFourthByteWithoutHasAlpha) {
  Testing::PngImage image;
  image.width = 3;
  image.height = 1;
  image.color_type = 3;
  image.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  image.trns = {0x00, 0x80};  // the third entry stays opaque
  image.rows = {Bytes{0, 1, 2}};
  CMemoryPlane32 plane;
  bool has_alpha = true;
  ASSERT_TRUE(Decode(image, plane, &has_alpha));
  EXPECT_FALSE(has_alpha);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x000A141Eu);
  EXPECT_EQ(PixelAt(plane, 1, 0), 0x8028323Cu);
  EXPECT_EQ(PixelAt(plane, 2, 0), 0xFF46505Au);
}

TEST_F(PngLoaderTest, SixteenBitRgbaKeepsTheHighBytes) {
  Testing::PngImage image;
  image.width = 2;
  image.height = 1;
  image.color_type = 6;
  image.bit_depth = 16;
  image.rows = {Bytes{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0x78, 0x01,  //
                      0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0xFF}};
  CMemoryPlane32 plane;
  bool has_alpha = false;
  ASSERT_TRUE(Decode(image, plane, &has_alpha));
  EXPECT_TRUE(has_alpha);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x78123456u);
  EXPECT_EQ(PixelAt(plane, 1, 0), 0x00FF0001u);
}

TEST_F(PngLoaderTest, GreyDepthsBecomeOpaqueGrey) {
  Testing::PngImage one_bit;
  one_bit.width = 10;
  one_bit.height = 1;
  one_bit.color_type = 0;
  one_bit.bit_depth = 1;
  one_bit.rows = {Bytes{0b10110000, 0b01000000}};
  CMemoryPlane32 plane;
  ASSERT_TRUE(Decode(one_bit, plane));
  const uint32_t expected[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(PixelAt(plane, x, 0), expected[x] ? 0xFFFFFFFFu : 0xFF000000u) << x;
  }

  Testing::PngImage grey_alpha;
  grey_alpha.width = 1;
  grey_alpha.height = 1;
  grey_alpha.color_type = 4;
  grey_alpha.rows = {Bytes{0x42, 0x07}};
  bool has_alpha = false;
  ASSERT_TRUE(Decode(grey_alpha, plane, &has_alpha));
  EXPECT_TRUE(has_alpha);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x07424242u);
}

TEST_F(PngLoaderTest, InterlacedEqualsItsTwin) {
  Testing::PngImage plain = Rgb(13, 11);
  Testing::PngImage interlaced = plain;
  interlaced.interlaced = true;
  CMemoryPlane32 a, b;
  ASSERT_TRUE(Decode(plain, a));
  ASSERT_TRUE(Decode(interlaced, b));
  ASSERT_EQ(b.GetSize(), (PlaneSize{13, 11}));
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 13; ++x) ASSERT_EQ(PixelAt(a, x, y), PixelAt(b, x, y)) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(a, 4, 3), 0xFF000000u | uint32_t(4 * 37 + 3) << 16 |
                                  uint32_t(3 * 53 + 12) << 8 | uint32_t(4 ^ 21));
}

TEST_F(PngLoaderTest, GammaIsCorrectedForADisplayOf22) {
  Testing::PngImage image;
  image.width = 3;
  image.height = 1;
  image.color_type = 0;
  image.rows = {Bytes{0, 128, 255}};
  CMemoryPlane32 plane;
  image.gamma = 1 / 2.2;
  ASSERT_TRUE(Decode(image, plane));
  EXPECT_EQ(PixelAt(plane, 1, 0), 0xFF808080u);
  image.gamma = 1.0;
  ASSERT_TRUE(Decode(image, plane));
  const int brightened = int(std::lround(255 * std::pow(128 / 255.0, 1 / 2.2)));
  EXPECT_NEAR(int(PixelAt(plane, 1, 0) & 0xFF), brightened, 1);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(plane, 2, 0), 0xFFFFFFFFu);
}

TEST_F(PngLoaderTest, RefusesShortForeignAndDamagedFiles) {
  const Bytes good = Testing::EncodePng(Rgb(40, 30));
  CMemoryPlane32 plane;
  ASSERT_TRUE(DecodeBytes(good, plane));
  EXPECT_FALSE(DecodeBytes(Bytes(good.begin(), good.begin() + 7), plane));
  Bytes wrong = good;
  wrong[1] = 'p';
  EXPECT_FALSE(DecodeBytes(wrong, plane));
  // Cut inside the image data.
  EXPECT_FALSE(DecodeBytes(Bytes(good.begin(), good.end() - 40), plane));
  // A flipped bit in the compressed data breaks the chunk's CRC.
  Bytes flipped = good;
  flipped[good.size() - 30] ^= 0x10;
  EXPECT_FALSE(DecodeBytes(flipped, plane));
  CPngLoader unopened;
  EXPECT_THROW(unopened.Load(plane, 0, 0), ImageLoadException);
}

// The damage of PngSuite's corrupt files (x*.png), applied to a good file:
// each must be refused.
TEST_F(PngLoaderTest, RefusesTheCorruptionsOfPngSuite) {
  const Bytes good = Testing::EncodePng(Rgb(32, 32));
  CMemoryPlane32 plane;
  ASSERT_TRUE(DecodeBytes(good, plane));
  constexpr size_t kIhdrData = 16;  // after the signature, length and type
  // Changes IHDR bytes and repairs its CRC, so that the field itself is
  // what libpng has to reject.
  auto with_ihdr = [&](size_t offset, uint8_t value) {
    Bytes bad = good;
    bad[kIhdrData + offset] = value;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bad.data() + kIhdrData - 4, 4 + 13));
    for (int i = 0; i < 4; ++i) bad[kIhdrData + 13 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return bad;
  };
  auto with_byte = [&](size_t offset, uint8_t value) {
    Bytes bad = good;
    bad[offset] = value;
    return bad;
  };
  // Line-end conversions of a file transferred as text.
  auto replaced = [&](Bytes from, Bytes to) {
    Bytes bad;
    for (size_t i = 0; i < good.size(); ++i) {
      if (i + from.size() <= good.size() &&
          std::equal(from.begin(), from.end(), good.begin() + i)) {
        bad.insert(bad.end(), to.begin(), to.end());
        i += from.size() - 1;
      } else {
        bad.push_back(good[i]);
      }
    }
    return bad;
  };
  Bytes no_idat = good;
  for (size_t i = 8; i + 8 < no_idat.size();) {
    const uint32_t length =
        uint32_t(no_idat[i]) << 24 | no_idat[i + 1] << 16 | no_idat[i + 2] << 8 | no_idat[i + 3];
    if (std::equal(no_idat.begin() + i + 4, no_idat.begin() + i + 8, "IDAT")) {
      no_idat.erase(no_idat.begin() + i, no_idat.begin() + i + 12 + length);
    } else {
      i += 12 + length;
    }
  }
  const struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"xs1: signature byte 1 high bit cleared", with_byte(0, 0x09)},
      {"xs2: signature byte 2 is Q", with_byte(1, 'Q')},
      {"xs4: signature byte 4 lower case", with_byte(3, 'g')},
      {"xs7: signature byte 7 a space", with_byte(6, ' ')},
      {"xcr: CR added before LF", replaced({'\n'}, {'\r', '\n'})},
      {"xlf: LF added after CR", replaced({'\r', '\n'}, {'\r', '\n', '\n'})},
      {"xhd: IHDR checksum wrong", with_byte(kIhdrData + 13, good[kIhdrData + 13] ^ 1)},
      {"xc1: colour type 1", with_ihdr(9, 1)},
      {"xc9: colour type 9", with_ihdr(9, 9)},
      {"xd0: bit depth 0", with_ihdr(8, 0)},
      {"xd3: bit depth 3", with_ihdr(8, 3)},
      {"xd9: bit depth 99", with_ihdr(8, 99)},
      {"xdt: no IDAT chunk", no_idat},
      {"xcs: IDAT checksum wrong", with_byte(good.size() - 12 - 1, good[good.size() - 13] ^ 0x40)},
  };
  for (const auto& c : cases) EXPECT_FALSE(DecodeBytes(c.file, plane)) << c.what;
}

}  // namespace
}  // namespace Orvex

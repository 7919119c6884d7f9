// Bitmaps drawn into planes. The same cases run on every target: on Windows
// the DIB plane lets the system draw what is not converted directly, so
// equal expectations here mean equal pictures on both systems.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "imaging/bitmap_info.h"
#include "imaging/pixel_test_util.h"
#include "imaging/plane.h"
#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex {
namespace {

constexpr uint32_t kBackground = 0x00777777;  // what the plane holds before drawing
constexpr PlaneRect kEverything{0, 0, 0x3FFFFFFF, 0x3FFFFFFF};

struct Dib {
  std::vector<uint8_t> header;  // info header, then masks or colour table
  std::vector<uint8_t> bits;
};

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// `table` is the colour table (0x00RRGGBB entries) or the three masks.
Dib MakeDib(int32_t width, int32_t height, int bits, uint32_t compression,
            const std::vector<uint32_t>& table, std::vector<uint8_t> data,
            uint32_t colors_used = 0) {
  BitmapInfoHeader info = MakeBitmapInfoHeader(width, height, static_cast<uint16_t>(bits));
  info.biCompression = compression;
  info.biClrUsed = colors_used;
  Dib dib;
  dib.header.resize(sizeof info);
  std::memcpy(dib.header.data(), &info, sizeof info);
  for (uint32_t entry : table) Append32(dib.header, entry);
  dib.bits = std::move(data);
  return dib;
}

BitmapInfoHeader& Info(Dib& dib) { return *reinterpret_cast<BitmapInfoHeader*>(dib.header.data()); }

enum class Storage { kDib, kHeap };

std::string StorageName(const ::testing::TestParamInfo<Storage>& info) {
  return info.param == Storage::kDib ? "Dib" : "Heap";
}

class DrawDibTest : public ::testing::TestWithParam<Storage> {
 protected:
  void MakePlane(int32_t width, int32_t height) {
    if (GetParam() == Storage::kDib) {
      plane_ = std::make_unique<CDib32>();
    } else {
      plane_ = std::make_unique<CMemoryPlane32>();
    }
    plane_->SetSize(PlaneSize{width, height});
    plane_->FillAll(0x777777);
  }

  void Draw(const Dib& dib, int32_t dx = 0, int32_t dy = 0, PlaneRect source = kEverything,
            PlaneClip clip = {}) {
    plane_->DrawDib(dib.header.data(), dib.header.size(), dib.bits.data(), dib.bits.size(), dx, dy,
                    source, clip);
  }

  uint32_t At(int32_t x, int32_t y) const { return Testing::At(*plane_, x, y); }

  std::vector<uint32_t> Row(int32_t y) const {
    std::vector<uint32_t> row;
    for (int32_t x = 0; x < plane_->GetWidth(); ++x) row.push_back(At(x, y));
    return row;
  }

  std::unique_ptr<CPlane32> plane_;
};

using Pixels = std::vector<uint32_t>;

TEST_P(DrawDibTest, TwentyFourBitRowsBottomUpAndTopDown) {
  // Two rows of three pixels, each row padded from 9 to 12 bytes.
  const std::vector<uint8_t> first_row{0x03, 0x02, 0x01, 0x06, 0x05, 0x04,
                                       0x09, 0x08, 0x07, 0xEE, 0xEE, 0xEE};
  const std::vector<uint8_t> second_row{0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D,
                                        0x12, 0x11, 0x10, 0xEE, 0xEE, 0xEE};
  std::vector<uint8_t> data = first_row;
  data.insert(data.end(), second_row.begin(), second_row.end());

  MakePlane(3, 2);
  Draw(MakeDib(3, 2, 24, kBitmapRgb, {}, data));  // the first stored row is the bottom one
  EXPECT_EQ(Row(0), (Pixels{0x0A0B0C, 0x0D0E0F, 0x101112}));
  EXPECT_EQ(Row(1), (Pixels{0x010203, 0x040506, 0x070809}));

  MakePlane(3, 2);
  Draw(MakeDib(3, -2, 24, kBitmapRgb, {}, data));
  EXPECT_EQ(Row(0), (Pixels{0x010203, 0x040506, 0x070809}));
  EXPECT_EQ(Row(1), (Pixels{0x0A0B0C, 0x0D0E0F, 0x101112}));
}

TEST_P(DrawDibTest, ThirtyTwoBitPixelsKeepTheirFourthByte) {
  std::vector<uint8_t> data;
  for (uint32_t v : {0x80112233u, 0xFF445566u, 0x00778899u, 0x01AABBCCu}) Append32(data, v);
  MakePlane(2, 2);
  Draw(MakeDib(2, 2, 32, kBitmapRgb, {}, data));
  EXPECT_EQ(Row(0), (Pixels{0x00778899, 0x01AABBCC}));
  EXPECT_EQ(Row(1), (Pixels{0x80112233, 0xFF445566}));

  MakePlane(2, 2);
  Draw(MakeDib(2, -2, 32, kBitmapRgb, {}, data));
  EXPECT_EQ(Row(0), (Pixels{0x80112233, 0xFF445566}));
  EXPECT_EQ(Row(1), (Pixels{0x00778899, 0x01AABBCC}));
}

TEST_P(DrawDibTest, PaletteDepths) {
  const std::vector<uint32_t> palette{0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
  MakePlane(10, 2);
  // 1 bit: rows of 10 pixels in 4 bytes, the high bit first.
  Draw(MakeDib(10, 2, 1, kBitmapRgb, {0x102030, 0xF0E0D0},
               {0b10110000, 0b01000000, 0xFF, 0xFF, 0b01000000, 0b00000000, 0, 0}));
  const uint32_t o = 0x102030, i = 0xF0E0D0;
  EXPECT_EQ(Row(0), (Pixels{o, i, o, o, o, o, o, o, o, o}));
  EXPECT_EQ(Row(1), (Pixels{i, o, i, i, o, o, o, o, o, i}));

  // 4 bits: the high nibble first; a short table, and an index past it.
  MakePlane(3, 2);
  Draw(MakeDib(3, -2, 4, kBitmapRgb, palette, {0x12, 0x30, 0, 0, 0x4F, 0x00, 0, 0}, 5));
  EXPECT_EQ(Row(0), (Pixels{0xFF0000, 0x00FF00, 0x0000FF}));
  EXPECT_EQ(Row(1), (Pixels{0x123456, 0x000000, 0x000000}));

  // 8 bits, both row orders; the table's fourth byte is not copied.
  std::vector<uint32_t> with_reserved = palette;
  with_reserved[1] |= 0xAB000000;
  for (int32_t height : {2, -2}) {
    MakePlane(3, 2);
    Draw(MakeDib(3, height, 8, kBitmapRgb, with_reserved, {1, 2, 3, 0, 4, 200, 0, 0}, 5));
    const Pixels stored_first{0xFF0000, 0x00FF00, 0x0000FF};
    const Pixels stored_second{0x123456, 0x000000, 0x000000};
    EXPECT_EQ(Row(height > 0 ? 1 : 0), stored_first) << height;
    EXPECT_EQ(Row(height > 0 ? 0 : 1), stored_second) << height;
  }
}

TEST_P(DrawDibTest, SixteenBitPixelsDefaultAndMasked) {
  std::vector<uint8_t> data;
  auto add16 = [&](uint16_t v) {
    data.push_back(static_cast<uint8_t>(v));
    data.push_back(static_cast<uint8_t>(v >> 8));
  };
  for (uint16_t v : {0x7FFF, 0x7C00, 0x03E0, 0x001F, (1 << 10) | (2 << 5) | 3, 0x8000}) add16(v);
  MakePlane(6, 1);
  Draw(MakeDib(6, 1, 16, kBitmapRgb, {}, data));
  EXPECT_EQ(Row(0), (Pixels{0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x081018, 0}));

  // RGB565 through masks, top-down.
  data.clear();
  for (uint16_t v : {0xFFFF, 0x07E0, (1 << 11) | (1 << 5) | 1, 0xF800}) add16(v);
  MakePlane(4, 1);
  Draw(MakeDib(4, -1, 16, kBitmapBitFields, {0xF800, 0x07E0, 0x001F}, data));
  EXPECT_EQ(Row(0), (Pixels{0xFFFFFF, 0x00FF00, 0x080408, 0xFF0000}));
}

TEST_P(DrawDibTest, ThirtyTwoBitPixelsThroughMasks) {
  std::vector<uint8_t> data;
  // 10 bits per channel: red 1023, green 512, blue 4.
  Append32(data, (1023u << 20) | (512u << 10) | 4u);
  MakePlane(1, 1);
  Draw(MakeDib(1, 1, 32, kBitmapBitFields, {0x3FF00000, 0x000FFC00, 0x000003FF}, data));
  EXPECT_EQ(At(0, 0), 0xFF8001u);
}

TEST_P(DrawDibTest, RunLengthEightBits) {
  const std::vector<uint32_t> palette{0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  const uint32_t c1 = 0x0000FF, c2 = 0x00FF00, c3 = 0xFF0000, bg = kBackground;
  const std::vector<uint8_t> data{0, 3, 1, 2, 3, 0,  // bottom line: three literal pixels, padded
                                  0, 0,              // end of line
                                  2, 1, 0, 0,        // a run of two, end of line
                                  1, 2,              // one pixel, then move 2 right and 1 up
                                  0, 2, 2, 1,        //
                                  1, 3,              // one pixel on the top line
                                  0, 1,              // end of bitmap; what follows is ignored
                                  5, 1};
  MakePlane(5, 4);
  Draw(MakeDib(5, 4, 8, kBitmapRle8, palette, data, 4));
  EXPECT_EQ(Row(3), (Pixels{c1, c2, c3, bg, bg}));
  EXPECT_EQ(Row(2), (Pixels{c1, c1, bg, bg, bg}));
  EXPECT_EQ(Row(1), (Pixels{c2, bg, bg, bg, bg}));
  EXPECT_EQ(Row(0), (Pixels{bg, bg, bg, c3, bg}));
}

TEST_P(DrawDibTest, RunLengthFourBits) {
  const std::vector<uint32_t> palette{0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  const uint32_t c1 = 0x0000FF, c2 = 0x00FF00, c3 = 0xFF0000, bg = kBackground;
  const std::vector<uint8_t> data{5, 0x12, 0,    0,     // bottom line: alternating nibbles
                                  0, 3,    0x31, 0x20,  // three literal nibbles in two bytes
                                  0, 2,    1,    0,     // move one right on the same line
                                  1, 0x30,              // one pixel
                                  0, 1};
  MakePlane(5, 2);
  Draw(MakeDib(5, 2, 4, kBitmapRle4, palette, data, 4));
  EXPECT_EQ(Row(1), (Pixels{c1, c2, c1, c2, c1}));
  EXPECT_EQ(Row(0), (Pixels{c3, c1, c2, bg, c3}));
}

TEST_P(DrawDibTest, SourceRectangleOffsetAndClip) {
  // 3 x 3, pixel value 0x10 * y + x + 1 in top-down coordinates.
  std::vector<uint8_t> top_down, bottom_up;
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 3; ++x) Append32(top_down, 0x10 * y + x + 1);
  }
  for (int32_t y = 2; y >= 0; --y) {
    bottom_up.insert(bottom_up.end(), top_down.begin() + 12 * y, top_down.begin() + 12 * y + 12);
  }
  const uint32_t bg = kBackground;
  for (const Dib& dib : {MakeDib(3, 3, 32, kBitmapRgb, {}, bottom_up),
                         MakeDib(3, -3, 32, kBitmapRgb, {}, top_down)}) {
    MakePlane(4, 3);
    Draw(dib, 2, 1, PlaneRect{1, 0, 3, 2}, PlaneClip{PlaneRect{0, 0, 3, 3}, true});
    EXPECT_EQ(Row(0), (Pixels{bg, bg, bg, bg}));
    EXPECT_EQ(Row(1), (Pixels{bg, bg, 0x02, bg}));
    EXPECT_EQ(Row(2), (Pixels{bg, bg, 0x12, bg}));

    // Partly above and left of the plane.
    MakePlane(4, 3);
    Draw(dib, -1, -2);
    EXPECT_EQ(Row(0), (Pixels{0x22, 0x23, bg, bg}));
    EXPECT_EQ(Row(1), (Pixels{bg, bg, bg, bg}));
  }
}

INSTANTIATE_TEST_SUITE_P(Storages, DrawDibTest, ::testing::Values(Storage::kDib, Storage::kHeap),
                         StorageName);

TEST(DrawDibOtherDepthsTest, BitmapsAreConvertedToThePlaneDepth) {
  CMemoryPlane rgb555(16);
  rgb555.SetSize(PlaneSize{2, 1});
  std::vector<uint8_t> data{0xFF, 0x00, 0x00, 0x00, 0x00, 0xF8, 0, 0};
  const Dib dib = MakeDib(2, 1, 24, kBitmapRgb, {}, data);
  rgb555.DrawDib(dib.header.data(), dib.header.size(), dib.bits.data(), dib.bits.size(), 0, 0,
                 kEverything, PlaneClip{});
  PlaneBitsLock lock(rgb555);
  EXPECT_EQ(lock.Row(0)[0] | lock.Row(0)[1] << 8, 0x001F);
  EXPECT_EQ(lock.Row(0)[2] | lock.Row(0)[3] << 8, 0x7C00);

  // Run-length pixels into an 8-bit plane: grey, and skipped pixels kept.
  CMemoryPlane8 grey;
  grey.SetSize(PlaneSize{3, 1});
  grey.FillAll(0x050505);
  const Dib rle = MakeDib(3, 1, 8, kBitmapRle8, {0, 0xFFFFFF}, {0, 2, 2, 0, 1, 1, 0, 1}, 2);
  grey.DrawDib(rle.header.data(), rle.header.size(), rle.bits.data(), rle.bits.size(), 0, 0,
               kEverything, PlaneClip{});
  PlaneBitsLock grey_lock(grey);
  EXPECT_EQ(grey_lock.Row(0)[0], 5);
  EXPECT_EQ(grey_lock.Row(0)[1], 5);
  EXPECT_EQ(grey_lock.Row(0)[2], 255);
}

// Headers that lie about the memory behind them. Every buffer is exactly as
// long as stated, so the sanitizers see any read beyond it.
class HostileDibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plane_.SetSize(PlaneSize{4, 4});
    plane_.FillAll(0x777777);
  }

  void ExpectRefused(const Dib& dib, size_t header_bytes, size_t bits_bytes) {
    try {
      plane_.DrawDib(dib.header.data(), header_bytes, dib.bits.data(), bits_bytes, 0, 0,
                     kEverything, PlaneClip{});
      ADD_FAILURE() << "drawn";
    } catch (const RuntimeException& e) {
      EXPECT_EQ(std::string(e.what()).rfind(
                    GetDefaultEncoding().ToMultiByte(u"ビットマップからの描画に失敗しました"), 0),
                0u);
    }
  }
  void ExpectRefused(const Dib& dib) { ExpectRefused(dib, dib.header.size(), dib.bits.size()); }

  CDib32 plane_;
};

TEST_F(HostileDibTest, HeaderAndColourTableMustFitTheirMemory) {
  const Dib dib =
      MakeDib(2, 2, 8, kBitmapRgb, std::vector<uint32_t>(256, 0), std::vector<uint8_t>(8));
  ExpectRefused(dib, 39, 8);
  ExpectRefused(dib, 40 + 4 * 255, 8);  // one colour short
  Dib bigger = dib;
  Info(bigger).biSize = 2000;  // a header longer than its memory
  ExpectRefused(bigger);
  Info(bigger).biSize = 12;  // an old core header is not read as an info header
  ExpectRefused(bigger);
  Dib few = MakeDib(2, 2, 8, kBitmapRgb, {0x112233}, std::vector<uint8_t>(8), 2);
  ExpectRefused(few);  // two colours announced, one present
  Info(few).biClrUsed = 1;
  EXPECT_NO_THROW(plane_.DrawDib(few.header.data(), few.header.size(), few.bits.data(),
                                 few.bits.size(), 0, 0, kEverything, PlaneClip{}));
  // Masks that are not there.
  const Dib masked = MakeDib(1, 1, 16, kBitmapBitFields, {0xF800, 0x07E0}, std::vector<uint8_t>(4));
  ExpectRefused(masked);
}

TEST_F(HostileDibTest, PixelDataMustCoverTheImage) {
  const Dib dib = MakeDib(3, 2, 24, kBitmapRgb, {}, std::vector<uint8_t>(24));
  ExpectRefused(dib, dib.header.size(), 23);
  ExpectRefused(dib, dib.header.size(), 0);
  ExpectRefused(MakeDib(3, -3, 24, kBitmapRgb, {}, std::vector<uint8_t>(24)));
  Dib no_bits = dib;
  no_bits.bits.clear();
  ExpectRefused(no_bits);
  EXPECT_THROW(plane_.DrawDib(dib.header.data(), dib.header.size(), nullptr, 24, 0, 0, kEverything,
                              PlaneClip{}),
               RuntimeException);
  EXPECT_THROW(plane_.DrawDib(nullptr, 40, dib.bits.data(), 24, 0, 0, kEverything, PlaneClip{}),
               RuntimeException);
}

TEST_F(HostileDibTest, SizesThatOverflowOrCannotBeHeld) {
  const std::vector<uint8_t> tiny(64);
  ExpectRefused(MakeDib(-4, 4, 32, kBitmapRgb, {}, tiny));
  ExpectRefused(MakeDib(4, INT32_MIN, 32, kBitmapRgb, {}, tiny));
  ExpectRefused(MakeDib(INT32_MAX, INT32_MAX, 32, kBitmapRgb, {}, tiny));
  ExpectRefused(MakeDib(INT32_MAX, 2, 32, kBitmapRgb, {}, tiny));
  ExpectRefused(MakeDib(INT32_MAX, INT32_MAX, 8, kBitmapRle8, std::vector<uint32_t>(256), tiny));
  // A bitmap with no pixels draws nothing, successfully.
  EXPECT_NO_THROW(plane_.DrawDib(MakeDib(0, 4, 32, kBitmapRgb, {}, {}).header.data(), 40,
                                 tiny.data(), tiny.size(), 0, 0, kEverything, PlaneClip{}));
}

TEST_F(HostileDibTest, FormatsThatCannotBeDrawn) {
  const std::vector<uint8_t> data(64);
  ExpectRefused(MakeDib(2, 2, 2, kBitmapRgb, std::vector<uint32_t>(4), data));
  ExpectRefused(MakeDib(2, 2, 0, 4, {}, data));  // embedded JPEG
  ExpectRefused(MakeDib(2, 2, 24, kBitmapRle8, {}, data));
  ExpectRefused(MakeDib(2, 2, 8, kBitmapRle4, std::vector<uint32_t>(256), data));
  ExpectRefused(MakeDib(2, 2, 24, 0x7FFFFFFF, {}, data));
  // Run-length data exists only bottom-up.
  ExpectRefused(MakeDib(2, -2, 8, kBitmapRle8, std::vector<uint32_t>(256), data));
}

TEST_F(HostileDibTest, RunLengthDataThatEndsEarlyIsDrawnAsFarAsItGoes) {
  const std::vector<uint32_t> palette{0x000000, 0x0000FF};
  // A literal run announcing 200 pixels with three present, a delta cut
  // after its first byte, runs far past the right edge, lines past the top,
  // a lone byte.
  const std::vector<std::vector<uint8_t>> streams{{2, 1, 0, 200, 1, 1, 1},
                                                  {1, 1, 0, 2, 7},
                                                  {255, 1, 255, 1, 0, 0, 0, 2, 255, 255, 3, 1},
                                                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0},
                                                  {1}};
  CMemoryPlane32 heap;
  heap.SetSize(PlaneSize{4, 4});
  for (const auto& data : streams) {
    for (int bits : {4, 8}) {
      const Dib dib = MakeDib(4, 4, bits, bits == 8 ? kBitmapRle8 : kBitmapRle4, palette, data, 2);
      for (CPlane* plane : std::initializer_list<CPlane*>{&plane_, &heap}) {
        // Where the system draws, it may refuse; it must not crash.
        try {
          plane->DrawDib(dib.header.data(), dib.header.size(), dib.bits.data(), dib.bits.size(), 0,
                         0, kEverything, PlaneClip{});
        } catch (const RuntimeException&) {
          EXPECT_EQ(plane, &plane_);
        }
      }
    }
  }
  // The converter draws what the first stream holds: a run of two, then
  // the two literal pixels that are there.
  heap.FillAll(0);
  const Dib first = MakeDib(4, 4, 8, kBitmapRle8, palette, streams[0], 2);
  heap.DrawDib(first.header.data(), first.header.size(), first.bits.data(), first.bits.size(), 0, 0,
               kEverything, PlaneClip{});
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(Testing::At(heap, x, 3), 0x0000FFu) << x;
}

TEST_F(HostileDibTest, ZeroPaddedTruncatedFilesStillDraw) {
  // A loader that pads a cut file with zeros hands over full-sized data.
  std::vector<uint8_t> padded(16);
  padded[0] = 0xFF;  // the bottom-left pixel survived, the rest was cut
  const Dib dib = MakeDib(4, 4, 8, kBitmapRgb, {0x000000, 0xFFFFFF}, padded, 2);
  plane_.DrawDib(dib.header.data(), dib.header.size(), dib.bits.data(), dib.bits.size(), 0, 0,
                 kEverything, PlaneClip{});
  EXPECT_EQ(Testing::At(plane_, 0, 3), 0u);  // index 255 is past the two-colour table
  EXPECT_EQ(Testing::At(plane_, 0, 0), 0u);
}

}  // namespace
}  // namespace Orvex

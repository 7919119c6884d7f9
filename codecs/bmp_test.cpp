#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <new>

#include "codecs/bmp_loader.h"
#include "codecs/bmp_saver.h"
#include "codecs/test_images.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane.h"
#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;

class BmpTest : public testing::Test {
 protected:
  // Opens the bytes and, when accepted, draws them into a fresh DIB plane.
  bool Decode(const Bytes& bytes, CDib32& plane) {
    CBmpLoader loader;
    if (!loader.Open(folder_.Load("image.bmp", bytes))) return false;
    plane.SetSize(loader.GetImageSize());
    plane.FillAll(0x123456);
    loader.Load(plane, 0, 0);
    return true;
  }

  Testing::TempFolder folder_;
};

TEST_F(BmpTest, RefusesWhatIsNoBitmap) {
  CBmpLoader loader;
  EXPECT_FALSE(loader.Open(folder_.Load("empty.bmp", Bytes{})));
  Bytes headers_only = Testing::MakeBmp(1, 1, 24, {}, {});
  ASSERT_EQ(headers_only.size(), 54u);
  EXPECT_FALSE(CBmpLoader().Open(folder_.Load("54.bmp", headers_only)));
  Bytes not_bm = Testing::MakeBmp(1, 1, 24, {}, Bytes{1, 2, 3, 0});
  not_bm[1] = 'A';
  EXPECT_FALSE(CBmpLoader().Open(folder_.Load("ba.bmp", not_bm)));
  EXPECT_FALSE(
      CBmpLoader().Open(folder_.Load("neg.bmp", Testing::MakeBmp(-4, 1, 24, {}, Bytes(12)))));
  EXPECT_FALSE(CBmpLoader().Open(
      folder_.Load("deep.bmp", Testing::MakeBmp(1000, 1000, 0xFFFF, {}, Bytes(1)))));
  // A header claiming more pixel data than fits any memory fails as an
  // allocation would, which the registry counts as a refusal.
  EXPECT_THROW(CBmpLoader().Open(folder_.Load(
                   "huge.bmp", Testing::MakeBmp(0x7FFFFFFF, 0x7FFFFFFF, 32, {}, Bytes(4)))),
               std::bad_alloc);
}

TEST_F(BmpTest, ShortFilesReadZerosForTheMissingPixels) {
  // 55 bytes: one pixel byte of a 2 x 2 image is there.
  Bytes file = Testing::MakeBmp(2, 2, 24, {}, Bytes{0x40});
  ASSERT_EQ(file.size(), 55u);
  CDib32 plane;
  ASSERT_TRUE(Decode(file, plane));
  EXPECT_EQ(plane.GetSize(), (PlaneSize{2, 2}));
  EXPECT_EQ(PixelAt(plane, 0, 1), 0x00000040u);  // the bottom row is stored first
  EXPECT_EQ(PixelAt(plane, 1, 1), 0u);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0u);

  // Cut inside the pixels: the rows that are there keep their colour, the
  // top ones (stored last) turn black.
  Bytes rows;
  for (int y = 0; y < 4; ++y) rows.insert(rows.end(), {0x11, 0x22, 0x33, 0});
  Bytes cut = Testing::MakeBmp(1, 4, 24, {}, rows);
  cut.resize(cut.size() - 6);
  ASSERT_TRUE(Decode(cut, plane));
  EXPECT_EQ(PixelAt(plane, 0, 3), 0x00332211u);
  EXPECT_EQ(PixelAt(plane, 0, 2), 0x00332211u);
  EXPECT_EQ(PixelAt(plane, 0, 1), 0x00002211u);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0u);

  // Pixel data that would start beyond the end of the file is all zeros.
  CDib32 far_plane;
  ASSERT_TRUE(Decode(Testing::MakeBmp(1, 1, 24, {}, Bytes{9, 9, 9, 0}, 4000), far_plane));
  EXPECT_EQ(PixelAt(far_plane, 0, 0), 0u);
}

TEST_F(BmpTest, RowSizesAndPixelOffsets) {
  const Bytes black_white{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
  // 1 bit, 33 pixels: rows of 8 bytes. Only the 33rd pixel of the bottom
  // row is set; a wrong row size would shift it into the other row.
  Bytes rows(16, 0);
  rows[4] = 0x80;
  CDib32 plane;
  ASSERT_TRUE(Decode(Testing::MakeBmp(33, 2, 1, black_white, rows), plane));
  EXPECT_EQ(PixelAt(plane, 32, 1), 0x00FFFFFFu);
  EXPECT_EQ(PixelAt(plane, 31, 1), 0u);
  EXPECT_EQ(PixelAt(plane, 32, 0), 0u);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0u);

  // bfOffBits 0 with 4 bits: a full 16-entry table, pixels from 118.
  Bytes table(64, 0);
  table[4 * 3 + 2] = 0xC0;  // entry 3 is red
  Bytes file = Testing::MakeBmp(2, 1, 4, table, Bytes{0x30, 0, 0, 0}, 0);
  ASSERT_EQ(file.size(), 122u);
  ASSERT_TRUE(Decode(file, plane));
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x00C00000u);
  EXPECT_EQ(PixelAt(plane, 1, 0), 0u);

  // bfOffBits 0 with 24 bits: pixels right after the headers.
  ASSERT_TRUE(Decode(Testing::MakeBmp(1, 1, 24, {}, Bytes{1, 2, 3, 0}, 0), plane));
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x00030201u);
}

TEST_F(BmpTest, TopDownAndAlpha) {
  Bytes rows{1, 2, 3, 4, 5, 6, 7, 8};  // two 32-bit rows, top row first
  CBmpLoader loader;
  ASSERT_TRUE(loader.Open(folder_.Load("td.bmp", Testing::MakeBmp(1, -2, 32, {}, rows))));
  EXPECT_EQ(loader.GetImageSize(), (PlaneSize{1, 2}));
  EXPECT_TRUE(loader.HasAlpha());
  EXPECT_EQ(loader.GetFormatName(), SharedString(u"BITMAP"));
  CDib32 plane;
  plane.SetSize(PlaneSize{1, 2});
  loader.Load(plane, 0, 0);
  EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0x030201u);
  EXPECT_EQ(PixelAt(plane, 0, 1) & 0xFFFFFF, 0x070605u);
  EXPECT_FALSE(CBmpLoader().HasAlpha());
}

// OS/2 and Windows 2 bitmaps: a 12-byte core header with 16-bit sizes and
// 3-byte colour entries, which the info-header fields would misread.
Bytes MakeCoreBmp(uint16_t width, uint16_t height, uint16_t bit_count, const Bytes& color_table,
                  const Bytes& pixels, bool offset_given = true) {
  const uint32_t offset = 26 + static_cast<uint32_t>(color_table.size());
  Bytes file{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0};
  auto put16 = [&file](uint16_t v) { file.insert(file.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  put16(width);
  put16(height);
  put16(1);
  put16(bit_count);
  if (offset_given) file[10] = static_cast<uint8_t>(offset);
  file.insert(file.end(), color_table.begin(), color_table.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

TEST_F(BmpTest, CoreHeaderBitmaps) {
  CDib32 plane;
  // 24 bits, 2 x 2, 27 bytes: smaller than any info-header file.
  ASSERT_TRUE(Decode(MakeCoreBmp(2, 2, 24, {}, Bytes{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10}), plane));
  EXPECT_EQ(plane.GetSize(), (PlaneSize{2, 2}));
  EXPECT_EQ(PixelAt(plane, 0, 1), 0x00030201u);  // bottom-up, as always in this form
  EXPECT_EQ(PixelAt(plane, 1, 1), 0x00060504u);
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x00090807u);

  // 8 bits: the table's entries are B, G, R without a fourth byte; the
  // rest of the 256 entries are left out and read as black.
  ASSERT_TRUE(Decode(
      MakeCoreBmp(3, 1, 8, Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, Bytes{1, 0, 2, 0}), plane));
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x00605040u);
  EXPECT_EQ(PixelAt(plane, 1, 0), 0x00302010u);
  EXPECT_EQ(PixelAt(plane, 2, 0), 0u);

  // No pixel offset given: a full table of 2^bits 3-byte entries comes first.
  Bytes table(16 * 3, 0);
  table[5 * 3 + 1] = 0xAB;
  ASSERT_TRUE(Decode(MakeCoreBmp(2, 1, 4, table, Bytes{0x50, 0, 0, 0}, false), plane));
  EXPECT_EQ(PixelAt(plane, 0, 0), 0x0000AB00u);

  // Depths this form never had are refused, not drawn from garbage.
  EXPECT_FALSE(CBmpLoader().Open(folder_.Load("c32.bmp", MakeCoreBmp(1, 1, 32, {}, Bytes(4)))));
  EXPECT_FALSE(CBmpLoader().Open(folder_.Load("c16.bmp", MakeCoreBmp(1, 1, 16, {}, Bytes(4)))));
}

class BmpSaverTest : public BmpTest {};

TEST_F(BmpSaverTest, Writes24BitBottomUpRowsWithPadding) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{5, 2});
  {
    PlaneBitsLock lock(plane);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 5; ++x) {
        uint8_t* p = lock.Row(y) + x * 4;
        p[0] = static_cast<uint8_t>(x);     // B
        p[1] = static_cast<uint8_t>(y);     // G
        p[2] = static_cast<uint8_t>(0x80);  // R
        p[3] = static_cast<uint8_t>(0xEE);  // alpha, dropped
      }
    }
  }
  const SharedString name = folder_.PathOf("out/sub/wall.bmp");  // folders made on the way
  CBmpSaver().Save(name, plane, PlaneRect{0, 0, 5, 2});
  const Bytes file = Testing::ReadAll(std::filesystem::path(name.Str()));
  Bytes expected{'B', 'M', 86, 0, 0,    0,    0, 0, 0,    0,    54, 0, 0, 0,  // file header
                 40,  0,   0,  0, 5,    0,    0, 0, 2,    0,    0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
                 0,   0,   0,  0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
  for (int y : {1, 0}) {
    for (int x = 0; x < 5; ++x) expected.insert(expected.end(), {uint8_t(x), uint8_t(y), 0x80});
    expected.push_back(0);
  }
  EXPECT_EQ(file, expected);
}

// A 32-bit plane gives the file of its own 24-bit copy, over many rows
// (several writes) and with a rectangle that reaches past the plane.
TEST_F(BmpSaverTest, ThirtyTwoBitPlanesWriteAsTheirTwentyFourBitCopy) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{1001, 800});
  {
    PlaneBitsLock lock(plane);
    for (int y = 0; y < 800; ++y) {
      for (int x = 0; x < 4 * 1001; ++x) lock.Row(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
    }
  }
  CMemoryPlane copy(24);
  copy.SetSize(plane.GetSize());
  copy.Copy(plane, 0, 0, plane.GetBounds(), PlaneClip{});
  for (const PlaneRect& rect : {PlaneRect{0, 0, 1001, 800}, PlaneRect{-3, 5, 1004, 803}}) {
    const SharedString wide = folder_.PathOf("wide.bmp");
    const SharedString narrow = folder_.PathOf("narrow.bmp");
    CBmpSaver().Save(wide, plane, rect);
    CBmpSaver().Save(narrow, copy, rect);
    EXPECT_EQ(Testing::ReadAll(std::filesystem::path(wide.Str())),
              Testing::ReadAll(std::filesystem::path(narrow.Str())));
  }
}

TEST_F(BmpSaverTest, Writes8BitPlanesWithAGreyRamp) {
  CMemoryPlane8 plane;
  plane.SetSize(PlaneSize{3, 1});
  {
    PlaneBitsLock lock(plane);
    lock.Row(0)[0] = 7;
    lock.Row(0)[1] = 8;
    lock.Row(0)[2] = 9;
  }
  const SharedString name = folder_.PathOf("grey.bmp");
  CBmpSaver().Save(name, plane, PlaneRect{0, 0, 3, 1});
  const Bytes file = Testing::ReadAll(std::filesystem::path(name.Str()));
  ASSERT_EQ(file.size(), 1082u);
  EXPECT_EQ(Bytes(file.begin() + 2, file.begin() + 6), (Bytes{0x3A, 0x04, 0, 0}));
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 14), (Bytes{0x36, 0x04, 0, 0}));
  EXPECT_EQ(file[28], 8);
  EXPECT_EQ(Bytes(file.begin() + 46, file.begin() + 50), (Bytes{0, 1, 0, 0}));
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(Bytes(file.begin() + 54 + 4 * i, file.begin() + 58 + 4 * i),
              (Bytes{uint8_t(i), uint8_t(i), uint8_t(i), 0}));
  }
  EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{7, 8, 9, 0}));
}

TEST_F(BmpSaverTest, LargeFilesHaveExactlyTheirSizeAndReadBack) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{23, 17});
  {
    PlaneBitsLock lock(plane);
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 23; ++x) {
        const uint32_t v = static_cast<uint32_t>(x * 11 + y * 1000);
        std::memcpy(lock.Row(y) + x * 4, &v, 4);
      }
    }
  }
  const SharedString name = folder_.PathOf("big.bmp");
  // A sub-rectangle that sticks out of the plane on the right and bottom.
  CBmpSaver().Save(name, plane, PlaneRect{3, 2, 25, 18});
  const Bytes file = Testing::ReadAll(std::filesystem::path(name.Str()));
  ASSERT_EQ(file.size(), 54u + 16 * 68);  // 22 pixels: 66 bytes, padded to 68

  CDib32 back;
  ASSERT_TRUE(Decode(file, back));
  ASSERT_EQ(back.GetSize(), (PlaneSize{22, 16}));
  EXPECT_EQ(PixelAt(back, 0, 0), static_cast<uint32_t>(3 * 11 + 2 * 1000));
  EXPECT_EQ(PixelAt(back, 19, 14), static_cast<uint32_t>(22 * 11 + 16 * 1000));
  EXPECT_EQ(PixelAt(back, 20, 3), 0u);  // outside the plane: black
  EXPECT_EQ(PixelAt(back, 5, 15), 0u);
}

TEST_F(BmpSaverTest, FailuresAreIoExceptions) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{2, 2});
  EXPECT_THROW(CBmpSaver().Save(folder_.PathOf("empty.bmp"), plane, PlaneRect{1, 1, 1, 2}),
               IOException);
  // A folder cannot be opened as a file.
  std::filesystem::create_directories(std::filesystem::path(folder_.PathOf("dir.bmp").Str()));
  EXPECT_THROW(CBmpSaver().Save(folder_.PathOf("dir.bmp"), plane, PlaneRect{0, 0, 2, 2}),
               IOException);
}

}  // namespace
}  // namespace Orvex

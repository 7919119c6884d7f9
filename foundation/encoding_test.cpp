#include "foundation/encoding.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/platform.h"

namespace Orvex {
namespace {

TEST(EncodingTest, EmptyTextsConvertToEmptyResults) {
  const Encoding& e = GetDefaultEncoding();
  EXPECT_TRUE(e.ToMultiByte(SharedString()).empty());
  EXPECT_TRUE(e.ToWide("").SharesTextWith(SharedString()));
  EXPECT_EQ(e.GetBytes(u"abc", 0, nullptr, 0), 0);
  EXPECT_FALSE(e.IsSingleByte());
}

TEST(EncodingTest, JapaneseTextRoundTrips) {
  const Encoding& e = GetDefaultEncoding();
  SharedString text(u"壁紙の変更に失敗 : abc");
  std::string bytes = e.ToMultiByte(text);
  EXPECT_EQ(e.ToWide(bytes), text);
  if (kIsWindows) {
    // Code page 932: two bytes for each of the eight kanji and kana.
    EXPECT_EQ(bytes.size(), 8u * 2 + 6);
  } else {
    EXPECT_EQ(bytes, ToUtf8(text));
  }
}

TEST(EncodingTest, MaxByteCountHoldsTheWorstCase) {
  const Encoding& e = GetDefaultEncoding();
  // Characters that take the most bytes in this encoding.
  std::u16string worst(1000, kIsWindows ? u'字' : u'\uFFFF');
  int max = e.GetMaxByteCount(static_cast<int>(worst.size()));
  std::vector<char> buffer(max);
  int written = e.GetBytes(worst.data(), static_cast<int>(worst.size()), buffer.data(), max);
  EXPECT_GT(written, 0);
  EXPECT_LE(written, max);
  EXPECT_EQ(e.GetString(buffer.data(), 0, written), SharedString(worst));
  EXPECT_GE(e.GetMaxCharCount(written), static_cast<int>(worst.size()));
}

TEST(EncodingTest, GetStringHonoursOffsetAndCount) {
  const Encoding& e = GetDefaultEncoding();
  const char bytes[] = "xxabcyy";
  EXPECT_EQ(e.GetString(bytes, 2, 3), SharedString(u"abc"));
  EXPECT_TRUE(e.GetString(bytes, 2, 0).IsEmpty());
  EXPECT_TRUE(e.GetString(bytes, 2, -5).IsEmpty());
}

TEST(EncodingTest, IsNtPlatform) { EXPECT_TRUE(IsNtPlatform()); }

}  // namespace
}  // namespace Orvex

#include "foundation/shared_string.h"

#include <gtest/gtest.h>

namespace Orvex {
namespace {

TEST(SharedStringTest, EmptyResultsShareOneInstance) {
  SharedString a;
  SharedString b(u"");
  SharedString c = SharedString(u"abc").Substring(3);
  SharedString d = SharedString(u"   ").Trim();
  EXPECT_TRUE(a.SharesTextWith(b));
  EXPECT_TRUE(a.SharesTextWith(c));
  EXPECT_TRUE(a.SharesTextWith(d));
  EXPECT_TRUE(SharedString::Format(u"").SharesTextWith(a));
}

TEST(SharedStringTest, CopiesShareTheText) {
  SharedString a(u"text");
  SharedString b = a;
  EXPECT_TRUE(a.SharesTextWith(b));
  SharedString c = a + u"";
  EXPECT_EQ(c, a);
}

TEST(SharedStringTest, FormatsIntegersWithoutTrailingTerminator) {
  SharedString s = SharedString::Format(u"%d", -1);
  EXPECT_EQ(s.Length(), 2u);
  EXPECT_EQ(s, SharedString(u"-1"));
  EXPECT_EQ(SharedString::Format(u"%u|%x|%X|%05d|%-4d|%+d", 4000000000u, 255u, 255u, 42, 7, 3),
            SharedString(u"4000000000|ff|FF|00042|7   |+3"));
  EXPECT_EQ(SharedString::Format(u"%lld %I64d", 1LL << 40, -(1LL << 40)),
            SharedString(u"1099511627776 -1099511627776"));
}

TEST(SharedStringTest, FormatsTextsAndLiterals) {
  EXPECT_EQ(SharedString::Format(u"Pelmora%s build-%d", u" [一時停止中]", 15),
            SharedString(u"Pelmora [一時停止中] build-15"));
  EXPECT_EQ(SharedString::Format(u"%s build-%d", u"", 15), SharedString(u" build-15"));
  EXPECT_EQ(SharedString::Format(u"%hs/%S", "ab", "cd"), SharedString(u"ab/cd"));
  EXPECT_EQ(SharedString::Format(u"[%5s][%-3s][%.2s]", u"ab", u"c", u"xyz"),
            SharedString(u"[   ab][c  ][xy]"));
  EXPECT_EQ(SharedString::Format(u"100%% %c", u'字'), SharedString(u"100% 字"));
  EXPECT_EQ(SharedString::Format(u"%.2f", 1.005), SharedString(u"1.00"));
  EXPECT_EQ(SharedString::Format(u"%*d", 4, 9), SharedString(u"   9"));
}

TEST(SharedStringTest, SubstringFindAndCompare) {
  SharedString s(u"C:\\a\\b.txt");
  EXPECT_EQ(s.Substring(3, 1), SharedString(u"a"));
  EXPECT_EQ(s.Substring(5), SharedString(u"b.txt"));
  EXPECT_TRUE(s.Substring(99).IsEmpty());
  EXPECT_EQ(s.Find(u"\\"), 2u);
  EXPECT_EQ(s.FindLastOf(u"\\/"), 4u);
  EXPECT_TRUE(s.StartsWith(u"C:"));
  EXPECT_TRUE(s.EndsWith(u".txt"));
  EXPECT_LT(SharedString(u"ClearType"), SharedString(u"Cleartype"));  // code-unit order
  EXPECT_EQ(SharedString(u"b").Compare(SharedString(u"a")), 1);
  EXPECT_EQ(SharedString(u"a").Compare(SharedString(u"a")), 0);
}

TEST(SharedStringTest, TrimReplaceSplit) {
  EXPECT_EQ(SharedString(u" \t x y \r\n").Trim(), SharedString(u"x y"));
  EXPECT_EQ(SharedString(u"  x ").TrimLeft(), SharedString(u"x "));
  EXPECT_EQ(SharedString(u"  x ").TrimRight(), SharedString(u"  x"));
  EXPECT_EQ(SharedString(u"a = b = c").ReplaceAll(u" = ", u"="), SharedString(u"a=b=c"));
  EXPECT_EQ(SharedString(u"aaa").ReplaceAll(u"aa", u"b"), SharedString(u"ba"));
  EXPECT_EQ(SharedString(u"abc").ReplaceAll(u"", u"x"), SharedString(u"abc"));

  auto parts = SharedString(u"a\r\n\r\nb").Split(u"\r\n");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], SharedString(u"a"));
  EXPECT_TRUE(parts[1].IsEmpty());
  EXPECT_EQ(parts[2], SharedString(u"b"));
  EXPECT_EQ(SharedString().Split(u",").size(), 1u);
}

TEST(SharedStringTest, Utf8RoundTripKeepsSurrogatePairs) {
  SharedString s(u"壁紙 😀 é");
  EXPECT_EQ(FromUtf8(ToUtf8(s)), s);
  EXPECT_EQ(ToUtf8(SharedString(u"😀")).size(), 4u);
  EXPECT_EQ(FromUtf8("\xff"), SharedString(u"\uFFFD"));
}

}  // namespace
}  // namespace Orvex

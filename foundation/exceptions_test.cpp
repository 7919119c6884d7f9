#include "foundation/exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/encoding.h"

namespace Orvex {
namespace {

void ClearLastError() { Detail::SetLastSystemError(0); }
// "File not found" has the same code, 2, on Windows and POSIX.
void SetFailingLastError() { Detail::SetLastSystemError(2); }

std::string Narrow(const char16_t* text) { return GetDefaultEncoding().ToMultiByte(text); }

TEST(ExceptionsTest, FixedTextsOfTheFaultClasses) {
  EXPECT_EQ(AccessViolationException().what(), Narrow(u"不正なメモリアクセスがありました"));
  EXPECT_EQ(FPEException().what(), Narrow(u"浮動小数点数エラーがありました"));
  EXPECT_EQ(InvalidProgramException().what(), Narrow(u"不正な命令が検出されました"));
  EXPECT_EQ(UnexpectedException().what(), Narrow(u"例外指定にない例外が発生しました"));
}

TEST(ExceptionsTest, TextsAreCutAt511Bytes) {
  std::u16string long_text(600, u'x');
  IOException e{SharedString(long_text)};
  EXPECT_EQ(std::string(e.what()), std::string(511, 'x'));
  RuntimeException exact{SharedString(std::u16string(511, u'y'))};
  EXPECT_EQ(std::string(exact.what()).size(), 511u);
}

TEST(ExceptionsTest, EachExceptionKeepsItsOwnText) {
  RuntimeException first{SharedString(u"first")};
  RuntimeException copy = first;
  ImageLoadException second{SharedString(u"second")};
  std::thread([] { IOException other{SharedString(u"other thread")}; }).join();
  EXPECT_STREQ(first.what(), "first");
  EXPECT_STREQ(copy.what(), "first");
  EXPECT_STREQ(second.what(), "second");
}

TEST(ExceptionsTest, Win32ExceptionWithoutLastErrorIsTheTextAlone) {
  ClearLastError();
  Win32Exception e{SharedString(u"プロセスの作成に失敗")};
  EXPECT_EQ(std::string(e.what()), Narrow(u"プロセスの作成に失敗"));
}

TEST(ExceptionsTest, Win32ExceptionAppendsTheSystemText) {
  SetFailingLastError();
  DllNotFoundException e{SharedString(u"x.dllのロードに失敗")};
  std::string text = e.what();
  std::string head = Narrow(u"x.dllのロードに失敗") + " : ";
  ASSERT_GT(text.size(), head.size());
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.back(), '\n');
  const std::exception& base = e;  // the whole tree is std::exception
  EXPECT_EQ(base.what(), text);
}

}  // namespace
}  // namespace Orvex

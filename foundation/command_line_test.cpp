#include "foundation/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/encoding.h"
#include "foundation/platform.h"

namespace Orvex {
namespace {

using Parts = std::vector<SharedString>;

TEST(CommandLineTest, SplitsAtSpacesAndTakesQuotedPartsWhole) {
  EXPECT_EQ(SplitCommandLine(u"Pelmora.exe \"two words\" /once"),
            (Parts{u"Pelmora.exe", u"two words", u"/once"}));
  EXPECT_EQ(SplitCommandLine(u"  \t a   b  "), (Parts{u"a", u"b"}));
  EXPECT_EQ(SplitCommandLine(u""), Parts{});
  EXPECT_EQ(SplitCommandLine(u"   "), Parts{});
}

TEST(CommandLineTest, QuotesAreNotEscapes) {
  // Two quotes in a row: an empty part.
  EXPECT_EQ(SplitCommandLine(u"a \"\" b"), (Parts{u"a", u"", u"b"}));
  // A quote inside a word stays, and the word still ends at the next space.
  EXPECT_EQ(SplitCommandLine(u"ab\"cd ef\" g"), (Parts{u"ab\"cd", u"ef\"", u"g"}));
  // A quoted part ends at its closing quote even without a space after it.
  EXPECT_EQ(SplitCommandLine(u"\"ab\"cd"), (Parts{u"ab", u"cd"}));
  // An unclosed quote takes the rest; a lone quote at the end gives nothing.
  EXPECT_EQ(SplitCommandLine(u"a \"b c"), (Parts{u"a", u"b c"}));
  EXPECT_EQ(SplitCommandLine(u"a \""), (Parts{u"a"}));
  EXPECT_EQ(SplitCommandLine(u"a\\\" b"), (Parts{u"a\\\"", u"b"}));
}

TEST(CommandLineTest, OnlyTheSpaceCharacterEndsAnUnquotedPart) {
  EXPECT_EQ(SplitCommandLine(u"a\tb c"), (Parts{u"a\tb", u"c"}));
}

TEST(CommandLineTest, ArgumentsLeaveOutTheProgram) {
  EXPECT_EQ(GetArguments(nullptr), Parts{});
  EXPECT_EQ(GetArguments(""), Parts{});
  Parts all = SplitCommandLine();
  ASSERT_FALSE(all.empty());
  EXPECT_NE(all[0].Find(u"foundation_tests"), SharedString::npos);
  EXPECT_EQ(GetArguments("x"), Parts(all.begin() + 1, all.end()));
  EXPECT_NE(GetCommandLineText().Find(u"foundation_tests"), SharedString::npos);
}

TEST(CommandLineTest, ProcessArgumentsAreThoseMainWasHanded) {
  const Parts all = SplitCommandLine();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(GetProcessArguments(), Parts(all.begin() + 1, all.end()));
  if (kIsWindows) return;  // the system's command line is the only one there

  const char* handed[] = {"foundation_tests", "/once", "two words", "", "写真"};
  SetProcessArguments(5, handed);
  EXPECT_EQ(GetProcessArguments(), (Parts{u"/once", u"two words", u"", u"写真"}));
  SetProcessArguments(1, handed);
  EXPECT_EQ(GetProcessArguments(), Parts{});

  std::vector<std::string> narrow;
  for (const SharedString& part : all) narrow.push_back(GetDefaultEncoding().ToMultiByte(part));
  std::vector<const char*> restore;
  for (const std::string& part : narrow) restore.push_back(part.c_str());
  SetProcessArguments(static_cast<int>(restore.size()), restore.data());
}

}  // namespace
}  // namespace Orvex

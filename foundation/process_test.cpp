#include "foundation/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/platform.h"
#include "foundation/system_test_support.h"

namespace Orvex {
namespace {

ProcessStartInfo Helper(const SharedString& parameters, bool use_shell) {
  ProcessStartInfo info;
  info.file = Testing::HelperProgramPath();
  info.parameters = parameters;
  info.use_shell = use_shell;
  return info;
}

TEST(ProcessTest, ProgramsStartAndTheirExitCodeIsSeen) {
  for (bool use_shell : {false, true}) {
    std::shared_ptr<Process> child = StartProcess(Helper(u"exit 7", use_shell));
    ASSERT_TRUE(child) << use_shell;
    EXPECT_TRUE(child->HasHandle());
    ASSERT_TRUE(child->WaitForExit(60000));
    EXPECT_EQ(child->ExitCode(), 7) << use_shell;
  }
}

TEST(ProcessTest, AKilledProgramEnds) {
  std::shared_ptr<Process> child =
      StartProcess(Helper(FromUtf8("hold " + Testing::UniqueName("pelmora-test-lock") + " \"" +
                                   Testing::TemporaryPath(Testing::UniqueName("unused")) + "\""),
                          false));
  ASSERT_TRUE(child);
  EXPECT_FALSE(child->WaitForExit(100));
  EXPECT_FALSE(child->ExitCode());
  child->Kill();
  ASSERT_TRUE(child->WaitForExit(30000));
  EXPECT_NE(child->ExitCode(), 0);
}

TEST(ProcessTest, ParametersReachTheProgramAsSplitAndQuoted) {
  const std::string out = Testing::TemporaryPath(Testing::UniqueName("pelmora-args"));
  // A program path with spaces is quoted for the command line.
  std::shared_ptr<Process> child =
      StartProcess(Helper(FromUtf8("args \"" + out + "\" plain \"two words\""), false));
  ASSERT_TRUE(child);
  ASSERT_TRUE(child->WaitForExit(60000));
  EXPECT_EQ(child->ExitCode(), 0);
  std::ifstream in(out, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "plain\ntwo words\n");
  in.close();
  std::filesystem::remove(out);
}

TEST(ProcessTest, AMissingProgramFailsToStart) {
  ProcessStartInfo info;
  info.file = u"pelmora-no-such-program";
  info.use_shell = false;
  try {
    StartProcess(info);
    FAIL() << "started a missing program";
  } catch (const Win32Exception& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind(GetDefaultEncoding().ToMultiByte(u"プロセスの作成に失敗"), 0),
        0u);
  }
}

TEST(ProcessTest, TheCommandLineQuotesTheProgramOnce) {
  EXPECT_EQ(Detail::BuildCommandLine(u"  C:\\Program Files\\a.exe ", u""),
            SharedString(u"\"C:\\Program Files\\a.exe\""));
  EXPECT_EQ(Detail::BuildCommandLine(u"\"C:\\a b\\a.exe\"", u"/once x"),
            SharedString(u"\"C:\\a b\\a.exe\" /once x"));
  EXPECT_EQ(Detail::BuildCommandLine(u"\"", u""), SharedString(u"\"\"\""));
}

}  // namespace
}  // namespace Orvex

#include "foundation/win32/program_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace Orvex {
namespace {

TEST(ProgramWindowTest, TheProcessListHoldsThisProcess) {
  bool found = false;
  for (const PROCESSENTRY32W& entry : ListProcesses()) {
    if (entry.th32ProcessID == GetCurrentProcessId()) {
      found = true;
      EXPECT_EQ(FromWide(entry.szExeFile).Find(u"foundation_tests"), 0u);
    }
  }
  EXPECT_TRUE(found);
}

TEST(ProgramWindowTest, FindsATopLevelWindowOfAProgramByItsName) {
  EXPECT_EQ(FindProgramWindow(u"C:\\nowhere\\pelmora-no-such-program.exe"), nullptr);

  HWND window = CreateWindowExW(0, L"STATIC", L"pelmora test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) GTEST_SKIP() << "no window station to create windows in";
  // Another folder, the same name: still this program.
  HWND found = FindProgramWindow(u"D:\\elsewhere\\foundation_tests.exe");
  ASSERT_NE(found, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(found, &owner);
  EXPECT_EQ(owner, GetCurrentProcessId());
  EXPECT_FALSE(GetWindowLongW(found, GWL_STYLE) & WS_CHILD);
  // The name is compared as written.
  EXPECT_EQ(FindProgramWindow(u"D:\\elsewhere\\FOUNDATION_TESTS.exe"), nullptr);
  DestroyWindow(window);
}

}  // namespace
}  // namespace Orvex

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
      EXPECT_EQ(FromWide(entry.szExeFile).Find(u"window_tests"), 0u);
    }
  }
  EXPECT_TRUE(found);
}

HWND CreateTopLevelWindow() {
  return CreateWindowExW(0, L"STATIC", L"pelmora test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(ProgramWindowTest, FindsOnlyTheMarkedTopLevelWindowOfAProgramByItsName) {
  EXPECT_EQ(FindProgramWindow(u"C:\\nowhere\\pelmora-no-such-program.exe"), nullptr);

  HWND marked = CreateTopLevelWindow();
  if (!marked) GTEST_SKIP() << "no window station to create windows in";
  ASSERT_TRUE(SetPropW(marked, kProgramWindowProperty, reinterpret_cast<HANDLE>(1)));
  // Created later, so first in the system's order, like a dialog or a box
  // that opens while the program runs: it must not be taken for the program.
  HWND dialog = CreateTopLevelWindow();
  ASSERT_NE(dialog, nullptr);

  // Another folder, the same name: still this program.
  EXPECT_EQ(FindProgramWindow(u"D:\\elsewhere\\window_tests.exe"), marked);
  // The name is compared as written.
  EXPECT_EQ(FindProgramWindow(u"D:\\elsewhere\\WINDOW_TESTS.exe"), nullptr);

  RemovePropW(marked, kProgramWindowProperty);
  EXPECT_EQ(FindProgramWindow(u"D:\\elsewhere\\window_tests.exe"), nullptr);
  DestroyWindow(dialog);
  DestroyWindow(marked);
}

}  // namespace
}  // namespace Orvex

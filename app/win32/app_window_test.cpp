#include "app/win32/app_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/win32/desktop.h"
#include "codecs/bmp_saver.h"
#include "foundation/file_system.h"
#include "foundation/test_folder.h"
#include "foundation/win32/program_window.h"
#include "foundation/win32/window_test_support.h"
#include "imaging/plane32.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

bool CanCreateWindows() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe) DestroyWindow(probe);
  return probe != nullptr;
}

class AppWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanCreateWindows()) GTEST_SKIP() << "no window station to create windows in";
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({32, 18});
    plane.FillAll(0x3366CC);
    Orvex::CBmpSaver().Save(images_ / u"blue.bmp", plane, Orvex::PlaneRect{0, 0, 32, 18});
    ConfigStore store = Store();
    store.LoadWithDefaults();
    store.SetString(u"ImageDir", images_.Path());
    store.SetString(u"SaveFile", saved_);
    store.SetBool(u"WaitFirst", true);
    ASSERT_TRUE(store.Save());
    Win32Desktop().SetWallpaper(SharedString(), nullptr);
  }

  ConfigStore Store() const { return ConfigStore(temp_ / u"Pelmora.cfg", u"pelmora-app-test"); }
  WallpaperCycle::StoreFactory Factory() const {
    return [this] { return Store(); };
  }

  TestFolder temp_;
  TestFolder images_;
  SharedString saved_ = temp_ / u"壁紙.bmp";
  Orvex::Test::RecordingNotifier boxes_;
};

TEST_F(AppWindowTest, OnceChangesThroughTheHiddenWindowAndEnds) {
  CAppWindow window(true, Factory());
  EXPECT_EQ(window.Run(), 0);
  EXPECT_EQ(Win32Desktop::CurrentWallpaper(), saved_);
  EXPECT_EQ(Orvex::CWindow::ThreadWindowCount(), 0);
  EXPECT_TRUE(boxes_.captions.empty());
}

// What happens on the program's thread while it runs, one step per tick of
// a thread timer (which also ticks inside the dialog's own loop).
struct Script {
  int step = 0;
  HWND tray = nullptr;
  HWND found_with_dialog_open = nullptr;
  int dialogs_after_second_request = 0;
  SharedString wallpaper_behind_dialog;
  SharedString saved;
};
Script* g_script = nullptr;

BOOL CALLBACK CountDialog(HWND window, LPARAM count) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int OwnDialogCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountDialog, reinterpret_cast<LPARAM>(&count));
  return count;
}

BOOL CALLBACK TakeDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND FindOwnDialog() {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), TakeDialog, reinterpret_cast<LPARAM>(&dialog));
  return dialog;
}

// A stuck script must not hang the test run.
void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
  g_script->step = 99;
  if (HWND dialog = FindOwnDialog()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  if (g_script->tray) PostMessageW(g_script->tray, WM_CLOSE, 0, 0);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Script& s = *g_script;
  const SharedString self = Orvex::GetExecutablePath();
  switch (s.step) {
    case 0:
      s.tray = Orvex::FindProgramWindow(self);
      if (!s.tray) return;  // not created yet
      PostMessageW(s.tray, WM_COMMAND, kCmdSettings, 0);
      break;
    case 1:
      if (!FindOwnDialog()) return;  // not open yet
      // A second start looks now: the dialog and its tips are in front.
      s.found_with_dialog_open = Orvex::FindProgramWindow(self);
      if (s.found_with_dialog_open) {
        PostMessageW(s.found_with_dialog_open, WM_COMMAND, kCmdNotify, 0);
        // The menu is still reachable from the icon.
        PostMessageW(s.found_with_dialog_open, WM_COMMAND, kCmdSettings, 0);
      }
      break;
    case 2:
      s.dialogs_after_second_request = OwnDialogCount();
      s.wallpaper_behind_dialog = Win32Desktop::CurrentWallpaper();
      if (s.wallpaper_behind_dialog != s.saved) return;  // not changed yet
      PostMessageW(FindOwnDialog(), WM_COMMAND, IDCANCEL, 0);
      break;
    case 3:
      if (FindOwnDialog()) return;
      PostMessageW(s.tray, WM_COMMAND, kCmdExit, 0);
      break;
    default:
      return;
  }
  ++s.step;
}

TEST_F(AppWindowTest, ASecondStartReachesTheTrayWindowWhileTheDialogIsOpenAndOpensNoSecondOne) {
  Script script;
  script.saved = saved_;
  g_script = &script;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, Tick);
  const UINT_PTR guard = SetTimer(nullptr, 0, 20000, GiveUp);
  CAppWindow window(false, Factory());
  EXPECT_EQ(window.Run(), 0);
  KillTimer(nullptr, timer);
  KillTimer(nullptr, guard);
  g_script = nullptr;

  EXPECT_EQ(script.step, 4);
  ASSERT_NE(script.tray, nullptr);
  EXPECT_EQ(script.found_with_dialog_open, script.tray);
  EXPECT_EQ(script.dialogs_after_second_request, 1);
  EXPECT_EQ(script.wallpaper_behind_dialog, saved_);
  // The window is gone and so is its mark.
  EXPECT_EQ(Orvex::FindProgramWindow(Orvex::GetExecutablePath()), nullptr);
  EXPECT_TRUE(boxes_.captions.empty());
}

// A burst of display changes: the picture on show is fitted again once,
// after the last of them has settled, and the list does not move on.
struct DisplayScript {
  int step = 0;
  HWND tray = nullptr;
  DWORD start = 0;
  SharedString saved;
  std::string shown;
  bool refitted_too_early = true;
  std::string refitted;
};
DisplayScript* g_display_script = nullptr;

void CALLBACK DisplayTick(HWND, UINT, UINT_PTR, DWORD) {
  DisplayScript& s = *g_display_script;
  const DWORD elapsed = GetTickCount() - s.start;
  auto display_change = [&] { PostMessageW(s.tray, WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480)); };
  switch (s.step) {
    case 0:
      s.tray = Orvex::FindProgramWindow(Orvex::GetExecutablePath());
      if (!s.tray) return;
      PostMessageW(s.tray, WM_COMMAND, kCmdChangeNow, 0);
      break;
    case 1:
      if (Win32Desktop::CurrentWallpaper() != s.saved) return;
      s.shown = TestFolder::ReadBytes(s.saved);
      std::filesystem::remove(Orvex::Testing::FsPath(s.saved));
      s.start = GetTickCount();
      display_change();
      break;
    case 2:
      if (elapsed < 1000) return;
      display_change();
      break;
    case 3:
      if (elapsed < 1500) return;
      display_change();
      break;
    case 4:
      // Past the settling time of the first message, not of the last.
      if (elapsed < 2500) return;
      s.refitted_too_early = TestFolder::FsExists(s.saved);
      break;
    case 5:
      if (!TestFolder::FsExists(s.saved) && elapsed < 15000) return;
      s.refitted = TestFolder::ReadBytes(s.saved);
      PostMessageW(s.tray, WM_COMMAND, kCmdExit, 0);
      break;
    default:
      return;
  }
  ++s.step;
}

void CALLBACK GiveUpDisplays(HWND, UINT, UINT_PTR, DWORD) {
  g_display_script->step = 99;
  if (g_display_script->tray) PostMessageW(g_display_script->tray, WM_CLOSE, 0, 0);
}

TEST_F(AppWindowTest, DisplayChangesRefitThePictureOnShowOnceTheyHaveSettled) {
  // Two pictures: moving on in the list would show the other one.
  Orvex::CMemoryPlane32 plane;
  plane.SetSize({18, 32});
  plane.FillAll(0xCC6633);
  Orvex::CBmpSaver().Save(images_ / u"orange.bmp", plane, Orvex::PlaneRect{0, 0, 18, 32});

  DisplayScript script;
  script.saved = saved_;
  g_display_script = &script;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DisplayTick);
  const UINT_PTR guard = SetTimer(nullptr, 0, 30000, GiveUpDisplays);
  CAppWindow window(false, Factory());
  EXPECT_EQ(window.Run(), 0);
  KillTimer(nullptr, timer);
  KillTimer(nullptr, guard);
  g_display_script = nullptr;

  EXPECT_EQ(script.step, 6);
  EXPECT_FALSE(script.refitted_too_early);
  EXPECT_FALSE(script.shown.empty());
  EXPECT_EQ(script.refitted, script.shown);
  EXPECT_TRUE(boxes_.captions.empty());
}

}  // namespace

#include "app/win32/hotkey_grabber.h"

#include <gtest/gtest.h>

namespace {

HWND MakeWindow() {
  return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// A key held by one window is refused to another until released; the
// identifiers of WM_HOTKEY name the actions grabbed.
TEST(HotKeyGrabberTest, AHeldKeyIsRefusedUntilReleased) {
  HWND first_window = MakeWindow();
  HWND second_window = MakeWindow();
  if (!first_window || !second_window) GTEST_SKIP() << "no window station to create windows in";
  const HotKey key{kHotKeyCtrl | kHotKeyAlt | kHotKeyShift, VK_F11, "F11"};
  {
    Win32HotKeyGrabber first(first_window);
    Win32HotKeyGrabber second(second_window);
    ASSERT_TRUE(first.Grab(HotKeyAction::kNext, key));
    EXPECT_EQ(first.ActionOf(static_cast<WPARAM>(HotKeyAction::kNext)), HotKeyAction::kNext);
    EXPECT_EQ(first.ActionOf(static_cast<WPARAM>(HotKeyAction::kExclude)), std::nullopt);
    // Grabbing the same action again replaces the key instead of failing.
    EXPECT_TRUE(first.Grab(HotKeyAction::kNext, key));

    EXPECT_FALSE(second.Grab(HotKeyAction::kPrevious, key));
    EXPECT_EQ(second.ActionOf(static_cast<WPARAM>(HotKeyAction::kPrevious)), std::nullopt);
    first.ReleaseAll();
    EXPECT_EQ(first.ActionOf(static_cast<WPARAM>(HotKeyAction::kNext)), std::nullopt);
    EXPECT_TRUE(second.Grab(HotKeyAction::kPrevious, key));
  }
  // Gone with its grabber: the first window can have it again.
  Win32HotKeyGrabber again(first_window);
  EXPECT_TRUE(again.Grab(HotKeyAction::kNext, key));
  again.ReleaseAll();
  DestroyWindow(first_window);
  DestroyWindow(second_window);
}

}  // namespace

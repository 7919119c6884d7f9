#pragma once

#include <optional>
#include <set>

#include "app/hotkeys.h"
#include "foundation/win32/win32.h"

// System-wide hotkeys registered for a window, which receives WM_HOTKEY
// with the action's number as identifier.
class Win32HotKeyGrabber : public IHotKeyGrabber {
 public:
  explicit Win32HotKeyGrabber(HWND window) : window_(window) {}
  ~Win32HotKeyGrabber() override { ReleaseAll(); }

  bool Grab(HotKeyAction action, const HotKey& key) override;
  void ReleaseAll() override;

  // The action of a WM_HOTKEY's identifier; nothing for one that is not a
  // key grabbed here.
  std::optional<HotKeyAction> ActionOf(WPARAM id) const;

 private:
  HWND window_;
  std::set<int> registered_;
};

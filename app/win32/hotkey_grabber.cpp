#include "app/win32/hotkey_grabber.h"

namespace {

// Windows before Vista do not know it and refuse the whole registration.
constexpr UINT kModNoRepeat = 0x4000;

UINT SystemModifiers(uint32_t modifiers) {
  UINT result = 0;
  if (modifiers & kHotKeyCtrl) result |= MOD_CONTROL;
  if (modifiers & kHotKeyAlt) result |= MOD_ALT;
  if (modifiers & kHotKeyShift) result |= MOD_SHIFT;
  if (modifiers & kHotKeyWin) result |= MOD_WIN;
  return result;
}

}  // namespace

bool Win32HotKeyGrabber::Grab(HotKeyAction action, const HotKey& key) {
  const int id = static_cast<int>(action);
  if (registered_.count(id) != 0) {
    UnregisterHotKey(window_, id);
    registered_.erase(id);
  }
  const UINT modifiers = SystemModifiers(key.modifiers);
  // Without the no-repeat flag a key held down would change the wallpaper
  // again and again.
  bool done = RegisterHotKey(window_, id, modifiers | kModNoRepeat, key.windows_key) != FALSE;
  if (!done && GetLastError() == ERROR_INVALID_PARAMETER) {
    done = RegisterHotKey(window_, id, modifiers, key.windows_key) != FALSE;
  }
  if (done) registered_.insert(id);
  return done;
}

void Win32HotKeyGrabber::ReleaseAll() {
  for (const int id : registered_) UnregisterHotKey(window_, id);
  registered_.clear();
}

std::optional<HotKeyAction> Win32HotKeyGrabber::ActionOf(WPARAM id) const {
  if (registered_.count(static_cast<int>(id)) == 0) return std::nullopt;
  return static_cast<HotKeyAction>(id);
}

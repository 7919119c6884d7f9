#pragma once

#include <cstdint>
#include <exception>

#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"

namespace Orvex {

// A window handle with the few operations the program needs. Does not own
// the window.
class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND handle) : handle_(handle) {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND Handle() const { return handle_; }
  bool IsWindow() const { return handle_ && ::IsWindow(handle_); }

  SharedString GetText() const;
  void SetText(const SharedString& text);
  // At most 255 characters.
  SharedString GetClassName() const;
  void SetStyle(uint32_t style);

  // Timers without a callback: they arrive as WM_TIMER.
  void SetTimer(uintptr_t id, uint32_t milliseconds);
  void KillTimer(uintptr_t id);

  // The first pop-up of the menu resource at the cursor; the choice arrives
  // as WM_COMMAND. False when the resource cannot be loaded.
  bool ShowPopupMenu(int menu_resource_id);

  void BringToForeground();

  int ShowMessage(unsigned flags, const SharedString& caption, const SharedString& text);
  int ShowException(const SharedString& caption, const std::exception& exception);

 protected:
  HWND handle_ = nullptr;
};

// Makes the window the foreground window even when another program's
// window has the input: the foreground lock is lifted for the moment.
void BringToForeground(HWND window);

}  // namespace Orvex

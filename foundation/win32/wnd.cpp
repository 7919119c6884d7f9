#include "foundation/win32/wnd.h"

#include <vector>

#include "foundation/error_reporting.h"

namespace Orvex {

SharedString CWnd::GetText() const {
  const int length = GetWindowTextLengthW(handle_);
  if (length <= 0) return SharedString();
  std::vector<wchar_t> text(length + 1);
  const int copied = GetWindowTextW(handle_, text.data(), length + 1);
  return FromWide(text.data(), copied > 0 ? copied : 0);
}

void CWnd::SetText(const SharedString& text) { SetWindowTextW(handle_, Wide(text)); }

SharedString CWnd::GetClassName() const {
  wchar_t name[256] = {};
  const int length = GetClassNameW(handle_, name, 256);
  return FromWide(name, length > 0 ? length : 0);
}

void CWnd::SetStyle(uint32_t style) {
  SetWindowLongW(handle_, GWL_STYLE, static_cast<LONG>(style));
}

void CWnd::SetTimer(uintptr_t id, uint32_t milliseconds) {
  ::SetTimer(handle_, id, milliseconds, nullptr);
}

void CWnd::KillTimer(uintptr_t id) { ::KillTimer(handle_, id); }

bool CWnd::ShowPopupMenu(int menu_resource_id) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menu_resource_id));
  if (!menu) return false;
  POINT cursor = {};
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  SetForegroundWindow(handle_);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, handle_, nullptr);
  PostMessageW(handle_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  return true;
}

void CWnd::BringToForeground() { Orvex::BringToForeground(handle_); }

int CWnd::ShowMessage(unsigned flags, const SharedString& caption, const SharedString& text) {
  return Orvex::ShowMessage(IsWindow() ? handle_ : nullptr, flags, caption, text);
}

int CWnd::ShowException(const SharedString& caption, const std::exception& exception) {
  return Orvex::ShowException(IsWindow() ? handle_ : nullptr, caption, exception);
}

void BringToForeground(HWND window) {
  const DWORD this_thread = GetCurrentThreadId();
  HWND foreground = GetForegroundWindow();
  const DWORD foreground_thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const bool attached = foreground_thread && foreground_thread != this_thread &&
                        AttachThreadInput(this_thread, foreground_thread, TRUE);
  DWORD timeout = 0;
  const bool have_timeout =
      SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0) != FALSE;
  SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  BringWindowToTop(window);
  SetForegroundWindow(window);
  if (have_timeout) {
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), 0);
  }
  if (attached) AttachThreadInput(this_thread, foreground_thread, FALSE);
}

}  // namespace Orvex

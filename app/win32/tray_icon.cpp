#include "app/win32/tray_icon.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/encoding.h"

namespace {

// Registered once per process; the shell broadcasts it when it restarts.
UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

constexpr uintptr_t kIdentifierMask = 0x1D3FA574;

}  // namespace

TrayIcon::TrayIcon(HWND owner, UINT callback_message) {
  TaskbarCreatedMessage();
  record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record_.hWnd = owner;
  record_.uID = static_cast<UINT>(reinterpret_cast<uintptr_t>(this) ^ kIdentifierMask);
  record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record_.uCallbackMessage = callback_message;
}

TrayIcon::~TrayIcon() { Remove(); }

bool TrayIcon::SetIcon(int resource_id) {
  // The small size, so that the shell does not scale the large one down.
  Orvex::UniqueIcon icon(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
  if (!icon) return false;
  record_.hIcon = icon.Get();
  if (!Shell_NotifyIconA(shown_ ? NIM_MODIFY : NIM_ADD, &record_)) {
    record_.hIcon = icon_.Get();
    return false;
  }
  shown_ = true;
  icon_ = std::move(icon);  // the icon shown before goes
  return true;
}

void TrayIcon::SetTip(const Orvex::SharedString& text) {
  const std::string narrow = Orvex::GetDefaultEncoding().ToMultiByte(text);
  // Whole characters only: a double-byte character never loses its second
  // byte to the cut.
  // The first version of the record holds 64 bytes of tip.
  constexpr size_t capacity = 63;
  size_t length = 0;
  while (length < narrow.size()) {
    const size_t step = IsDBCSLeadByte(static_cast<BYTE>(narrow[length])) ? 2 : 1;
    if (length + step > capacity) break;
    length += step;
  }
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  std::memcpy(record_.szTip, narrow.data(), std::min(length, narrow.size()));
  if (shown_) Shell_NotifyIconA(NIM_MODIFY, &record_);
}

bool TrayIcon::OnTaskbarCreated(UINT message) {
  if (message != TaskbarCreatedMessage()) return false;
  if (shown_) Shell_NotifyIconA(NIM_ADD, &record_);
  return true;
}

void TrayIcon::Remove() {
  if (shown_ && Shell_NotifyIconA(NIM_DELETE, &record_)) shown_ = false;
}

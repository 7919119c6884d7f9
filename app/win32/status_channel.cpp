#include "app/win32/status_channel.h"

#include <cstring>
#include <string_view>

#include "foundation/exceptions.h"

using Orvex::SharedString;

namespace {

constexpr wchar_t kReplyWindowClass[] = L"Pelmora.StatusReply";
// The resident program waits no longer for a second start that asked.
constexpr UINT kReplySendMs = 2000;

// What the reply window waits for, kept in its user data.
struct PendingReply {
  HWND asked = nullptr;
  std::optional<std::u16string> text;
};

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_COPYDATA) return DefWindowProcW(window, message, wparam, lparam);
  // A callback from the system: nothing may escape it.
  try {
    auto* pending = reinterpret_cast<PendingReply*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!pending || pending->text) return FALSE;
    pending->text = AcceptStatusReply(pending->asked, reinterpret_cast<HWND>(wparam),
                                      reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    return pending->text ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

void RegisterReplyWindowClass(HINSTANCE instance) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = ReplyWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kReplyWindowClass;
  if (!RegisterClassW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw Orvex::Win32Exception(u"ウィンドウクラスの登録に失敗");
  }
}

}  // namespace

std::optional<std::u16string> AcceptStatusReply(HWND asked, HWND sender,
                                                const COPYDATASTRUCT* data) {
  if (!data || !asked || sender != asked || data->dwData != kStatusDataTag) return std::nullopt;
  if (data->cbData > kMaxStatusBytes || data->cbData % sizeof(char16_t) != 0) return std::nullopt;
  if (data->cbData != 0 && !data->lpData) return std::nullopt;
  std::u16string text(data->cbData / sizeof(char16_t), u'\0');
  if (data->cbData != 0) std::memcpy(text.data(), data->lpData, data->cbData);
  return text;
}

bool SendStatusReply(HWND resident, HWND caller, const SharedString& text) {
  const std::u16string_view view = text.View();
  const size_t bytes = view.size() * sizeof(char16_t);
  if (!caller || !IsWindow(caller) || bytes > kMaxStatusBytes) return false;
  COPYDATASTRUCT data = {};
  data.dwData = kStatusDataTag;
  data.cbData = static_cast<DWORD>(bytes);
  data.lpData = const_cast<char16_t*>(view.data());
  DWORD_PTR taken = 0;
  return SendMessageTimeoutW(caller, WM_COPYDATA, reinterpret_cast<WPARAM>(resident),
                             reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kReplySendMs,
                             &taken) != 0 &&
         taken == TRUE;
}

std::optional<SharedString> AskResidentStatus(HWND resident, DWORD timeout_ms) {
  if (HWND answering = static_cast<HWND>(GetPropW(resident, kStatusWindowProperty))) {
    resident = answering;
  }
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterReplyWindowClass(instance);
  // Message-only: it only has to be found by its handle, never seen.
  HWND window = CreateWindowExW(0, kReplyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, nullptr);
  if (!window) throw Orvex::Win32Exception(u"ウィンドウの作成に失敗");
  PendingReply pending;
  pending.asked = resident;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&pending));

  if (PostMessageW(resident, kStatusRequestMessage, reinterpret_cast<WPARAM>(window), 0)) {
    const DWORD start = GetTickCount();
    while (!pending.text) {
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeout_ms) break;
      // The answer is a sent message: it arrives while this thread looks
      // at its queue.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
  if (!pending.text) return std::nullopt;
  return SharedString(std::move(*pending.text));
}

#include "app/win32/status_responder.h"

#include <chrono>
#include <utility>

#include "app/status_report.h"
#include "app/win32/status_channel.h"
#include "foundation/exceptions.h"

namespace {

constexpr wchar_t kResponderWindowClass[] = L"Pelmora.StatusResponder";

LRESULT CALLBACK ResponderWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kStatusRequestMessage) {
    // A callback from the system: nothing may escape it.
    try {
      const auto* board =
          reinterpret_cast<const StatusBoard*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      const Orvex::SharedString report =
          board ? StatusReport(board->Read(), std::chrono::steady_clock::now())
                : Orvex::SharedString();
      // Before the cycle's first post there is nothing to tell; the caller's
      // wait ends as it does for a program that does not answer.
      if (!report.IsEmpty()) SendStatusReply(window, reinterpret_cast<HWND>(wparam), report);
    } catch (...) {
    }
    return 0;
  }
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

StatusResponder::StatusResponder(std::shared_ptr<const StatusBoard> board)
    : board_(std::move(board)) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready) throw Orvex::Win32Exception(u"イベントの作成に失敗");
  thread_ = std::thread([this, ready] { Run(ready); });
  WaitForSingleObject(ready, INFINITE);
  CloseHandle(ready);
  if (!window_) {
    thread_.join();
    throw Orvex::Win32Exception(u"ウィンドウの作成に失敗");
  }
}

StatusResponder::~StatusResponder() {
  PostMessageW(window_, WM_CLOSE, 0, 0);
  thread_.join();
}

void StatusResponder::Run(HANDLE ready) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = ResponderWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kResponderWindowClass;
  RegisterClassW(&window_class);
  // Message-only: found through the resident window's property, never seen.
  HWND window = CreateWindowExW(0, kResponderWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, nullptr);
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(board_.get()));
  }
  window_ = window;
  SetEvent(ready);
  if (!window) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

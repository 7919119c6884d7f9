#include "foundation/win32/window.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/exceptions.h"

namespace Orvex {
namespace {

// Live framework windows per creating thread.
std::mutex g_count_lock;
std::map<DWORD, int>& WindowCounts() {
  static std::map<DWORD, int> counts;
  return counts;
}

void CountWindow() {
  std::lock_guard<std::mutex> guard(g_count_lock);
  ++WindowCounts()[GetCurrentThreadId()];
}

// Returns the count left for the calling thread.
int UncountWindow() {
  std::lock_guard<std::mutex> guard(g_count_lock);
  return --WindowCounts()[GetCurrentThreadId()];
}

void ForgetThread() {
  std::lock_guard<std::mutex> guard(g_count_lock);
  WindowCounts().erase(GetCurrentThreadId());
}

CWindow* WindowOf(HWND handle) {
  return reinterpret_cast<CWindow*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
}

constexpr int kCursorLoopLimit = 256;

}  // namespace

CWindow::CWindow() : list_(MessageList::Create()) { list_->Add(this); }

CWindow::~CWindow() {
  // The object is going: its window must not reach it any more.
  if (IsWindow() && WindowOf(handle_) == this) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    if (kind_ == WindowKind::kWindow) DestroyWindow(handle_);
  }
  TakeBackCount();
  UnregisterOwnClass();
}

int CWindow::ThreadWindowCount() {
  std::lock_guard<std::mutex> guard(g_count_lock);
  auto found = WindowCounts().find(GetCurrentThreadId());
  return found == WindowCounts().end() ? 0 : found->second;
}

void CWindow::TakeBackCount() {
  if (!counted_) return;
  counted_ = false;
  if (UncountWindow() < 1) PostQuitMessage(0);
}

void CWindow::UnregisterOwnClass() {
  if (class_name_.IsEmpty()) return;
  UnregisterClassW(Wide(class_name_), GetModuleHandleW(nullptr));
  class_name_ = SharedString();
}

void CWindow::SetExceptionHandler(ExceptionHandler handler, void* context) {
  exception_handler_ = handler ? handler : DefaultExceptionHandler;
  exception_context_ = context;
}

void CWindow::DefaultExceptionHandler(CWindow& window, const std::exception& error, void*) {
  window.ShowException(u"エラー (3)", error);
}

void CWindow::Create(const CWindowParameter& parameter) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  CountWindow();
  counted_ = true;
  try {
    HWND handle;
    if (!parameter.class_name.IsEmpty()) {
      handle = CreateWindowExW(parameter.ex_style, Wide(parameter.class_name), nullptr,
                               parameter.style, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                               parameter.parent, parameter.menu, module, nullptr);
      if (!handle) throw Win32Exception(u"ウィンドウの作成に失敗");
      Attach(handle);
      subclassed_ = true;
      default_procedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DispatchingProcedure)));
    } else {
      const SharedString name =
          SharedString::Format(u"<%x:%p:%x>", static_cast<unsigned>(GetCurrentProcessId()),
                               static_cast<void*>(this), static_cast<unsigned>(std::rand()));
      WNDCLASSEXW window_class = {};
      window_class.cbSize = sizeof window_class;
      window_class.style =
          CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
      window_class.lpfnWndProc = InitialProcedure;
      window_class.hInstance = module;
      window_class.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
      window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      window_class.lpszClassName = Wide(name);
      if (!RegisterClassExW(&window_class)) throw Win32Exception(u"ウィンドウクラスの登録に失敗");
      class_name_ = name;
      default_procedure_ = DefWindowProcW;
      handle =
          CreateWindowExW(parameter.ex_style, Wide(name), nullptr, parameter.style, CW_USEDEFAULT,
                          0, CW_USEDEFAULT, 0, parameter.parent, parameter.menu, module, this);
      if (!handle) throw Win32Exception(u"ウィンドウの作成に失敗");
    }
    if (parameter.bring_to_foreground) BringToForeground();
  } catch (const std::exception& error) {
    // A window that refused its WM_CREATE has been through WM_DESTROY
    // already, which took the count back.
    TakeBackCount();
    handle_ = nullptr;
    UnregisterOwnClass();
    throw RuntimeException(GetDefaultEncoding().ToWide(error.what()));
  }
}

void CWindow::Attach(HWND handle) {
  handle_ = handle;
  SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

intptr_t CWindow::RunModalDialog(const CModalDialogParameter& parameter) {
  kind_ = WindowKind::kModalDialog;
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(parameter.resource_id),
                      parameter.owner, InitialDialogProcedure, reinterpret_cast<LPARAM>(this));
  if (result == -1) throw Win32Exception(u"ダイアログの作成に失敗");
  // A quit request queued while the dialog ran must not close the next box.
  DrainQuitMessages();
  return result;
}

void CWindow::Destroy() {
  if (!IsWindow()) {
    handle_ = nullptr;
    return;
  }
  HWND handle = handle_;
  switch (kind_) {
    case WindowKind::kModelessDialog:
      DestroyWindow(handle);
      break;
    case WindowKind::kModalDialog:
      EndDialog(handle, dialog_result_);
      break;
    case WindowKind::kWindow:
      ShowWindow(handle, SW_HIDE);
      SetStyle(WS_POPUP);
      SetWindowPos(handle, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      DestroyWindow(handle);
      UnregisterOwnClass();
      break;
  }
  handle_ = nullptr;
}

int CWindow::RunMessageLoop() {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ForgetThread();
        return static_cast<int>(message.wParam);
      }
      if (accelerators_ && handle_ && TranslateAcceleratorW(handle_, accelerators_, &message)) {
        continue;
      }
      if (kind_ == WindowKind::kModelessDialog && handle_ && IsDialogMessageW(handle_, &message)) {
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    WaitMessage();
  }
}

bool CWindow::ShowCursorNow() {
  if (GetWindowThreadProcessId(handle_, nullptr) != GetCurrentThreadId()) {
    cursor_request_ = 1;
    PostMessageW(handle_, WM_NULL, 0, 0);
    return false;
  }
  const bool was_hidden = ShowCursor(FALSE) + 1 < 0;
  for (int i = 0; i < kCursorLoopLimit && ShowCursor(TRUE) < 0; ++i) {
  }
  return was_hidden;
}

bool CWindow::HideCursorNow() {
  if (GetWindowThreadProcessId(handle_, nullptr) != GetCurrentThreadId()) {
    cursor_request_ = 2;
    PostMessageW(handle_, WM_NULL, 0, 0);
    return false;
  }
  const bool was_shown = ShowCursor(TRUE) - 1 >= 0;
  for (int i = 0; i < kCursorLoopLimit && ShowCursor(FALSE) >= 0; ++i) {
  }
  return was_shown;
}

bool CWindow::Dispatch(SMessage& message) {
  try {
    return list_->Dispatch(message);
  } catch (const std::exception& error) {
    DrainQuitMessages();
    exception_handler_(*this, error, exception_context_);
    return false;
  }
}

bool CWindow::OnMessage(SMessage& message) {
  switch (message.id) {
    case WM_NULL:
      switch (cursor_request_.exchange(0)) {
        case 1:
          ShowCursorNow();
          break;
        case 2:
          HideCursorNow();
          break;
      }
      return false;
    case WM_DESTROY:
      if (kind_ != WindowKind::kModalDialog) TakeBackCount();
      return true;
    case WM_ENDSESSION:
      Destroy();
      return false;
    case WM_NCDESTROY:
      SetWindowLongPtrW(message.window, GWLP_USERDATA, 0);
      handle_ = nullptr;
      // A subclassed window's own procedure still has to clean up.
      return !subclassed_;
    default:
      return false;
  }
}

LRESULT CALLBACK CWindow::InitialProcedure(HWND handle, UINT id, WPARAM wparam, LPARAM lparam) {
  if (id != WM_CREATE) return DefWindowProcW(handle, id, wparam, lparam);
  auto* window = static_cast<CWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
  window->Attach(handle);
  SetWindowLongPtrW(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DispatchingProcedure));
  return DispatchingProcedure(handle, id, wparam, lparam);
}

LRESULT CALLBACK CWindow::DispatchingProcedure(HWND handle, UINT id, WPARAM wparam, LPARAM lparam) {
  try {
    CWindow* window = WindowOf(handle);
    if (!window) return DefWindowProcW(handle, id, wparam, lparam);
    // Taken before the dispatch: WM_NCDESTROY lets go of the object.
    const WNDPROC default_procedure = window->default_procedure_;
    SMessage message{handle, id, wparam, lparam, 0, nullptr};
    if (window->Dispatch(message)) return message.result;
    return CallWindowProcW(default_procedure, handle, id, wparam, lparam);
  } catch (const std::exception& error) {
    Orvex::ShowException(nullptr, u"エラー (1)", error);
    return 0;
  } catch (...) {
    // Nothing may unwind into the system's code.
    return 0;
  }
}

INT_PTR CALLBACK CWindow::InitialDialogProcedure(HWND handle, UINT id, WPARAM wparam,
                                                 LPARAM lparam) {
  if (id != WM_INITDIALOG) return FALSE;
  auto* window = reinterpret_cast<CWindow*>(lparam);
  window->Attach(handle);
  SetWindowLongPtrW(handle, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(DispatchingDialogProcedure));
  const INT_PTR result = DispatchingDialogProcedure(handle, id, wparam, lparam);
  // The system shows a modal dialog once its loop first finds no message
  // waiting. A thread that stays busy, its timer due again by the time a
  // change is done or requests queued faster than it works them, never
  // gets there: the dialog would be open but never seen. One that ended
  // itself already is left as it is.
  if (window->kind_ == WindowKind::kModalDialog && window->handle_ == handle) {
    ShowWindow(handle, SW_SHOWNORMAL);
  }
  return result;
}

INT_PTR CALLBACK CWindow::DispatchingDialogProcedure(HWND handle, UINT id, WPARAM wparam,
                                                     LPARAM lparam) {
  try {
    CWindow* window = WindowOf(handle);
    if (!window) return FALSE;
    SMessage message{handle, id, wparam, lparam, TRUE, nullptr};
    if (window->Dispatch(message)) return message.result;
    return FALSE;
  } catch (const std::exception& error) {
    Orvex::ShowException(nullptr, u"エラー (2)", error);
    return FALSE;
  } catch (...) {
    return FALSE;
  }
}

}  // namespace Orvex

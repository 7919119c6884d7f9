#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

#include "foundation/shared_string.h"
#include "foundation/win32/msg_hooker.h"
#include "foundation/win32/wnd.h"

namespace Orvex {

// What every kind of window is created with.
class IWindowParameter {
 public:
  virtual ~IWindowParameter() = default;

  // After a successful creation the window is brought to the foreground.
  bool bring_to_foreground = true;
};

class CWindowParameter : public IWindowParameter {
 public:
  uint32_t style = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  uint32_t ex_style = WS_EX_APPWINDOW;
  HMENU menu = nullptr;
  HWND parent = nullptr;
  // Empty: the window gets a class of its own. Otherwise a window of this
  // class is created and subclassed.
  SharedString class_name;
};

class CModalDialogParameter : public IWindowParameter {
 public:
  uint16_t resource_id = 0;
  HWND owner = nullptr;
};

enum class WindowKind { kWindow = 0, kModelessDialog = 1, kModalDialog = 2 };

// A window whose messages go through a list of hookers, the window itself
// first. A window's thread ends its message loop when the last framework
// window it created is destroyed (modal dialogs do not count: they run
// their own loop). An exception thrown by a hooker never leaves the window
// procedure: it goes to the window's exception handler (by default a box
// "エラー (3)") and the message counts as not handled.
class CWindow : public CWnd, public IMsgHooker {
 public:
  using ExceptionHandler = void (*)(CWindow& window, const std::exception& error, void* context);

  CWindow();
  ~CWindow() override;

  // Throws RuntimeException with the text of whatever failed.
  void Create(const CWindowParameter& parameter);
  // Runs a modal dialog from the module's dialog resource with this window
  // as its object; returns the result it ended with. Throws Win32Exception
  // when the dialog cannot be created.
  intptr_t RunModalDialog(const CModalDialogParameter& parameter);
  // Ordinary windows are hidden and destroyed (and their class unregistered);
  // a modal dialog ends with the dialog result.
  void Destroy();

  // Runs the calling thread's message loop until the thread's last
  // framework window is gone; returns the quit code.
  int RunMessageLoop();

  void AddHooker(IMsgHooker* hooker) { list_->Add(hooker); }
  void SetExceptionHandler(ExceptionHandler handler, void* context);
  void SetAccelerators(HACCEL accelerators) { accelerators_ = accelerators; }
  void SetDialogResult(intptr_t result) { dialog_result_ = result; }
  WindowKind Kind() const { return kind_; }
  void SetKind(WindowKind kind) { kind_ = kind; }

  // Forces the cursor visible (hidden) for the window's thread; true when it
  // had been hidden (shown). From another thread the request is carried out
  // by the window's thread and the result is false.
  bool ShowCursorNow();
  bool HideCursorNow();

  // Passes a message through the hookers as the window procedure does,
  // exceptions included. True when a hooker handled it.
  bool Dispatch(SMessage& message);

  bool OnMessage(SMessage& message) override;

  // Framework windows alive on the calling thread.
  static int ThreadWindowCount();

 private:
  static LRESULT CALLBACK InitialProcedure(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK DispatchingProcedure(HWND, UINT, WPARAM, LPARAM);
  static INT_PTR CALLBACK InitialDialogProcedure(HWND, UINT, WPARAM, LPARAM);
  static INT_PTR CALLBACK DispatchingDialogProcedure(HWND, UINT, WPARAM, LPARAM);
  static void DefaultExceptionHandler(CWindow& window, const std::exception& error, void*);

  void Attach(HWND handle);
  void TakeBackCount();
  void UnregisterOwnClass();

  WindowKind kind_ = WindowKind::kWindow;
  MessageList* list_;
  SharedString class_name_;  // the class registered for this window, if any
  WNDPROC default_procedure_ = DefWindowProcW;
  bool subclassed_ = false;
  // Whether this window is in its thread's count, so that a failed creation
  // and the WM_DESTROY it causes take it back once only.
  bool counted_ = false;
  ExceptionHandler exception_handler_ = DefaultExceptionHandler;
  void* exception_context_ = nullptr;
  HACCEL accelerators_ = nullptr;
  // Set by other threads: 0 none, 1 show, 2 hide.
  std::atomic<int> cursor_request_{0};
  intptr_t dialog_result_ = 0;
};

}  // namespace Orvex

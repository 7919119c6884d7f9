#include "foundation/win32/window.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/exceptions.h"
#include "foundation/win32/dialog_tooltip.h"
#include "foundation/win32/resource_dialog.h"
#include "foundation/win32/window_test_support.h"
// clang-format off: needs the declarations of win32.h first
#include <commctrl.h>
// clang-format on

namespace Orvex {
namespace {

using Test::FunctionHooker;
using Test::RecordingNotifier;

constexpr UINT kPing = WM_APP + 7;

CWindowParameter HiddenWindow() {
  CWindowParameter parameter;
  parameter.style = WS_POPUP;
  parameter.ex_style = 0;
  parameter.bring_to_foreground = false;
  return parameter;
}

bool QuitPending() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!probe) GTEST_SKIP() << "no window station to create windows in";
    DestroyWindow(probe);
    DrainQuitMessages();
  }
  void TearDown() override { DrainQuitMessages(); }
};

TEST_F(WindowTest, AnExceptionInAHandlerBecomesTheBoxAndTheMessageIsNotHandled) {
  RecordingNotifier boxes;
  CWindow window;
  int after_calls = 0;
  FunctionHooker thrower([](SMessage& m) -> bool {
    if (m.id == kPing) {
      m.result = 42;
      throw RuntimeException(u"壊れた");
    }
    return false;
  });
  FunctionHooker after([&](SMessage& m) { return m.id == kPing && ++after_calls; });
  window.AddHooker(&thrower);
  window.AddHooker(&after);
  window.Create(HiddenWindow());

  // Not handled: the default procedure answers, not the hooker's 42.
  EXPECT_EQ(SendMessageW(window.Handle(), kPing, 0, 0), 0);
  EXPECT_EQ(after_calls, 0);
  ASSERT_EQ(boxes.captions.size(), 1u);
  EXPECT_EQ(boxes.captions[0], SharedString(u"エラー (3)"));
  EXPECT_EQ(boxes.texts[0], SharedString(u"壊れた"));

  // The window goes on; an application handler replaces the box.
  int handled_errors = 0;
  window.SetExceptionHandler(
      [](CWindow&, const std::exception&, void* context) { ++*static_cast<int*>(context); },
      &handled_errors);
  SendMessageW(window.Handle(), kPing, 0, 0);
  EXPECT_EQ(handled_errors, 1);
  EXPECT_EQ(boxes.captions.size(), 1u);
  window.Destroy();
}

TEST_F(WindowTest, TheLoopEndsWithTheThreadsLastWindowAndATimerOutlivesErrors) {
  RecordingNotifier boxes;
  const int windows_before = CWindow::ThreadWindowCount();
  CWindow first;
  CWindow second;
  first.Create(HiddenWindow());
  second.Create(HiddenWindow());
  EXPECT_EQ(CWindow::ThreadWindowCount(), windows_before + 2);

  int ticks = 0;
  FunctionHooker ticker([&](SMessage& m) -> bool {
    if (m.id != WM_TIMER) return false;
    if (++ticks < 3) throw RuntimeException(u"tick");
    first.Destroy();
    // One window is left: the loop must go on until it goes too.
    EXPECT_FALSE(QuitPending());
    PostMessageW(second.Handle(), kPing, 0, 0);
    return true;
  });
  FunctionHooker closer([&](SMessage& m) {
    if (m.id == kPing) second.Destroy();
    return false;
  });
  first.AddHooker(&ticker);
  second.AddHooker(&closer);
  first.SetTimer(1, 10);

  EXPECT_EQ(first.RunMessageLoop(), 0);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(boxes.captions.size(), 2u);
  EXPECT_EQ(CWindow::ThreadWindowCount(), 0);
  EXPECT_FALSE(first.IsWindow());
  EXPECT_FALSE(second.IsWindow());
}

TEST_F(WindowTest, AWindowThatRefusesItsCreationIsNotCounted) {
  const int windows_before = CWindow::ThreadWindowCount();
  CWindow keeper;  // keeps the thread's count above zero
  keeper.Create(HiddenWindow());
  CWindow window;
  FunctionHooker refuser([](SMessage& m) {
    if (m.id != WM_CREATE) return false;
    m.result = -1;
    return true;
  });
  window.AddHooker(&refuser);
  EXPECT_THROW(window.Create(HiddenWindow()), RuntimeException);
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_EQ(CWindow::ThreadWindowCount(), windows_before + 1);
  EXPECT_FALSE(QuitPending());
  keeper.Destroy();
  EXPECT_EQ(CWindow::ThreadWindowCount(), windows_before);
}

// A dialog of the test's own resources that ends itself.
class SelfClosingDialog : public CResourceDialogBase {
 public:
  SelfClosingDialog() : CResourceDialogBase(1) {}
  bool OnMessage(SMessage& message) override {
    if (message.id == WM_INITDIALOG) {
      tooltip = std::make_unique<CDialogTooltip>(window_);
      tooltip->AddTool(10, u"編集欄");
      tooltip->AddTool(IDOK, u"OK");
      tooltip->AddTool(999, u"ない");
      ReadTools();
      PostMessageW(message.window, kPing, 0, 0);
      return true;
    }
    if (message.id == kPing) {
      if (throw_on_ping) throw RuntimeException(u"dialog");
      EndDialog(7);
      return true;
    }
    if (message.id == WM_TIMER) EndDialog(8);  // after the error box
    return false;
  }

  void ReadTools() {
    HWND tip = tooltip->TooltipWindow();
    tool_count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < tool_count; ++i) {
      TTTOOLINFOW tool = {};
      tool.cbSize = TTTOOLINFOW_V1_SIZE;
      SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool));
      if (reinterpret_cast<HWND>(tool.uId) == GetDlgItem(Handle(), 10)) {
        edit_centred = (tool.uFlags & TTF_CENTERTIP) != 0;
      } else {
        button_centred = (tool.uFlags & TTF_CENTERTIP) != 0;
      }
    }
  }

  bool throw_on_ping = false;
  std::unique_ptr<CDialogTooltip> tooltip;
  int tool_count = 0;
  bool edit_centred = false;
  bool button_centred = true;
};

TEST_F(WindowTest, AModalDialogDoesNotCountAndItsToolsCentreOnEdits) {
  RecordingNotifier boxes;
  CWindow owner;
  owner.Create(HiddenWindow());
  const int windows = CWindow::ThreadWindowCount();

  SelfClosingDialog dialog;
  EXPECT_EQ(dialog.DoModal(owner.Handle()), 7);
  EXPECT_EQ(CWindow::ThreadWindowCount(), windows);
  EXPECT_FALSE(QuitPending());
  EXPECT_EQ(dialog.tool_count, 2);  // the missing control got none
  EXPECT_TRUE(dialog.edit_centred);
  EXPECT_FALSE(dialog.button_centred);
  // Its tip window went with the dialog.
  EXPECT_EQ(dialog.tooltip->TooltipWindow(), nullptr);

  // An error inside the dialog is a box, and the dialog goes on.
  SelfClosingDialog failing;
  failing.throw_on_ping = true;
  FunctionHooker arm([&](SMessage& m) {
    if (m.id == WM_INITDIALOG) SetTimer(m.window, 1, 20, nullptr);
    return false;
  });
  failing.Window().AddHooker(&arm);
  EXPECT_EQ(failing.DoModal(owner.Handle()), 8);
  ASSERT_EQ(boxes.captions.size(), 1u);
  EXPECT_EQ(boxes.captions[0], SharedString(u"エラー (3)"));
  owner.Destroy();
}

// A dialog on a thread whose work outlasts its timer's period, so that a
// timer message is waiting at every turn of the dialog's loop.
class BusyThreadDialog : public CResourceDialogBase {
 public:
  BusyThreadDialog() : CResourceDialogBase(1) {}
  bool OnMessage(SMessage& message) override {
    if (message.id == WM_INITDIALOG) {
      SetTimer(message.window, 1, 10, nullptr);
      return true;
    }
    if (message.id != WM_TIMER) return false;
    Sleep(20);
    if (IsWindowVisible(message.window)) {
      EndDialog(1);
    } else if (++turns == 100) {
      EndDialog(2);
    }
    return true;
  }
  int turns = 0;
};

TEST_F(WindowTest, AModalDialogIsSeenAtOnceOnAThreadThatStaysBusy) {
  CWindow owner;
  owner.Create(HiddenWindow());
  BusyThreadDialog dialog;
  EXPECT_EQ(dialog.DoModal(owner.Handle()), 1);
  EXPECT_EQ(dialog.turns, 0);
  owner.Destroy();
}

}  // namespace
}  // namespace Orvex

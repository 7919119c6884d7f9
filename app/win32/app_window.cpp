#include "app/win32/app_window.h"

#include <chrono>

#include "app/status_report.h"
#include "app/win32/change_hook_launcher.h"
#include "app/win32/config_dialog.h"
#include "app/win32/status_channel.h"
#include "foundation/exceptions.h"
#include "foundation/scope_exit.h"
#include "foundation/win32/program_window.h"

using Orvex::SharedString;

namespace {

// Posted to itself once the window exists: start the cycle, or make the one
// change of "/once".
constexpr UINT kStartMessage = WM_APP + 2;

constexpr UINT_PTR kChangeTimerId = 100;
// Armed by each display change and fired once: the system sends a burst of
// them while monitors come and go, and the pictures are fitted again only
// to the layout it settles on.
constexpr UINT_PTR kDisplayTimerId = 101;
constexpr uint32_t kDisplaySettleMs = 2000;

}  // namespace

CAppWindow::CAppWindow(bool once, WallpaperCycle::StoreFactory store_factory)
    : once_(once), store_factory_(std::move(store_factory)) {
  window_.AddHooker(this);
}

CAppWindow::~CAppWindow() {
  // The cycle's observer, the keys and the icon go before the window they
  // report to.
  resident_.reset();
  hotkeys_.reset();
  hotkey_grabber_.reset();
  tray_icon_.reset();
  window_.Destroy();
}

int CAppWindow::Run() {
  Orvex::CWindowParameter parameter;
  parameter.style = WS_POPUP;
  parameter.ex_style = 0;
  parameter.bring_to_foreground = false;
  window_.Create(parameter);
  window_.RunMessageLoop();
  if (once_error_) std::rethrow_exception(once_error_);
  return 0;
}

void CAppWindow::OnCreate() {
  // A second start looks for this mark to find the program's window.
  SetPropW(window_.Handle(), Orvex::kProgramWindowProperty, reinterpret_cast<HANDLE>(1));

  RegisterLoadersFromSettings(loaders_, store_factory_);
  tray_icon_ = std::make_unique<TrayIcon>(window_.Handle(), kTrayCallbackMessage);
  desktop_ = std::make_unique<Win32Desktop>(window_.Handle(), store_factory_);
  resident_ = std::make_unique<ResidentCycle>(*desktop_, loaders_, *this, *this, store_factory_,
                                              LaunchChangeHook);
  resident_->cycle.SetStatusBoard(status_);
  if (!once_) {
    status_responder_ = std::make_unique<StatusResponder>(status_);
    SetPropW(window_.Handle(), kStatusWindowProperty, status_responder_->Handle());
    hotkey_grabber_ = std::make_unique<Win32HotKeyGrabber>(window_.Handle());
    hotkeys_ = std::make_unique<HotKeys>(*hotkey_grabber_, *desktop_);
  }
  // The first change waits for the message loop. WM_CREATE arrives as a
  // callback from inside window creation, and the system swallows whatever
  // is raised there: a plug-in that faults during that change would
  // abandon our frames without their guard ever hearing of it.
  PostMessageW(window_.Handle(), kStartMessage, 0, 0);
}

void CAppWindow::OnTrayCallback(LPARAM mouse_message) {
  switch (mouse_message) {
    case WM_RBUTTONUP:
      window_.ShowPopupMenu(kTrayMenuId);
      break;
    case WM_LBUTTONDBLCLK:
      resident_->commands.OnDoubleClick();
      break;
    default:
      break;
  }
}

void CAppWindow::ApplyHotKeys() {
  if (!hotkeys_) return;
  ConfigStore store = store_factory_();
  try {
    store.LoadWithDefaults();
  } catch (const Orvex::Exception&) {
    // The change that comes with every reload has reported the file
    // already; the keys stay as they were.
    return;
  }
  hotkeys_->Apply(store);
}

void CAppWindow::AnswerStatus(HWND caller) {
  const Orvex::SharedString report =
      StatusReport(status_->Read(), std::chrono::steady_clock::now());
  if (!report.IsEmpty()) SendStatusReply(window_.Handle(), caller, report);
}

bool CAppWindow::OnMessage(Orvex::SMessage& message) {
  switch (message.id) {
    case WM_TIMER:
      if (message.wparam == kDisplayTimerId) {
        KillTimer(window_.Handle(), kDisplayTimerId);
        if (resident_) resident_->cycle.RefitToDisplays();
      } else if (resident_) {
        resident_->cycle.ChangeNow();
      }
      return true;
    case WM_DISPLAYCHANGE:
      if (resident_) window_.SetTimer(kDisplayTimerId, kDisplaySettleMs);
      return false;
    case WM_COMMAND: {
      if (!resident_) return false;
      const int id = LOWORD(message.wparam);
      const bool handled = resident_->commands.OnCommand(id);
      // Both come back with the settings as they are now: the keys follow.
      if (id == kCmdNotify || id == kCmdSettings) ApplyHotKeys();
      return handled;
    }
    case WM_HOTKEY:
      if (resident_ && hotkey_grabber_) {
        if (const auto action = hotkey_grabber_->ActionOf(message.wparam)) {
          resident_->commands.OnHotKey(*action);
        }
      }
      return true;
    case kStatusRequestMessage:
      if (resident_) AnswerStatus(reinterpret_cast<HWND>(message.wparam));
      return true;
    case kTrayCallbackMessage:
      if (!resident_) return false;
      OnTrayCallback(message.lparam);
      return message.lparam == WM_RBUTTONUP || message.lparam == WM_LBUTTONDBLCLK;
    default:
      break;
  }
  if (tray_icon_ && tray_icon_->OnTaskbarCreated(message.id)) return true;
  switch (message.id) {
    case WM_CREATE:
      RunStage([this] { OnCreate(); });
      return true;
    case kStartMessage:
      if (resident_) {
        RunStage([this] { resident_->commands.Create(once_); });
        // After the first change, so that a box about a key does not keep
        // the wallpaper waiting.
        ApplyHotKeys();
      }
      return true;
    case WM_CLOSE:
      window_.Destroy();
      return true;
    case WM_DESTROY:
      if (tray_icon_) tray_icon_->Remove();
      if (hotkey_grabber_) hotkey_grabber_->ReleaseAll();
      RemovePropW(message.window, Orvex::kProgramWindowProperty);
      RemovePropW(message.window, kStatusWindowProperty);
      return true;
    default:
      return false;
  }
}

template <class Stage>
void CAppWindow::RunStage(const Stage& stage) {
  if (!once_) {
    stage();
    return;
  }
  // Without an icon there is nobody to read a box about: the error leaves
  // Run once the window has closed.
  try {
    stage();
  } catch (const std::exception&) {
    once_error_ = std::current_exception();
    Close();
  }
}

void CAppWindow::SetTrayIcon(int icon_id, const SharedString& tooltip) {
  // The tip goes into the record first, so that the icon arrives with it.
  tray_icon_->SetTip(tooltip);
  tray_icon_->SetIcon(icon_id);
  window_.SetText(tooltip);
}

void CAppWindow::SetChangeTimer(uint32_t period_ms) { window_.SetTimer(kChangeTimerId, period_ms); }

std::optional<SharedString> CAppWindow::ChooseFolder(const SharedString& title,
                                                     const SharedString& start) {
  return ChooseFolderDialog(window_.Handle(), title, start);
}

bool CAppWindow::RunSettingsDialog(ConfigStore& store) {
  CConfigDialog dialog(store);
  settings_dialog_ = &dialog;
  const Orvex::ScopeExit closed([this] { settings_dialog_ = nullptr; });
  return dialog.DoModal(window_.Handle()) == IDOK;
}

void CAppWindow::RaiseSettingsDialog() {
  if (!settings_dialog_) return;
  if (HWND open = settings_dialog_->Handle()) SetForegroundWindow(open);
}

void CAppWindow::PostCommand(int id) {
  PostMessageW(window_.Handle(), WM_COMMAND, static_cast<WPARAM>(id), 0);
}

void CAppWindow::Close() {
  // Posted: this may run while the window is still being created.
  PostMessageW(window_.Handle(), WM_CLOSE, 0, 0);
}

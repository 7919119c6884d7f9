#pragma once

#include <exception>
#include <memory>
#include <optional>

#include "app/hotkeys.h"
#include "app/start_up.h"
#include "app/status_board.h"
#include "app/tray_commands.h"
#include "app/tray_host.h"
#include "app/wallpaper_cycle.h"
#include "app/win32/desktop.h"
#include "app/win32/hotkey_grabber.h"
#include "app/win32/status_responder.h"
#include "app/win32/tray_icon.h"
#include "codecs/loader_registry.h"
#include "foundation/win32/msg_hooker.h"
#include "foundation/win32/window.h"

// The tray icon's menu in the resources.
inline constexpr int kTrayMenuId = 102;
// The message the tray icon sends its window.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;

// The resident program: a hidden window that owns the tray icon and the
// change timer and turns clicks, menu choices and a second start's
// notification, its hotkeys and a second start's "/status" into the
// portable commands. Its text is always the tray
// tooltip, so another process can read the state from it.
class CConfigDialog;

class CAppWindow : public Orvex::IMsgHooker, public ITrayHost, public ITrayShell {
 public:
  // once: change the wallpaper once and close, without an icon.
  // store_factory: the settings store every operation loads (tests point
  // it elsewhere).
  explicit CAppWindow(bool once,
                      WallpaperCycle::StoreFactory store_factory = WallpaperCycle::ProgramStore);
  ~CAppWindow() override;

  // Creates the window and runs the thread's message loop until it is
  // closed. Returns 0. In the one-shot mode a failure of the change's
  // settings ends the run with that error, as a start that cannot do its
  // one job.
  int Run();

  HWND Handle() const { return window_.Handle(); }

  bool OnMessage(Orvex::SMessage& message) override;

  // ITrayHost
  void SetTrayIcon(int icon_id, const Orvex::SharedString& tooltip) override;
  void SetChangeTimer(uint32_t period_ms) override;

  // ITrayShell
  std::optional<Orvex::SharedString> ChooseFolder(const Orvex::SharedString& title,
                                                  const Orvex::SharedString& start) override;
  bool RunSettingsDialog(ConfigStore& store) override;
  void RaiseSettingsDialog() override;
  void PostCommand(int id) override;
  void Close() override;

 private:
  void OnCreate();
  // Runs a step of creation or start; with "/once" its error is kept for
  // Run and the window closes.
  template <class Stage>
  void RunStage(const Stage& stage);
  void OnTrayCallback(LPARAM mouse_message);
  // Grabs the keys the settings name now.
  void ApplyHotKeys();
  // Sends the report to the second start's window that asked for it (one
  // that asked this window rather than the status window).
  void AnswerStatus(HWND caller);

  bool once_;
  std::exception_ptr once_error_;
  WallpaperCycle::StoreFactory store_factory_;
  Orvex::CWindow window_;
  Orvex::LoaderRegistry loaders_;
  // Made when the window exists: the boxes they show belong to it.
  std::unique_ptr<TrayIcon> tray_icon_;
  std::unique_ptr<Win32Desktop> desktop_;
  std::unique_ptr<ResidentCycle> resident_;
  std::shared_ptr<StatusBoard> status_ = std::make_shared<StatusBoard>();
  // Only the resident program answers "/status".
  std::unique_ptr<StatusResponder> status_responder_;
  // Only the resident program has hotkeys; "/once" has none.
  std::unique_ptr<Win32HotKeyGrabber> hotkey_grabber_;
  std::unique_ptr<HotKeys> hotkeys_;
  // The settings dialog while it is open, to be brought to the front.
  CConfigDialog* settings_dialog_ = nullptr;
};

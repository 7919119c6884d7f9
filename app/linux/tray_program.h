#pragma once

#include <QDialog>
#include <QMenu>
#include <QObject>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/desktop.h"
#include "app/hotkeys.h"
#include "app/start_up.h"
#include "app/status_board.h"
#include "app/tray_commands.h"
#include "app/tray_host.h"
#include "app/wallpaper_cycle.h"
#include "codecs/loader_registry.h"

// The resident program on a Linux desktop: the tray icon with its menu, the
// change timer, and the portable cycle and commands behind them, as the
// Windows tray window has them. Everything runs on the Qt main thread; a
// command's error is shown in a box and the program goes on.
class TrayProgram : public QObject, public ITrayHost, public ITrayShell {
 public:
  // store_factory: the settings every operation loads; launcher: the start
  // of the OnChange command (none without one).
  explicit TrayProgram(IDesktop& desktop,
                       WallpaperCycle::StoreFactory store_factory = WallpaperCycle::ProgramStore,
                       HookLauncher launcher = {});
  ~TrayProgram() override;

  // Registers the loaders and, once the event loop runs, starts the cycle
  // (icon, timer, maybe a first change). Without a tray to show the icon in,
  // the user is told so once and gets the settings dialog instead; closing
  // it ends the program.
  void Start();

  // Runs a command of the tray menu, or the notification of a second start;
  // an error is shown, not thrown.
  void RunCommand(int id);
  // What a second start sent: "notify" has the wallpaper changed now,
  // "previous" and "exclude" run those commands, "status" is answered with
  // the status report in UTF-8; other lines are ignored. Returns the answer
  // for the sender, empty when there is none.
  std::string OnMessage(const std::string& message);
  // Answers "status" as OnMessage does, from what the cycle posted last,
  // on any thread: the socket's listener answers it while a change runs.
  // Nothing for every other line, which is OnMessage's to act on.
  std::function<std::optional<std::string>(const std::string&)> StatusAnswerer() const;
  // A hotkey of the settings was pressed.
  void OnHotKey(HotKeyAction action);

  // Where the hotkeys of the settings are grabbed, set before Start; they
  // are grabbed at the start and again whenever the settings may have
  // changed (the dialog's OK, a second start). Without one, none are.
  void SetHotKeyGrabber(IHotKeyGrabber* grabber) { grabber_ = grabber; }

  QSystemTrayIcon& TrayIcon() { return tray_icon_; }
  QMenu& Menu() { return menu_; }
  const QTimer& ChangeTimer() const { return timer_; }
  // Restarted by each notification of a display change; when it runs out,
  // the pictures on show are fitted to the monitors as they are then.
  const QTimer& RefitTimer() const { return refit_timer_; }
  const WallpaperCycle& Cycle() const { return resident_->cycle; }
  bool HasTray() const { return has_tray_; }

  // Replace QSystemTrayIcon::isSystemTrayAvailable and the question
  // whether the tray is a status-notifier host (tests).
  void SetTrayProbe(std::function<bool()> probe) { tray_probe_ = std::move(probe); }
  void SetStatusNotifierProbe(std::function<bool()> probe) { sni_probe_ = std::move(probe); }

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
  template <class Step>
  void Guarded(const Step& step);
  void StartCycle();
  void WatchDisplays();
  void WatchScreen(QScreen* screen);
  void ApplyHotKeys();

  IDesktop& desktop_;
  WallpaperCycle::StoreFactory store_factory_;
  HookLauncher launcher_;
  Orvex::LoaderRegistry loaders_;
  QSystemTrayIcon tray_icon_;
  QMenu menu_;
  QTimer timer_;
  QTimer refit_timer_;
  std::function<bool()> tray_probe_;
  std::function<bool()> sni_probe_;
  bool has_tray_ = true;
  bool click_is_double_click_ = false;
  std::unique_ptr<ResidentCycle> resident_;
  // Shared with the listener, which may outlive the cycle by a moment.
  std::shared_ptr<StatusBoard> status_ = std::make_shared<StatusBoard>();
  IHotKeyGrabber* grabber_ = nullptr;
  // Declared after the cycle: released before the commands they post to go.
  std::unique_ptr<HotKeys> hotkeys_;
  // The settings dialog while it is open, to be brought to the front.
  QDialog* settings_dialog_ = nullptr;
};

// The picture of the tray icon with the identifier (running or suspended).
QIcon TrayIconPicture(int icon_id);

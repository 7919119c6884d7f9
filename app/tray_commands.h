#pragma once

#include <optional>

#include "app/config_store.h"
#include "app/desktop.h"
#include "app/hotkeys.h"
#include "app/wallpaper_cycle.h"
#include "foundation/shared_string.h"

// The commands of the tray menu (and the notification a second start posts).
inline constexpr int kCmdChooseFolder = 40001;
inline constexpr int kCmdSuspend = 40002;
inline constexpr int kCmdResume = 40003;
inline constexpr int kCmdExit = 40004;
inline constexpr int kCmdChangeNow = 40005;
inline constexpr int kCmdNotify = 40006;
inline constexpr int kCmdOpenSource = 40007;
inline constexpr int kCmdSettings = 40008;
inline constexpr int kCmdOpenProgramFolder = 40009;
inline constexpr int kCmdOpenWebPage = 40010;
inline constexpr int kCmdSendMail = 40011;
inline constexpr int kCmdPrevious = 40012;
inline constexpr int kCmdExclude = 40013;

// Where the program is distributed, and how its author is written to.
inline constexpr char16_t kProjectPageAddress[] = u"https://pelmora.example.org/";
inline constexpr char16_t kAuthorMailAddress[] = u"mailto:author@pelmora.example.org";

// What the tray window does for the commands.
class ITrayShell {
 public:
  ITrayShell() = default;
  ITrayShell(const ITrayShell&) = delete;
  ITrayShell& operator=(const ITrayShell&) = delete;
  virtual ~ITrayShell() = default;

  // The shell's default action for a path or address; throws the
  // "プロセスの作成に失敗" error when the shell refuses. Each platform's
  // process start does this; tests record the call instead.
  virtual void OpenWithShell(const Orvex::SharedString& path);
  // The folder chooser owned by the tray window; nothing when cancelled.
  virtual std::optional<Orvex::SharedString> ChooseFolder(const Orvex::SharedString& title,
                                                          const Orvex::SharedString& start) = 0;
  // The settings dialog, modal on the tray window: true on OK, when the
  // store then holds the dialog's values; on Cancel the store is untouched.
  virtual bool RunSettingsDialog(ConfigStore& store) = 0;
  // Brings the settings dialog that is open to the front.
  virtual void RaiseSettingsDialog() = 0;
  // Has the tray window run the command once the current message is done.
  virtual void PostCommand(int id) = 0;
  // Closes the tray window, which ends the program. Also called while the
  // window is being created (the one-shot start).
  virtual void Close() = 0;
};

// The tray window's commands, its double click and its start, on the
// portable change cycle. Every command loads the settings afresh; those that
// change them edit the file as it is at that moment, under the settings
// lock, so that nothing another process or a nested dialog wrote meanwhile
// is undone.
class TrayCommands {
 public:
  TrayCommands(WallpaperCycle& cycle, IDesktop& desktop, ITrayShell& shell,
               WallpaperCycle::StoreFactory store_factory = WallpaperCycle::ProgramStore);
  TrayCommands(const TrayCommands&) = delete;
  TrayCommands& operator=(const TrayCommands&) = delete;

  // Runs a menu command; false for identifiers that are not ours.
  bool OnCommand(int id);
  // Posts the command that DoubleClick chooses (none for unknown values).
  void OnDoubleClick();
  // Posts the command of a hotkey that was pressed.
  void OnHotKey(HotKeyAction action);
  // What the tray window does once it exists and the loaders are
  // registered: with once, one change and then Close (also when the change
  // fails); otherwise the cycle starts (icon, timer, maybe a change).
  void Create(bool once);

 private:
  void ChooseImageFolder();
  void Suspend();
  void Resume();
  void EditSettings();

  WallpaperCycle& cycle_;
  IDesktop& desktop_;
  ITrayShell& shell_;
  WallpaperCycle::StoreFactory store_factory_;
  // The menu stays reachable while the settings dialog is open; a second
  // request shows that one rather than stacking another on it.
  bool settings_dialog_open_ = false;
};

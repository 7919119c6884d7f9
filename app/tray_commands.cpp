#include "app/tray_commands.h"

#include <functional>
#include <utility>

#include "app/config_dialog_rules.h"
#include "app/config_keys.h"
#include "foundation/file_system.h"
#include "foundation/process.h"
#include "foundation/scope_exit.h"

using Orvex::SharedString;

namespace {

// Changes the settings on the file as it is now (see ConfigStore::Change):
// a second start, a double click or an editor may have written it since the
// command read it.
ConfigStore ChangeSettings(ConfigStore store, const std::function<void(ConfigStore&)>& change) {
  store.Change(ConfigStore::Base::kDefaults, change);
  return store;
}

}  // namespace

void ITrayShell::OpenWithShell(const SharedString& path) {
  Orvex::ProcessStartInfo info;
  info.file = path;
  Orvex::StartProcess(info);
}

TrayCommands::TrayCommands(WallpaperCycle& cycle, IDesktop& desktop, ITrayShell& shell,
                           WallpaperCycle::StoreFactory store_factory)
    : cycle_(cycle), desktop_(desktop), shell_(shell), store_factory_(std::move(store_factory)) {}

bool TrayCommands::OnCommand(int id) {
  switch (id) {
    case kCmdChooseFolder:
      ChooseImageFolder();
      return true;
    case kCmdSuspend:
      Suspend();
      return true;
    case kCmdResume:
      Resume();
      return true;
    case kCmdExit:
      shell_.Close();
      return true;
    case kCmdChangeNow:
    case kCmdNotify:
      cycle_.ChangeNow();
      return true;
    case kCmdPrevious:
      cycle_.ShowPrevious();
      return true;
    // With a picture per monitor, the one the user is pointing at.
    case kCmdExclude:
      cycle_.ExcludeCurrent(desktop_.MonitorUnderPointer());
      return true;
    case kCmdOpenSource:
      shell_.OpenWithShell(cycle_.SourceOn(desktop_.MonitorUnderPointer()));
      return true;
    case kCmdSettings:
      EditSettings();
      return true;
    case kCmdOpenProgramFolder:
      shell_.OpenWithShell(Orvex::GetExecutableDirectory());
      return true;
    case kCmdOpenWebPage:
      shell_.OpenWithShell(kProjectPageAddress);
      return true;
    case kCmdSendMail:
      shell_.OpenWithShell(kAuthorMailAddress);
      return true;
    default:
      return false;
  }
}

void TrayCommands::OnDoubleClick() {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  switch (static_cast<DoubleClickChoice>(store.GetInt(config_key::kDoubleClick))) {
    case DoubleClickChoice::kChooseFolder:
      shell_.PostCommand(kCmdChooseFolder);
      break;
    case DoubleClickChoice::kChangeNow:
      shell_.PostCommand(kCmdChangeNow);
      break;
    case DoubleClickChoice::kOpenSource:
      shell_.PostCommand(kCmdOpenSource);
      break;
    case DoubleClickChoice::kSuspendOrResume:
      shell_.PostCommand(store.GetBool(config_key::kSuspend) ? kCmdResume : kCmdSuspend);
      break;
    case DoubleClickChoice::kSettings:
      shell_.PostCommand(kCmdSettings);
      break;
    default:
      break;
  }
}

void TrayCommands::Create(bool once) {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  if (!once) {
    cycle_.Start(store);
    return;
  }
  // A one-shot start has no icon and nothing to click: if the change fails
  // before the image stage, the window must still go, or the process would
  // stay behind, invisible.
  try {
    cycle_.ChangeWallpaper(store);
  } catch (...) {
    shell_.Close();
    throw;
  }
  shell_.Close();
}

void TrayCommands::ChooseImageFolder() {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  const auto chosen =
      shell_.ChooseFolder(u"画像フォルダの設定", WallpaperCycle::ImageFolder(store));
  if (!chosen) return;
  // The chooser runs its own message loop; the file may have changed
  // meanwhile, so only the folder is written onto it as it is now.
  ChangeSettings(store_factory_(),
                 [&](ConfigStore& now) { now.SetString(config_key::kImageDir, *chosen); });
}

void TrayCommands::Suspend() {
  const ConfigStore store = ChangeSettings(
      store_factory_(), [](ConfigStore& now) { now.SetBool(config_key::kSuspend, true); });
  cycle_.UpdateSuspendState(store);
  // Also when already suspended: the wallpaper may have been set since.
  if (store.GetBool(config_key::kRemoveOnSuspend)) desktop_.RemoveWallpaper();
}

void TrayCommands::Resume() {
  const ConfigStore store = ChangeSettings(
      store_factory_(), [](ConfigStore& now) { now.SetBool(config_key::kSuspend, false); });
  if (cycle_.UpdateSuspendState(store)) {
    cycle_.UpdateInterval(store);
    cycle_.ChangeWallpaper(store);
  }
}

void TrayCommands::EditSettings() {
  if (settings_dialog_open_) {
    // As if cancelled: the open dialog saves what the user does in it.
    shell_.RaiseSettingsDialog();
    return;
  }
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  // A setting the dialog cannot show is reported before it opens.
  CheckConfigDialogValues(store);
  const ConfigStore::Map shown = store.Entries();
  settings_dialog_open_ = true;
  const Orvex::ScopeExit closed([this] { settings_dialog_open_ = false; });
  if (!shell_.RunSettingsDialog(store)) return;

  // The dialog may have been open for long: a second start may have
  // suspended or resumed, a double click may have chosen a folder. Only what
  // the user changed in the dialog is written, onto the file as it is now.
  ChangeSettings(store_factory_(), [&](ConfigStore& now) {
    for (const std::u16string_view key : ConfigDialogKeys()) {
      const auto edited = store.Entries().find(SharedString(key));
      if (edited == store.Entries().end()) continue;
      const auto before = shown.find(edited->first);
      if (before != shown.end() && before->second == edited->second) continue;
      now.SetString(edited->first, edited->second);
    }
  });
}

void TrayCommands::OnHotKey(HotKeyAction action) {
  switch (action) {
    case HotKeyAction::kNext:
      shell_.PostCommand(kCmdChangeNow);
      break;
    case HotKeyAction::kPrevious:
      shell_.PostCommand(kCmdPrevious);
      break;
    case HotKeyAction::kExclude:
      shell_.PostCommand(kCmdExclude);
      break;
    case HotKeyAction::kSuspendOrResume:
      shell_.PostCommand(cycle_.Suspended() ? kCmdResume : kCmdSuspend);
      break;
  }
}

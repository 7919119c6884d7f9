#include "app/linux/tray_program.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <chrono>

#include "app/linux/qt_text.h"
#include "app/linux/settings_dialog.h"
#include "app/linux/status_notifier_host.h"
#include "app/linux/tray_menu.h"
#include "app/start_up.h"
#include "app/status_report.h"
#include "foundation/error_reporting.h"
#include "foundation/scope_exit.h"

using Orvex::SharedString;

namespace {

// Adding, removing or turning a monitor arrives as a burst of
// notifications, one per screen and property, spread over a second or so:
// the pictures are fitted once the burst is over, not once per step of it.
constexpr int kDisplaySettleMs = 2000;

constexpr char16_t kErrorCaption[] = u"エラー (3)";
constexpr char16_t kNoTrayCaption[] = u"Pelmora";
constexpr char16_t kNoTrayText[] =
    u"通知領域が見つからないため、アイコンを表示できません。\n"
    u"設定ダイアログで設定を変更できます。ダイアログを閉じるとPelmoraは終了します。";

std::optional<std::string> AnswerStatus(const StatusBoard& board, const std::string& message) {
  if (ResidentRequestOfMessage(message) != ResidentRequest::kStatus) return std::nullopt;
  return Orvex::ToUtf8(StatusReport(board.Read(), std::chrono::steady_clock::now()));
}

}  // namespace

QIcon TrayIconPicture(int icon_id) {
  return QIcon(icon_id == kSuspendedIconId ? u":/pelmora/suspended.ico"_qs
                                           : u":/pelmora/running.ico"_qs);
}

TrayProgram::TrayProgram(IDesktop& desktop, WallpaperCycle::StoreFactory store_factory,
                         HookLauncher launcher)
    : desktop_(desktop),
      store_factory_(std::move(store_factory)),
      launcher_(std::move(launcher)),
      tray_probe_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      sni_probe_(StatusNotifierHostPresent) {
  FillTrayMenu(menu_, [this](int id) { RunCommand(id); });
  tray_icon_.setContextMenu(&menu_);
  connect(&tray_icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            const bool double_click =
                reason == QSystemTrayIcon::DoubleClick ||
                (reason == QSystemTrayIcon::Trigger && click_is_double_click_);
            if (!double_click || !resident_) return;
            Guarded([this] { resident_->commands.OnDoubleClick(); });
          });
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (resident_) Guarded([this] { resident_->cycle.ChangeNow(); });
  });
  refit_timer_.setSingleShot(true);
  refit_timer_.setInterval(kDisplaySettleMs);
  connect(&refit_timer_, &QTimer::timeout, this, [this] {
    if (resident_) Guarded([this] { resident_->cycle.RefitToDisplays(); });
  });
}

TrayProgram::~TrayProgram() {
  timer_.stop();
  refit_timer_.stop();
  hotkeys_.reset();
  resident_.reset();
  tray_icon_.hide();
}

template <class Step>
void TrayProgram::Guarded(const Step& step) {
  try {
    step();
  } catch (const std::exception& error) {
    Orvex::ShowException(nullptr, kErrorCaption, error);
  } catch (...) {
    // Nothing may unwind into Qt's event loop.
  }
}

void TrayProgram::Start() {
  has_tray_ = tray_probe_();
  // A status-notifier host reports a click as "Activate" and knows no
  // double click: there the click is the one way to the double-click
  // action.
  click_is_double_click_ = has_tray_ && sni_probe_();
  // A failure here is shown, and the program goes on with the loaders it
  // has: the tray, the menu and the settings dialog still work.
  Guarded([this] { RegisterLoadersFromSettings(loaders_, store_factory_); });
  resident_ =
      std::make_unique<ResidentCycle>(desktop_, loaders_, *this, *this, store_factory_, launcher_);
  resident_->cycle.SetStatusBoard(status_);
  WatchDisplays();
  // The first change runs from the event loop, as every later one does.
  QMetaObject::invokeMethod(
      this, [this] { StartCycle(); }, Qt::QueuedConnection);
}

void TrayProgram::StartCycle() {
  Guarded([this] { resident_->commands.Create(false); });
  // After the first change: a box about a key must not hold it up.
  if (grabber_) {
    hotkeys_ = std::make_unique<HotKeys>(*grabber_, desktop_);
    ApplyHotKeys();
  }
  if (has_tray_) return;
  Orvex::ShowMessage(nullptr, Orvex::kMbIconInformation, kNoTrayCaption, kNoTrayText);
  RunCommand(kCmdSettings);
  Close();
}

void TrayProgram::WatchDisplays() {
  auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!application) return;
  const auto changed = [this] { refit_timer_.start(); };
  connect(application, &QGuiApplication::screenAdded, this, [this, changed](QScreen* screen) {
    WatchScreen(screen);
    changed();
  });
  connect(application, &QGuiApplication::screenRemoved, this, changed);
  connect(application, &QGuiApplication::primaryScreenChanged, this, changed);
  for (QScreen* screen : QGuiApplication::screens()) WatchScreen(screen);
}

void TrayProgram::WatchScreen(QScreen* screen) {
  // A monitor turned or moved keeps its screen; only its geometry changes.
  connect(screen, &QScreen::geometryChanged, this, [this] { refit_timer_.start(); });
}

void TrayProgram::RunCommand(int id) {
  if (resident_) Guarded([this, id] { resident_->commands.OnCommand(id); });
  // The settings may have been edited: in the dialog, or by hand before a
  // second start told us.
  if (id == kCmdSettings || id == kCmdNotify) ApplyHotKeys();
}

void TrayProgram::ApplyHotKeys() {
  if (!hotkeys_) return;
  Guarded([this] {
    ConfigStore store = store_factory_();
    store.LoadWithDefaults();
    hotkeys_->Apply(store);
  });
}

std::string TrayProgram::OnMessage(const std::string& message) {
  if (std::optional<std::string> answer = AnswerStatus(*status_, message)) return *answer;
  const int command = ResidentCommandId(ResidentRequestOfMessage(message));
  if (command != 0) RunCommand(command);
  return {};
}

std::function<std::optional<std::string>(const std::string&)> TrayProgram::StatusAnswerer() const {
  return [board = status_](const std::string& message) { return AnswerStatus(*board, message); };
}

void TrayProgram::OnHotKey(HotKeyAction action) {
  if (resident_) Guarded([this, action] { resident_->commands.OnHotKey(action); });
}

void TrayProgram::SetTrayIcon(int icon_id, const SharedString& tooltip) {
  tray_icon_.setToolTip(ToQString(tooltip));
  tray_icon_.setIcon(TrayIconPicture(icon_id));
  if (has_tray_) tray_icon_.show();
}

void TrayProgram::SetChangeTimer(uint32_t period_ms) {
  // QTimer takes an int: the longest period the cycle asks for still fits.
  timer_.start(static_cast<int>(std::min<uint32_t>(period_ms, INT32_MAX)));
}

std::optional<SharedString> TrayProgram::ChooseFolder(const SharedString& title,
                                                      const SharedString& start) {
  return ChooseFolderDialog(nullptr, title, start);
}

bool TrayProgram::RunSettingsDialog(ConfigStore& store) {
  SettingsDialog dialog(store);
  settings_dialog_ = &dialog;
  const Orvex::ScopeExit closed([this] { settings_dialog_ = nullptr; });
  return dialog.exec() == QDialog::Accepted;
}

void TrayProgram::RaiseSettingsDialog() {
  if (!settings_dialog_) return;
  settings_dialog_->raise();
  settings_dialog_->activateWindow();
}

void TrayProgram::PostCommand(int id) {
  QMetaObject::invokeMethod(
      this, [this, id] { RunCommand(id); }, Qt::QueuedConnection);
}

void TrayProgram::Close() {
  // Queued: this may run inside a command that still has work to finish.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

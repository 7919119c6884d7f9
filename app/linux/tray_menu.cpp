#include "app/linux/tray_menu.h"

#include <QAction>
#include <QMenu>

#include "app/linux/qt_text.h"
#include "app/tray_commands.h"

namespace {

// The ampersand marks the access key, as in Qt's own menus.
constexpr TrayMenuItem kItems[] = {
    {kCmdChangeNow, u"壁紙の変更(&W)"},
    {kCmdOpenSource, u"現在の壁紙の元のファイルを開く(&O)"},
    {kCmdSuspend, u"一時停止(&S)"},
    {kCmdResume, u"再開(&R)"},
    {0, nullptr},
    {kCmdChooseFolder, u"フォルダを選択(&F)"},
    {kCmdSettings, u"設定(&C)"},
    {0, nullptr},
    {kCmdOpenProgramFolder, u"実行ファイルのあるフォルダを開く(&M)"},
    {kCmdOpenWebPage, u"配布サイトを開く(&W)"},
    {kCmdSendMail, u"作者へメールを送る(&E)"},
    {0, nullptr},
    {kCmdExit, u"終了(&X)"},
};

}  // namespace

std::span<const TrayMenuItem> TrayMenuItems() { return kItems; }

void FillTrayMenu(QMenu& menu, const std::function<void(int)>& run_command) {
  for (const TrayMenuItem& item : kItems) {
    if (item.id == 0) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(ToQString(item.text));
    action->setData(item.id);
    const int id = item.id;
    // Queued: the menu closes before the command opens a dialog of its own
    // or ends the program.
    QObject::connect(
        action, &QAction::triggered, &menu, [run_command, id] { run_command(id); },
        Qt::QueuedConnection);
  }
}

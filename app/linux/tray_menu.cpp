#include "app/linux/tray_menu.h"

#include <QAction>
#include <QMenu>

#include "app/linux/qt_text.h"
#include "app/tray_menu_items.h"

void FillTrayMenu(QMenu& menu, const std::function<void(int)>& run_command) {
  for (const TrayMenuItem& item : kTrayMenuItems) {
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

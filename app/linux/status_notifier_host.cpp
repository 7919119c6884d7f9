#include "app/linux/status_notifier_host.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QString>

bool StatusNotifierHostPresent() {
  const QString watcher_name = u"org.kde.StatusNotifierWatcher"_qs;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() ||
      !bus.interface()->isServiceRegistered(watcher_name)) {
    return false;
  }
  QDBusInterface watcher(watcher_name, u"/StatusNotifierWatcher"_qs, watcher_name, bus);
  return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

#include "app/linux/qt_screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "app/linux/logical_layout.h"
#include "app/linux/qt_text.h"

Orvex::SharedString QtScreenUnderPointer() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ||
      QGuiApplication::platformName() != u"xcb"_qs) {
    return {};
  }
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  return screen ? FromQString(screen->name()) : Orvex::SharedString();
}

MonitorList QtScreenMonitors() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
  const QScreen* primary = QGuiApplication::primaryScreen();
  std::vector<LogicalOutput> outputs;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect geometry = screen->geometry();
    LogicalOutput output;
    output.name = FromQString(screen->name());
    output.x = geometry.x();
    output.y = geometry.y();
    output.width = geometry.width();
    output.height = geometry.height();
    output.scale = screen->devicePixelRatio();
    output.focused = screen == primary;
    outputs.push_back(std::move(output));
  }
  return MonitorsFromLogicalLayout(outputs);
}

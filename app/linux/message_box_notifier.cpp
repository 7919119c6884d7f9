#include "app/linux/message_box_notifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "app/linux/qt_text.h"

MessageBoxNotifier::MessageBoxNotifier() : previous_(Orvex::SetUserNotifier(this)) {}

MessageBoxNotifier::~MessageBoxNotifier() { Orvex::SetUserNotifier(previous_); }

int MessageBoxNotifier::Notify(Orvex::WindowHandle owner, unsigned flags,
                               const Orvex::SharedString& caption,
                               const Orvex::SharedString& text) {
  // Widgets live on the main thread only; a box from anywhere else goes
  // where it would without Qt.
  QApplication* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!application || QThread::currentThread() != application->thread()) {
    return (previous_ ? *previous_ : Orvex::DefaultUserNotifier())
        .Notify(owner, flags, caption, text);
  }
  QMessageBox box(flags & Orvex::kMbIconHand ? QMessageBox::Critical : QMessageBox::Information,
                  ToQString(caption), ToQString(text), QMessageBox::Ok);
  // The Windows boxes are system-modal and brought to the front: a box
  // from the tray must not hide behind other windows.
  if (flags & (Orvex::kMbSetForeground | Orvex::kMbTopmost | Orvex::kMbSystemModal)) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
  }
  box.exec();
  return Orvex::kIdOk;
}

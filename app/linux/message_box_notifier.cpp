#include "app/linux/message_box_notifier.h"

#include <QMessageBox>

#include "app/linux/qt_text.h"

MessageBoxNotifier::MessageBoxNotifier() : previous_(Orvex::SetUserNotifier(this)) {}

MessageBoxNotifier::~MessageBoxNotifier() { Orvex::SetUserNotifier(previous_); }

int MessageBoxNotifier::Notify(Orvex::WindowHandle, unsigned flags,
                               const Orvex::SharedString& caption,
                               const Orvex::SharedString& text) {
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

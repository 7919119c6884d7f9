// "pelmora-tray": the resident program on Qt, started by pelmora for the
// first plain start; it does what pelmora does for any other start too.

#include <QApplication>
#include <memory>
#include <string>
#include <utility>

#include "app/linux/change_hook_launcher.h"
#include "app/linux/message_box_notifier.h"
#include "app/linux/program_start.h"
#include "app/linux/qt_screens.h"
#include "app/linux/resident_desktop.h"
#include "app/linux/tray_program.h"
#include "app/linux/x11_hotkeys.h"
#include "foundation/posix/resident_listener.h"

namespace {

int RunTray(int argc, char* argv[], std::unique_ptr<LinuxDesktop> desktop,
            const Orvex::SharedString& backend_setting,
            std::unique_ptr<ResidentInstance> instance) {
  QApplication application(argc, argv);
  // The settings dialog may be the only window: closing it is not the end.
  QApplication::setQuitOnLastWindowClosed(false);
  MessageBoxNotifier notifier;
  // A change of the backend setting takes effect at the next change.
  ResidentDesktop resident_desktop(std::move(desktop), backend_setting);
  resident_desktop.SetLastResortMonitors(QtScreenMonitors);
  resident_desktop.SetPointerMonitor(QtScreenUnderPointer);
  // Keys are grabbed only where an X server lets a client do that; a
  // Wayland compositor binds them to commands in its own settings.
  std::unique_ptr<X11HotKeyGrabber> hotkey_grabber;
  if (QGuiApplication::platformName() == u"xcb"_qs) hotkey_grabber = X11HotKeyGrabber::Open();
  TrayProgram program(resident_desktop, WallpaperCycle::ProgramStore, LaunchChangeHook);
  if (hotkey_grabber) {
    hotkey_grabber->OnPressed([&program](HotKeyAction action) { program.OnHotKey(action); });
    program.SetHotKeyGrabber(hotkey_grabber.get());
  }
  // Second starts are taken on the listener's thread: "/status" is answered
  // there even while a change runs, the rest is acted on here in turn.
  ResidentListener second_starts(*instance, program.StatusAnswerer(), [&program](std::string line) {
    QMetaObject::invokeMethod(
        &program, [&program, line = std::move(line)] { program.OnMessage(line); },
        Qt::QueuedConnection);
  });
  program.Start();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  TakeOverFromStarter();
  return StartProgram(argc, argv, RunTray, false);
}

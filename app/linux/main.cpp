#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/linux/change_hook_launcher.h"
#include "app/linux/linux_desktop.h"
#include "app/linux/message_box_notifier.h"
#include "app/linux/qt_screens.h"
#include "app/linux/resident_desktop.h"
#include "app/linux/tray_program.h"
#include "app/linux/user_paths.h"
#include "app/linux/x11_desktop.h"
#include "app/linux/x11_hotkeys.h"
#include "app/one_shot.h"
#include "app/start_up.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"
#include "foundation/posix/resident_instance.h"
#include "foundation/posix/resident_listener.h"
#include "pelmora_version.h"

namespace {

constexpr char16_t kFatalCaption[] = u"エラー発生：終了します";

// The lock of the resident program, or null when another process holds it
// and has been told of this start.
std::unique_ptr<ResidentInstance> BecomeResidentOrNotify() {
  if (auto instance = ResidentInstance::TryBecomeResident()) return instance;
  if (NotifyResident()) return nullptr;
  // The resident program ended between the two steps: take its place.
  return ResidentInstance::TryBecomeResident();
}

int Run(int argc, char* argv[]) {
  CreateDefaultFolders();
  const Orvex::SharedString backend_setting = WallpaperBackendSetting();
  auto desktop = std::make_unique<LinuxDesktop>(backend_setting);
  const StartRequest request =
      ApplyCommandLine(Orvex::GetProcessArguments(), *desktop, StartUpLockName());
  // "/next", "/previous", "/exclude" and "/status" only ask the resident
  // program; without one there is nobody to ask.
  if (request.resident != ResidentRequest::kNone) {
    if (request.state_switch) NotifyResident();
    if (request.resident == ResidentRequest::kStatus) {
      const std::optional<std::string> status = AskResident(ResidentMessage(request.resident));
      if (status) {
        std::fwrite(status->data(), 1, status->size(), stdout);
        return std::fflush(stdout) == 0 ? Orvex::ExitCodeOfStart() : 1;
      }
    } else if (NotifyResident(ResidentMessage(request.resident))) {
      return Orvex::ExitCodeOfStart();
    }
    Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, kNoResidentCaption, kNoResidentText);
    return 1;
  }
  // "/suspend" and "/resume" have edited the settings; the resident program
  // applies them when told, as it does for a plain second start.
  // A start that reported an error says so in its exit code too, so that a
  // script can tell.
  if (request.state_switch) {
    NotifyResident();
    return Orvex::ExitCodeOfStart();
  }
  const std::unique_ptr<ResidentInstance> instance = BecomeResidentOrNotify();
  if (!instance) return Orvex::ExitCodeOfStart();
  if (request.once) {
    RunOneShot(*desktop, Orvex::LoaderRegistry::Instance(), WallpaperCycle::ProgramStore,
               LaunchChangeHook);
    return Orvex::ExitCodeOfStart();
  }

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
  // Answered before anything else: no settings, folders, lock or desktop.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pelmora %s\n", PELMORA_VERSION);
    return 0;
  }
  Orvex::SetProcessArguments(argc, argv);
  try {
    return Run(argc, argv);
  } catch (const DesktopUnavailableException& e) {
    // Nothing was done: the exit code must not claim otherwise.
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  } catch (const std::exception& e) {
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  }
}

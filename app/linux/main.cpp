#include <QApplication>
#include <QSocketNotifier>
#include <exception>
#include <vector>

#include "app/linux/message_box_notifier.h"
#include "app/linux/resident_instance.h"
#include "app/linux/tray_program.h"
#include "app/linux/user_paths.h"
#include "app/linux/x11_desktop.h"
#include "app/one_shot.h"
#include "app/start_up.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"

namespace {

constexpr char16_t kFatalCaption[] = u"エラー発生：終了します";

// The one place that decides whether this start becomes the resident
// program: the holder of the per-user instance lock. A start that finds the
// lock taken hands its notification over instead; when nobody answers (the
// holder ended in between), it tries once more to become resident.
std::unique_ptr<ResidentInstance> resident;
bool BecomeResident() {
  resident = ResidentInstance::TryBecomeResident();
  if (!resident && !NotifyResident()) resident = ResidentInstance::TryBecomeResident();
  return resident != nullptr;
}
void NotifyResidentProgram() { NotifyResident(); }

int Run(int argc, char* argv[]) {
  CreateDefaultFolders();
  X11Desktop desktop;
  const StartRequest request =
      ApplyCommandLine(Orvex::GetProcessArguments(), desktop, StartUpLockName());
  // "/suspend" and "/resume" have edited the settings; the resident program
  // picks them up when told, as it does for a plain second start.
  if (request.state_switch) {
    NotifyResidentProgram();
    return 0;
  }
  if (!BecomeResident()) return 0;
  if (request.once) {
    Orvex::LoaderRegistry loaders;
    RunOneShot(desktop, loaders);
    return 0;
  }

  QApplication application(argc, argv);
  // The settings dialog may be the only window: closing it is not the end.
  QApplication::setQuitOnLastWindowClosed(false);
  MessageBoxNotifier notifier;
  TrayProgram program(desktop);
  program.Start();
  // Later starts of the program reach it through the instance's socket.
  QSocketNotifier peers(resident->ListeningFd(), QSocketNotifier::Read);
  QObject::connect(&peers, &QSocketNotifier::activated, [&program] {
    for (const std::string& message : resident->TakeMessages()) program.OnMessage(message);
  });
  return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  Orvex::SetProcessArguments(argc, argv);
  try {
    return Run(argc, argv);
  } catch (const DesktopUnavailableException& e) {
    // Nothing was done: the exit code must not claim otherwise.
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  } catch (const std::exception& e) {
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 0;
  }
}

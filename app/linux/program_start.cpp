#include "app/linux/program_start.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/linux/change_hook_launcher.h"
#include "app/linux/resident_desktop.h"
#include "app/linux/user_paths.h"
#include "app/linux/x11_desktop.h"
#include "app/one_shot.h"
#include "app/start_up.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/posix/companion_file.h"
#include "pelmora_version.h"

namespace {

constexpr char16_t kFatalCaption[] = u"エラー発生：終了します";
// How pelmora tells the tray program which program it is.
constexpr char kProgramVariable[] = "PELMORA_PROGRAM";

// The lock of the resident program, or null when another process holds it
// and has been told of this start.
std::unique_ptr<ResidentInstance> BecomeResidentOrNotify() {
  if (auto instance = ResidentInstance::TryBecomeResident()) return instance;
  if (NotifyResident()) return nullptr;
  // The resident program ended between the two steps: take its place.
  return ResidentInstance::TryBecomeResident();
}

[[noreturn]] void ExecTrayProgram(char* argv[]) {
  const std::string path =
      Orvex::ToUtf8(Orvex::CompanionFile(Orvex::GetExecutableDirectory(), u"pelmora-tray"));
  // The tray program is this program, only with the toolkit: the same
  // settings, lock and folder.
  setenv(kProgramVariable, Orvex::ToUtf8(Orvex::GetExecutablePath()).c_str(), 1);
  // The same arguments, the first included: Qt names the application
  // after it.
  execv(path.c_str(), argv);
  unsetenv(kProgramVariable);
  throw Orvex::Win32Exception(u"常駐プログラム '" + Orvex::FromUtf8(path) + u"' を起動できません");
}

// A start without switches either becomes the resident program or tells
// the one that runs. Only the first needs the toolkit: this process takes
// the lock to learn which, and hands it on to the tray program.
int StartPlain(char* argv[]) {
  if (std::unique_ptr<ResidentInstance> instance = BecomeResidentOrNotify()) {
    instance.reset();
    ExecTrayProgram(argv);
  }
  return Orvex::ExitCodeOfStart();
}

int Run(int argc, char* argv[], const TrayEntry& tray) {
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
  std::unique_ptr<ResidentInstance> instance = BecomeResidentOrNotify();
  if (!instance) return Orvex::ExitCodeOfStart();
  if (request.once) {
    RunOneShot(*desktop, Orvex::LoaderRegistry::Instance(), WallpaperCycle::ProgramStore,
               LaunchChangeHook);
    return Orvex::ExitCodeOfStart();
  }

  return tray(argc, argv, std::move(desktop), backend_setting, std::move(instance));
}

}  // namespace

void TakeOverFromStarter() {
  const char* program = std::getenv(kProgramVariable);
  if (!program) return;
  Orvex::ActOnBehalfOf(Orvex::FromUtf8(program));
  // Not passed on to the OnChange command and other children.
  unsetenv(kProgramVariable);
}

int StartProgram(int argc, char* argv[], const TrayEntry& tray, bool hand_on_plain_start) {
  // Answered before anything else: no settings, folders, lock or desktop.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pelmora %s\n", PELMORA_VERSION);
    return 0;
  }
  Orvex::SetProcessArguments(argc, argv);
  try {
    if (hand_on_plain_start && !HasStartSwitch(Orvex::GetProcessArguments())) {
      return StartPlain(argv);
    }
    return Run(argc, argv, tray);
  } catch (const DesktopUnavailableException& e) {
    // Nothing was done: the exit code must not claim otherwise.
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  } catch (const std::exception& e) {
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  }
}

#include <exception>
#include <vector>

#include "app/linux/user_paths.h"
#include "app/linux/x11_desktop.h"
#include "app/one_shot.h"
#include "app/start_up.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"

namespace {

constexpr char16_t kFatalCaption[] = u"エラー発生：終了します";

int Run() {
  CreateDefaultFolders();
  X11Desktop desktop;
  const StartRequest request =
      ApplyCommandLine(Orvex::GetProcessArguments(), desktop, StartUpLockName());
  // There is no tray on this desktop yet, so no resident instance to tell:
  // "/suspend" and "/resume" only edit the settings, and every other start
  // changes the wallpaper once.
  if (request.state_switch) return 0;
  RunOneShot(desktop, Orvex::LoaderRegistry::Instance());
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  Orvex::SetProcessArguments(argc, argv);
  try {
    return Run();
  } catch (const DesktopUnavailableException& e) {
    // Nothing was done: the exit code must not claim otherwise.
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 1;
  } catch (const std::exception& e) {
    Orvex::ShowException(nullptr, kFatalCaption, e);
    return 0;
  }
}

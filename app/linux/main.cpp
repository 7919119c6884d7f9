#include <exception>
#include <vector>

#include "app/linux/x11_desktop.h"
#include "app/one_shot.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"

namespace {

constexpr char16_t kFatalCaption[] = u"エラー発生：終了します";

int Run() {
  // There is no tray on this desktop yet: until there is, a start without
  // "/once" changes the wallpaper once as well.
  [[maybe_unused]] const StartOptions options = ParseStartOptions(Orvex::GetProcessArguments());
  X11Desktop desktop;
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

#include <exception>

#include "app/one_shot.h"
#include "app/win32/desktop.h"
#include "codecs/loader_registry.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"
#include "foundation/win32/win32.h"

namespace {

int Run(const char* command_line) {
  // The resident tray program is still to come: until it exists, a start
  // without "/once" changes the wallpaper once as well.
  [[maybe_unused]] const StartOptions options =
      ParseStartOptions(Orvex::GetArguments(command_line));
  Win32Desktop desktop;
  Orvex::LoaderRegistry loaders;
  RunOneShot(desktop, loaders);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  // Whatever escapes ends the program with a box that says so; the exit
  // code stays 0, as for a normal end.
  try {
    return Run(command_line);
  } catch (const std::exception& error) {
    Orvex::ShowException(nullptr, u"エラー発生：終了します", error);
    return 0;
  }
}

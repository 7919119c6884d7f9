#include "app/win32/change_hook_launcher.h"

#include "app/change_hook.h"
#include "foundation/exceptions.h"
#include "foundation/process.h"

void LaunchChangeHook(const Orvex::SharedString& command, const Orvex::SharedString& picture,
                      const Orvex::SharedString& wallpaper) {
  const auto [program, parameters] =
      SplitProgramFromCommandLine(ExpandHookPlaceholders(command, picture, wallpaper, true));
  if (program.IsEmpty()) throw Orvex::RuntimeException(u"コマンドが空です");
  Orvex::ProcessStartInfo info;
  info.file = program;
  info.parameters = parameters;
  info.use_shell = false;
  info.no_window = true;
  // Not waited for: the handle is let go at once, the program runs on.
  Orvex::StartProcess(info);
}

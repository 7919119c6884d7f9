#include "app/linux/change_hook_launcher.h"

#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "app/change_hook.h"
#include "app/linux/linux_desktop.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

void LaunchChangeHook(const Orvex::SharedString& command, const Orvex::SharedString& picture,
                      const Orvex::SharedString& wallpaper) {
  std::vector<std::string> argv = SplitShellWords(Orvex::ToUtf8(command));
  if (argv.empty()) throw Orvex::RuntimeException(u"コマンドが空です");
  for (std::string& word : argv) {
    word = Orvex::ToUtf8(ExpandHookPlaceholders(Orvex::FromUtf8(word), picture, wallpaper));
  }
  // In a session of its own, so that a tool that lingers is not ended
  // with the tray program's terminal; the child is still ours to collect.
  const pid_t pid = Orvex::StartDetached(argv);
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

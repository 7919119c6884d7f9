#include "foundation/error_reporting.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace Orvex {
namespace {

// Where the program has installed no notifier of its own (the Linux desktop
// program shows message boxes once Qt runs; the one-shot start never does),
// the message goes to standard error, written directly so that it works
// from the abort path.
class StandardErrorNotifier : public IUserNotifier {
 public:
  int Notify(WindowHandle, unsigned, const SharedString& caption,
             const SharedString& text) override {
    const std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
      const ssize_t n = ::write(STDERR_FILENO, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      data += n;
      left -= static_cast<size_t>(n);
    }
    return kIdOk;
  }
};

}  // namespace

IUserNotifier& DefaultUserNotifier() {
  static StandardErrorNotifier notifier;
  return notifier;
}

// Quit requests are a Windows message-queue notion; nothing is queued here.
int DrainQuitMessages() { return 0; }

}  // namespace Orvex

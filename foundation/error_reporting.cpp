#include "foundation/error_reporting.h"

#include <atomic>

#include "foundation/encoding.h"

namespace Orvex {
namespace {

// A plain pointer, not a shared one: the abort path reads it from a signal
// handler, where taking a lock could deadlock.
constinit std::atomic<IUserNotifier*> g_notifier{nullptr};
constinit std::atomic<bool> g_error_reported{false};
constinit std::atomic<int> g_open_boxes{0};

class OpenBox {
 public:
  OpenBox() { g_open_boxes.fetch_add(1, std::memory_order_relaxed); }
  OpenBox(const OpenBox&) = delete;
  OpenBox& operator=(const OpenBox&) = delete;
  ~OpenBox() { g_open_boxes.fetch_sub(1, std::memory_order_relaxed); }
};

}  // namespace

IUserNotifier& GetUserNotifier() {
  IUserNotifier* notifier = g_notifier.load(std::memory_order_acquire);
  return notifier ? *notifier : DefaultUserNotifier();
}

IUserNotifier* SetUserNotifier(IUserNotifier* notifier) {
  return g_notifier.exchange(notifier, std::memory_order_acq_rel);
}

int ShowMessage(WindowHandle owner, unsigned flags, const SharedString& caption,
                const SharedString& text) {
  if ((flags & kMbIconHand) == 0) return GetUserNotifier().Notify(owner, flags, caption, text);
  g_error_reported.store(true, std::memory_order_relaxed);
  const OpenBox open;
  return GetUserNotifier().Notify(owner, flags, caption, text);
}

int OpenErrorBoxes() { return g_open_boxes.load(std::memory_order_relaxed); }

int ShowException(WindowHandle owner, const SharedString& caption,
                  const std::exception& exception) {
  // The text is stored narrow; widening it with the same encoding that
  // narrowed it gives back what the thrower wrote.
  const SharedString text = GetDefaultEncoding().ToWide(exception.what());
  DrainQuitMessages();
  g_error_reported.store(true, std::memory_order_relaxed);
  const OpenBox open;
  return ShowMessage(owner, kExceptionBoxFlags, caption, text);
}

bool ErrorWasReported() { return g_error_reported.load(std::memory_order_relaxed); }

int ExitCodeOfStart() { return ErrorWasReported() ? 1 : 0; }

}  // namespace Orvex

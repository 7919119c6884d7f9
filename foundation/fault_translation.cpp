#include "foundation/fault_translation.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>

#include "foundation/error_reporting.h"
#include "foundation/exceptions.h"

namespace Orvex {

namespace Detail {
// The platform half: signal handlers or the Windows exception handlers.
void InstallAbortHandler();
void InstallFaultHandlers();
void PrepareThreadForFaults();
}  // namespace Detail

namespace {

constinit std::atomic<bool> g_installed{false};
constinit std::atomic<bool> g_abort_started{false};
thread_local bool t_reporting_abort = false;

[[noreturn]] void TerminateHandler() { std::abort(); }

}  // namespace

void InstallExceptionTranslators() {
  static std::once_flag once;
  std::call_once(once, [] {
    Detail::InstallAbortHandler();
    Detail::InstallFaultHandlers();
    std::set_terminate(&TerminateHandler);
    // C++17 removed exception specifications and with them the unexpected
    // handler: a throw out of a noexcept function terminates, which ends in
    // the abort box like every other unrecoverable failure.
    g_installed.store(true, std::memory_order_release);
  });
  Detail::PrepareThreadForFaults();
}

void InstallThreadExceptionTranslators() {
  if (g_installed.load(std::memory_order_acquire)) Detail::PrepareThreadForFaults();
}

bool AreExceptionTranslatorsInstalled() { return g_installed.load(std::memory_order_acquire); }

namespace Detail {

void ThrowFault(FaultKind kind) {
  switch (kind) {
    case FaultKind::kArithmetic:
      throw FPEException();
    case FaultKind::kIllegalInstruction:
      throw InvalidProgramException();
    case FaultKind::kAccessViolation:
      break;
  }
  throw AccessViolationException();
}

__attribute__((noinline)) void RunGuarded(void (*call)(void*), void* context,
                                          void (*restore_guard)(void*), void* previous) {
  try {
    call(context);
  } catch (...) {
    restore_guard(previous);
    throw;
  }
}

void ReportAbortAndExit() {
  // An abort while exiting (a destructor that aborts) must not show a
  // second box or run the exit path twice.
  if (t_reporting_abort) std::_Exit(1);
  if (g_abort_started.exchange(true)) {
    // Another thread is already showing the box and will end the process.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  t_reporting_abort = true;
  try {
    DrainQuitMessages();
    GetUserNotifier().Notify(nullptr, kMbIconHand | kMbTopmost, u"エラー", u"異常終了");
  } catch (...) {
    // A fault while reporting (the heap may be what made us abort) must not
    // unwind into the code that aborted and let it carry on.
    std::_Exit(1);
  }
  std::exit(1);
}

}  // namespace Detail
}  // namespace Orvex

// Faults arrive as synchronous signals on the faulting thread. The handler
// throws straight out of the signal frame: our code is built with
// -fnon-call-exceptions, so every instruction that can fault has unwind
// information, and the unwinder steps from the handler through the kernel's
// signal trampoline into the faulting frame (glibc marks that trampoline as
// a signal frame, so the faulting address itself is looked up, not the
// address before it). Code without unwind information makes the throw fail
// and the program terminate (abort box); such code is called through
// CallGuarded, whose frame is reached with siglongjmp instead.
//
// Under AddressSanitizer the sanitizer's own SIGSEGV/SIGFPE handlers are
// installed first; it lets programs replace them (allow_user_segv_handler is
// on by default), and ours replaces them, so faults translate the same way
// in that build and the sanitizer reports only the errors it detects by
// instrumentation.
//
// There is no alternate signal stack: a stack overflow cannot run the
// handler, and the process ends as it would without translators.

#include "foundation/fault_translation.h"

#include <fenv.h>
#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

namespace Orvex::Detail {
namespace {

struct GuardFrame {
  sigjmp_buf jump;
  fenv_t fp_environment;  // control words the abandoned code may have changed
  volatile int kind = 0;
  GuardFrame* previous = nullptr;
};

thread_local GuardFrame* t_guard = nullptr;

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

FaultKind KindOf(int signal_number) {
  switch (signal_number) {
    case SIGFPE:
      return FaultKind::kArithmetic;
    case SIGILL:
      return FaultKind::kIllegalInstruction;
    default:
      return FaultKind::kAccessViolation;
  }
}

void FaultHandler(int signal_number, siginfo_t* info, void*) {
  if (info->si_code <= 0 && info->si_pid != getpid()) {
    // Sent by another process: not a fault of ours, and the interrupted code
    // may be anywhere. Take the default action the sender asked for.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    return;
  }
  // The handler stays installed (no SA_RESETHAND) and SA_NODEFER keeps the
  // signal unblocked once we leave by throwing instead of returning; make
  // sure of the latter even if someone blocked it in between.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);

  const FaultKind kind = KindOf(signal_number);
  if (GuardFrame* guard = t_guard) {
    guard->kind = static_cast<int>(kind);
    siglongjmp(guard->jump, 1);
  }
  ThrowFault(kind);
}

void AbortHandler(int) { ReportAbortAndExit(); }

void RestoreGuard(void* previous) { t_guard = static_cast<GuardFrame*>(previous); }

}  // namespace

void InstallAbortHandler() {
  struct sigaction action = {};
  action.sa_handler = &AbortHandler;
  action.sa_flags = SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGABRT, &action, nullptr);
}

void InstallFaultHandlers() {
  struct sigaction action = {};
  action.sa_sigaction = &FaultHandler;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kFaultSignals) sigaction(signal_number, &action, nullptr);
}

void PrepareThreadForFaults() {
  // Handlers are process-wide; what a thread can get wrong is its mask.
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kFaultSignals) sigaddset(&set, signal_number);
  sigaddset(&set, SIGABRT);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void CallGuardedImpl(void (*call)(void*), void* context) {
  GuardFrame frame;
  frame.previous = t_guard;
  fegetenv(&frame.fp_environment);
  if (sigsetjmp(frame.jump, 0) != 0) {
    fesetenv(&frame.fp_environment);
    t_guard = frame.previous;
    ThrowFault(static_cast<FaultKind>(frame.kind));
  }
  t_guard = &frame;
  RunGuarded(call, context, &RestoreGuard, frame.previous);
  t_guard = frame.previous;
}

}  // namespace Orvex::Detail

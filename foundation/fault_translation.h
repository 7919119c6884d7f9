#pragma once

#include <optional>
#include <type_traits>
#include <utility>

namespace Orvex {

// Turns hardware faults into exceptions so that a bad image or a bad
// plug-in costs one error box, not the program:
//   access violation (and bus error)        -> AccessViolationException
//   integer division, floating-point fault  -> FPEException
//   illegal or privileged instruction       -> InvalidProgramException
// A fault in our own code unwinds like any other throw to the nearest
// catch, running destructors on the way. A stack overflow is not
// translated: there is no stack left to unwind on, and the process ends.
// Also installs the abort and terminate handlers: the box "異常終了" and
// exit code 1.
//
// Runs once during static initialisation of every program that links the
// foundation library; calling it again does nothing.
void InstallExceptionTranslators();

// Prepares the calling thread for fault translation. Threads the library
// starts call it first; it does nothing until the translators are installed.
void InstallThreadExceptionTranslators();

bool AreExceptionTranslatorsInstalled();

namespace Detail {
enum class FaultKind { kAccessViolation = 1, kArithmetic = 2, kIllegalInstruction = 3 };
[[noreturn]] void ThrowFault(FaultKind kind);
// Shows the abnormal-end box and ends the process with exit code 1.
[[noreturn]] void ReportAbortAndExit();
void CallGuardedImpl(void (*call)(void* context), void* context);
// For CallGuardedImpl: calls call(context) in a frame of its own, so that a
// jump back to the guard abandons only frames without automatic objects to
// destroy. An exception leaving the call first hands `previous` to
// restore_guard (the guard's thread no longer runs under it), then goes on.
void RunGuarded(void (*call)(void* context), void* context, void (*restore_guard)(void* previous),
                void* previous);
}  // namespace Detail

// Calls fn so that a fault inside it that nothing else handles, including
// one in foreign code without unwind information (a plug-in library),
// returns control straight to this frame, which then throws the translated
// exception. Foreign code that handles its own faults keeps doing so. What
// runs under the guard must not need destructors on the fault path: frames
// between the fault and the guard are abandoned, not unwound. Our callers'
// registers, the direction flag and the floating-point environment are
// restored. Ordinary C++ exceptions from fn pass through unchanged. Returns
// what fn returns.
template <class Fn>
auto CallGuarded(Fn&& fn) -> std::invoke_result_t<Fn&> {
  using Result = std::invoke_result_t<Fn&>;
  if constexpr (std::is_void_v<Result>) {
    auto call = [](void* context) { (*static_cast<std::remove_reference_t<Fn>*>(context))(); };
    Detail::CallGuardedImpl(call, &fn);
  } else {
    struct Context {
      std::remove_reference_t<Fn>* fn;
      std::optional<Result> result;
    } context{&fn, std::nullopt};
    auto call = [](void* c) {
      auto* ctx = static_cast<Context*>(c);
      ctx->result.emplace((*ctx->fn)());
    };
    Detail::CallGuardedImpl(call, &context);
    return std::move(*context.result);
  }
}

}  // namespace Orvex

// Faults arrive as structured exceptions. GCC's C++ exceptions cannot be
// thrown from inside an exception handler here (on i686 they unwind with
// DWARF tables, which the system's dispatcher frames do not have), so the
// handler rewrites the faulting thread's context instead and lets the
// dispatcher resume it in FaultEntry below, which makes the thread look as
// if the faulting instruction had called a function that throws:
//
//   FaultEntry:      push <faulting address>   ; a fake return address
//   FaultTrampoline: an ordinary frame (frame pointer, stack aligned) that
//                    calls OrvexThrowTranslatedFault(kind)
//
// The unwinder then walks from the throw through the trampoline into the
// faulting frame and on to the nearest catch; our code is built with
// -fnon-call-exceptions, so the faulting instruction lies in a region that
// has unwind information and landing pads.
//   i686 (DWARF-2 unwinding): the trampoline's CFI is marked as a signal
//     frame, so the unwinder looks up the faulting address itself rather
//     than the byte before a return address.
//   x86-64 (SEH unwind tables): the trampoline has .pdata/.xdata with a
//     frame register; the fake return address is the faulting address + 1
//     because the GCC personality routine subtracts one from every return
//     address to find the call-site region.
// Registers ECX/EDX (RCX/RDX) carry the kind and the address into the
// trampoline; both are volatile, and landing pads never read them.
// FaultEntry also clears the direction flag, which the faulting code (a
// backwards copy in the C runtime) may have left set.
//
// Which faults are translated where:
//   - In our executable image (everything statically linked into it): by a
//     vectored handler, before frame-based handlers see them, so that our
//     window procedures and worker threads get the exception even when the
//     system has a handler further up. Inside CallGuarded the thread jumps
//     back to the guard instead (our code may be a callback of the foreign
//     code, whose frames cannot be unwound).
//   - Anywhere else (a plug-in, a system DLL): only when nobody handles it,
//     from the unhandled-exception filter, so that the system's and the
//     plug-ins' own __try blocks keep working. Inside CallGuarded the thread
//     resumes in a function that jumps back to the guard's frame with
//     __builtin_longjmp (no unwinding, and not the C runtime's longjmp,
//     which unwinds on x86-64); on i686 the guard also drops the SEH
//     registrations the abandoned frames left on the chain. Outside a guard
//     the filter redirects to the throw: that unwinds on x86-64 (system DLLs
//     have unwind tables); on i686 the unwinder finds no tables, the throw
//     terminates, and the user gets the abort box instead of a crash.
// A stack overflow is not translated: the thread has no stack left to run
// the unwinder on, and the process ends.

#include "foundation/fault_translation.h"

#include <cfenv>
#include <csignal>
#include <cstdint>

#include "foundation/win32/win32.h"

extern "C" [[noreturn]] void OrvexThrowTranslatedFault(int kind) {
  Orvex::Detail::ThrowFault(static_cast<Orvex::Detail::FaultKind>(kind));
}

extern "C" void OrvexFaultEntry();

#if defined(__x86_64__)
asm(R"(
        .text
        .globl  OrvexFaultEntry
        .p2align 4
OrvexFaultEntry:
        cld
        pushq   %rdx
        .seh_proc OrvexFaultTrampoline
OrvexFaultTrampoline:
        pushq   %rbp
        .seh_pushreg %rbp
        movq    %rsp, %rbp
        .seh_setframe %rbp, 0
        .seh_endprologue
        andq    $-16, %rsp
        subq    $32, %rsp
        call    OrvexThrowTranslatedFault
        int3
        .seh_endproc
)");
#elif defined(__i386__)
asm(R"(
        .text
        .globl  _OrvexFaultEntry
        .p2align 4
_OrvexFaultEntry:
        cld
        pushl   %edx
_OrvexFaultTrampoline:
        .cfi_startproc
        .cfi_signal_frame
        pushl   %ebp
        .cfi_def_cfa_offset 8
        .cfi_offset %ebp, -8
        movl    %esp, %ebp
        .cfi_def_cfa_register %ebp
        andl    $-16, %esp
        subl    $12, %esp
        pushl   %ecx
        call    _OrvexThrowTranslatedFault
        int3
        .cfi_endproc
)");
#else
#error "fault translation is written for x86 and x86-64"
#endif

namespace Orvex::Detail {
namespace {

struct GuardFrame {
  void* jump[5];  // __builtin_setjmp's buffer: frame, resume address, stack
  volatile int kind = 0;
  GuardFrame* previous = nullptr;
  void* seh_chain = nullptr;   // i686: the head of the SEH registrations
  std::fenv_t fp_environment;  // control words the abandoned code may have changed
};

#if defined(__i386__)
// fs:[0] holds the head of the thread's SEH registration chain.
void* SehChain() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void RestoreSehChain(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }
#else
// Table-based unwinding keeps no registrations in the frames.
void* SehChain() { return nullptr; }
void RestoreSehChain(void*) {}
#endif

thread_local GuardFrame* t_guard = nullptr;

std::uintptr_t g_image_begin = 0;
std::uintptr_t g_image_end = 0;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;

bool KindOf(DWORD code, FaultKind* kind) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      *kind = FaultKind::kAccessViolation;
      return true;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      *kind = FaultKind::kArithmetic;
      return true;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
      *kind = FaultKind::kIllegalInstruction;
      return true;
    default:  // stack overflow, breakpoints, C++ throws, everything else
      return false;
  }
}

#if defined(__x86_64__)
std::uintptr_t InstructionPointer(const CONTEXT& c) { return c.Rip; }
std::uintptr_t StackPointer(const CONTEXT& c) { return c.Rsp; }
void Resume(CONTEXT* c, std::uintptr_t ip, std::uintptr_t sp) {
  c->Rip = ip;
  c->Rsp = sp;
}
void RedirectToThrow(CONTEXT* c, FaultKind kind) {
  c->Rdx = c->Rip + 1;
  c->Rcx = static_cast<DWORD64>(kind);
  c->Rip = reinterpret_cast<DWORD64>(&OrvexFaultEntry);
}
#else
std::uintptr_t InstructionPointer(const CONTEXT& c) { return c.Eip; }
std::uintptr_t StackPointer(const CONTEXT& c) { return c.Esp; }
void Resume(CONTEXT* c, std::uintptr_t ip, std::uintptr_t sp) {
  c->Eip = static_cast<DWORD>(ip);
  c->Esp = static_cast<DWORD>(sp);
}
void RedirectToThrow(CONTEXT* c, FaultKind kind) {
  c->Edx = c->Eip;
  c->Ecx = static_cast<DWORD>(kind);
  c->Eip = reinterpret_cast<DWORD>(&OrvexFaultEntry);
}
#endif

[[noreturn]] void JumpToGuard() {
  // The abandoned code may have been copying backwards.
  asm volatile("cld");
  GuardFrame* guard = t_guard;
  __builtin_longjmp(guard->jump, 1);
}

void RedirectToGuard(CONTEXT* c, GuardFrame* guard, FaultKind kind) {
  guard->kind = static_cast<int>(kind);
  // JumpToGuard never returns and reads nothing from its caller's frame; it
  // only needs a stack as aligned as after a call, clear of the faulting
  // frame's arguments area.
  const std::uintptr_t sp = ((StackPointer(*c) - 128) & ~std::uintptr_t{15}) - sizeof(void*);
  Resume(c, reinterpret_cast<std::uintptr_t>(&JumpToGuard), sp);
}

bool InOurImage(std::uintptr_t address) {
  return address >= g_image_begin && address < g_image_end;
}

LONG CALLBACK VectoredHandler(EXCEPTION_POINTERS* pointers) {
  FaultKind kind;
  if (!KindOf(pointers->ExceptionRecord->ExceptionCode, &kind)) return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* context = pointers->ContextRecord;
  if (!InOurImage(InstructionPointer(*context))) return EXCEPTION_CONTINUE_SEARCH;
  if (GuardFrame* guard = t_guard) {
    RedirectToGuard(context, guard, kind);
  } else {
    RedirectToThrow(context, kind);
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pointers) {
  FaultKind kind;
  if (!KindOf(pointers->ExceptionRecord->ExceptionCode, &kind)) {
    return g_previous_filter ? g_previous_filter(pointers) : EXCEPTION_CONTINUE_SEARCH;
  }
  if (GuardFrame* guard = t_guard) {
    RedirectToGuard(pointers->ContextRecord, guard, kind);
  } else {
    RedirectToThrow(pointers->ContextRecord, kind);
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}

void AbortHandler(int) {
  // The C runtime resets the handler before calling it; an abort from the
  // exit path that follows must come back here.
  std::signal(SIGABRT, &AbortHandler);
  ReportAbortAndExit();
}

void RestoreGuard(void* previous) { t_guard = static_cast<GuardFrame*>(previous); }

}  // namespace

void InstallAbortHandler() { std::signal(SIGABRT, &AbortHandler); }

void InstallFaultHandlers() {
  HMODULE image = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&VectoredHandler), &image)) {
    const auto* base = reinterpret_cast<const unsigned char*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    g_image_begin = reinterpret_cast<std::uintptr_t>(base);
    g_image_end = g_image_begin + nt->OptionalHeader.SizeOfImage;
  }
  AddVectoredExceptionHandler(1, &VectoredHandler);
  g_previous_filter = SetUnhandledExceptionFilter(&UnhandledFilter);
}

void PrepareThreadForFaults() {
  // Thread-local variables live in emulated TLS here, allocated on a
  // thread's first access; do that now rather than inside a fault.
  GuardFrame* volatile touched = t_guard;
  (void)touched;
}

void CallGuardedImpl(void (*call)(void*), void* context) {
  // __builtin_longjmp brings back only the frame and stack pointers. Naming
  // every callee-saved register as clobbered makes this function save them
  // on entry, so that the throw below restores our callers' values from
  // here instead of handing on what the abandoned code left in them.
#if defined(__x86_64__)
  asm volatile("" ::
                   : "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15", "xmm6", "xmm7", "xmm8",
                     "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
#else
  asm volatile("" ::: "ebx", "esi", "edi", "memory");
#endif
  GuardFrame frame;
  frame.previous = t_guard;
  frame.seh_chain = SehChain();
  std::fegetenv(&frame.fp_environment);
  if (__builtin_setjmp(frame.jump) != 0) {
    RestoreSehChain(frame.seh_chain);
    std::fesetenv(&frame.fp_environment);
    t_guard = frame.previous;
    ThrowFault(static_cast<FaultKind>(frame.kind));
  }
  t_guard = &frame;
  RunGuarded(call, context, &RestoreGuard, frame.previous);
  t_guard = frame.previous;
}

}  // namespace Orvex::Detail

#include "foundation/fault_translation.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/exceptions.h"

// Stand-ins for code from a foreign library: no unwind information at all,
// so no exception can be thrown through them.
#define ORVEX_TEST_STR2(x) #x
#define ORVEX_TEST_STR(x) ORVEX_TEST_STR2(x)
#define ORVEX_TEST_SYMBOL(name) ORVEX_TEST_STR(__USER_LABEL_PREFIX__) #name
asm(".text\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignNullWrite) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignNullWrite) ":\n"
    "  movl $1, 0\n"
    "  ret\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignIllegal) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignIllegal) ":\n"
    "  ud2\n"
    "  ret\n");
// Foreign code may be anywhere in its work when it faults: our callee-saved
// registers overwritten, copying backwards, rounding changed.
#if defined(__x86_64__)
asm(".text\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignClobberAndFault) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignClobberAndFault) ":\n"
    "  movq $-1, %rbx\n  movq $-1, %rbp\n  movq $-1, %rsi\n  movq $-1, %rdi\n"
    "  movq $-1, %r12\n  movq $-1, %r13\n  movq $-1, %r14\n  movq $-1, %r15\n"
    "  pcmpeqd %xmm6, %xmm6\n  pcmpeqd %xmm7, %xmm7\n"
    "  movl $1, 0\n"
    "  ret\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignUpsetsFlagsAndFault) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignUpsetsFlagsAndFault) ":\n"
    "  std\n  pushq $0x0f7f\n  fldcw (%rsp)\n"
    "  movl $1, 0\n"
    "  ret\n");
#else
asm(".text\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignClobberAndFault) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignClobberAndFault) ":\n"
    "  movl $-1, %ebx\n  movl $-1, %ebp\n  movl $-1, %esi\n  movl $-1, %edi\n"
    "  movl $1, 0\n"
    "  ret\n"
    ".globl " ORVEX_TEST_SYMBOL(OrvexTestForeignUpsetsFlagsAndFault) "\n"
    ORVEX_TEST_SYMBOL(OrvexTestForeignUpsetsFlagsAndFault) ":\n"
    "  std\n  pushl $0x0f7f\n  fldcw (%esp)\n"
    "  movl $1, 0\n"
    "  ret\n");
#endif
extern "C" void OrvexTestForeignNullWrite();
extern "C" void OrvexTestForeignIllegal();
extern "C" void OrvexTestForeignUpsetsFlagsAndFault();
extern "C" void OrvexTestForeignClobberAndFault();

namespace Orvex {
namespace {

// The faults are deliberate: keep the sanitizers from reporting them first.
#define ORVEX_FAULTY __attribute__((noinline, no_sanitize("undefined")))

int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_sink = 0;

ORVEX_FAULTY void WriteThroughNull() { *g_null = 1; }
ORVEX_FAULTY void DivideByZero() { g_sink = 1 / g_zero; }
volatile int g_int_min = -2147483647 - 1;
volatile int g_minus_one = -1;
ORVEX_FAULTY void DivideOverflow() { g_sink = g_int_min / g_minus_one; }
ORVEX_FAULTY void ExecuteIllegalInstruction() { __builtin_trap(); }

std::string Narrow(const char16_t* text) { return GetDefaultEncoding().ToMultiByte(text); }

template <class E>
void ExpectTranslated(void (*fault)(), const char16_t* text) {
  // Called through an opaque pointer: the compiler knows that a function
  // made of __builtin_trap() cannot throw and would drop the handler.
  void (*volatile opaque)() = fault;
  // The second round proves the handler is still armed after the first.
  for (int round = 0; round < 2; ++round) {
    try {
      opaque();
      ADD_FAILURE() << "no fault in round " << round;
    } catch (const E& e) {
      EXPECT_EQ(e.what(), Narrow(text)) << "round " << round;
    }
  }
}

TEST(FaultTranslationTest, InstalledBeforeMain) { EXPECT_TRUE(AreExceptionTranslatorsInstalled()); }

TEST(FaultTranslationTest, FaultsBecomeExceptionsAndTheProgramGoesOn) {
  ExpectTranslated<AccessViolationException>(&WriteThroughNull,
                                             u"不正なメモリアクセスがありました");
  ExpectTranslated<FPEException>(&DivideByZero, u"浮動小数点数エラーがありました");
  ExpectTranslated<FPEException>(&DivideOverflow, u"浮動小数点数エラーがありました");
  ExpectTranslated<InvalidProgramException>(&ExecuteIllegalInstruction,
                                            u"不正な命令が検出されました");
  // Each is also an ordinary runtime failure for the catch points.
  EXPECT_THROW(WriteThroughNull(), RuntimeException);
  EXPECT_THROW(DivideByZero(), std::exception);
}

struct SetOnDestruction {
  bool* flag;
  ~SetOnDestruction() { *flag = true; }
};

ORVEX_FAULTY void FaultWithLocalObject(bool* destroyed) {
  SetOnDestruction local{destroyed};
  *g_null = 2;  // faults in this very frame, not in a callee
}

TEST(FaultTranslationTest, UnwindingRunsDestructorsOfTheFaultingFrame) {
  bool destroyed = false;
  EXPECT_THROW(FaultWithLocalObject(&destroyed), AccessViolationException);
  EXPECT_TRUE(destroyed);
}

TEST(FaultTranslationTest, WorkerThreadFaultsAreTranslated) {
  std::string first, second;
  std::thread worker([&] {
    InstallThreadExceptionTranslators();
    try {
      DivideByZero();
    } catch (const std::exception& e) {
      first = e.what();
    }
    try {
      WriteThroughNull();
    } catch (const std::exception& e) {
      second = e.what();
    }
  });
  worker.join();
  EXPECT_EQ(first, Narrow(u"浮動小数点数エラーがありました"));
  EXPECT_EQ(second, Narrow(u"不正なメモリアクセスがありました"));
}

TEST(FaultTranslationTest, GuardedCallsIntoForeignCode) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_THROW(CallGuarded(&OrvexTestForeignNullWrite), AccessViolationException);
    EXPECT_THROW(CallGuarded(&OrvexTestForeignIllegal), InvalidProgramException);
  }
  // Our own faults inside the guard come back the same way.
  EXPECT_THROW(CallGuarded([] { DivideByZero(); }), FPEException);
  // After the guard is left, faults throw from where they happen again.
  bool destroyed = false;
  EXPECT_THROW(FaultWithLocalObject(&destroyed), AccessViolationException);
  EXPECT_TRUE(destroyed);
}

TEST(FaultTranslationTest, GuardPassesResultsAndExceptionsThrough) {
  EXPECT_EQ(CallGuarded([] { return 42; }), 42);
  EXPECT_EQ(CallGuarded([] { return std::string("plane"); }), "plane");
  EXPECT_THROW(CallGuarded([] { throw std::runtime_error("x"); }), std::runtime_error);
  // The guard left by that exception must not catch this later fault.
  EXPECT_THROW(WriteThroughNull(), AccessViolationException);
}

TEST(FaultTranslationTest, NestedGuardsEachCatchTheirOwnFault) {
  int after_inner = 0;
  EXPECT_THROW(CallGuarded([&] {
                 EXPECT_THROW(CallGuarded(&OrvexTestForeignIllegal), InvalidProgramException);
                 after_inner = 1;
                 OrvexTestForeignNullWrite();
               }),
               AccessViolationException);
  EXPECT_EQ(after_inner, 1);
}

// Our values in callee-saved registers must survive a fault in foreign
// code that had overwritten those registers.
#if defined(__x86_64__)
#define ORVEX_TEST_KEEP(name, reg) register unsigned long long name asm(reg)
#else
#define ORVEX_TEST_KEEP(name, reg) register unsigned long name asm(reg)
#endif

TEST(FaultTranslationTest, GuardRestoresTheCallersState) {
#if defined(__x86_64__)
  ORVEX_TEST_KEEP(a, "rbx") = 0x1111;
  ORVEX_TEST_KEEP(b, "r12") = 0x2222;
  ORVEX_TEST_KEEP(c, "r13") = 0x3333;
  ORVEX_TEST_KEEP(d, "r14") = 0x4444;
  ORVEX_TEST_KEEP(e, "r15") = 0x5555;
  asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d), "+r"(e));
  EXPECT_THROW(CallGuarded(&OrvexTestForeignClobberAndFault), AccessViolationException);
  asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d), "+r"(e));
  EXPECT_EQ(a + b + c + d + e, 0x1111u + 0x2222 + 0x3333 + 0x4444 + 0x5555);
#else
  ORVEX_TEST_KEEP(a, "ebx") = 0x1111;
  ORVEX_TEST_KEEP(b, "esi") = 0x2222;
  ORVEX_TEST_KEEP(c, "edi") = 0x3333;
  asm volatile("" : "+r"(a), "+r"(b), "+r"(c));
  EXPECT_THROW(CallGuarded(&OrvexTestForeignClobberAndFault), AccessViolationException);
  asm volatile("" : "+r"(a), "+r"(b), "+r"(c));
  EXPECT_EQ(a + b + c, 0x1111u + 0x2222 + 0x3333);
#endif
  // The direction flag must be clear again, or copies run backwards, and
  // our rounding must be back.
  EXPECT_THROW(CallGuarded(&OrvexTestForeignUpsetsFlagsAndFault), AccessViolationException);
  char source[64], copy[64];
  for (int i = 0; i < 64; ++i) source[i] = static_cast<char>(i);
  std::memmove(copy, source, sizeof copy);
  EXPECT_EQ(std::memcmp(copy, source, sizeof copy), 0);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

// Reports the abort box on standard error, where the death test reads it,
// instead of showing it.
class BoxToStandardError : public IUserNotifier {
 public:
  int Notify(WindowHandle owner, unsigned flags, const SharedString& caption,
             const SharedString& text) override {
    std::fprintf(stderr, "box flags=0x%x owner=%s caption=%s text=%s\n", flags,
                 owner ? "set" : "null", caption == u"エラー" ? "ok" : "wrong",
                 text == u"異常終了" ? "ok" : "wrong");
    std::fflush(stderr);
    return kIdOk;
  }
};

constexpr char kAbortBox[] = "box flags=0x40010 owner=null caption=ok text=ok";

TEST(FaultTranslationDeathTest, AbortShowsTheBoxAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static BoxToStandardError box;
        SetUserNotifier(&box);
        std::abort();
      },
      ::testing::ExitedWithCode(1), kAbortBox);
}

TEST(FaultTranslationDeathTest, TerminateEndsInTheAbortBox) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static BoxToStandardError box;
        SetUserNotifier(&box);
        std::thread([] { std::terminate(); }).join();
      },
      ::testing::ExitedWithCode(1), kAbortBox);
}

class FaultingNotifier : public IUserNotifier {
 public:
  int Notify(WindowHandle, unsigned, const SharedString&, const SharedString&) override {
    WriteThroughNull();
    return kIdOk;
  }
};

TEST(FaultTranslationDeathTest, FaultWhileReportingAnAbortStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static FaultingNotifier box;
        SetUserNotifier(&box);
        try {
          std::abort();
        } catch (...) {
          std::_Exit(5);  // the aborting code must never get control back
        }
      },
      ::testing::ExitedWithCode(1), "");
}

TEST(FaultTranslationDeathTest, AbortDuringTheExitPathShowsOneBox) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static BoxToStandardError box;
        SetUserNotifier(&box);
        std::atexit([] { std::abort(); });
        std::abort();
      },
      ::testing::ExitedWithCode(1), kAbortBox);
}

}  // namespace
}  // namespace Orvex

#include "foundation/fault_translation.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

// The system probes memory with its own handlers; a translator that ran
// first and threw would break it.
TEST(Win32FaultTranslationTest, SystemFaultHandlersStillWork) {
  const void* bad = reinterpret_cast<const void*>(16);
  EXPECT_TRUE(IsBadReadPtr(bad, 4));
  EXPECT_TRUE(IsBadWritePtr(const_cast<void*>(bad), 4));
  int readable = 0;
  EXPECT_FALSE(IsBadReadPtr(&readable, sizeof readable));
}

TEST(Win32FaultTranslationTest, FaultInASystemLibraryCalledWithABadPointer) {
  if constexpr (sizeof(void*) == 4) {
    GTEST_SKIP() << "i686 system libraries have no DWARF tables to unwind; the "
                    "throw terminates and the abort box is shown instead";
  } else {
    // Through a pointer, so that the call really reaches msvcrt.
    void* (*volatile fill)(void*, int, size_t) = &std::memset;
    for (int round = 0; round < 2; ++round) {
      EXPECT_THROW(fill(nullptr, 0, 64), AccessViolationException);
    }
  }
}

TEST(Win32FaultTranslationTest, GuardLeavesHandledFaultsToForeignCode) {
  EXPECT_TRUE(CallGuarded([] { return IsBadReadPtr(reinterpret_cast<const void*>(16), 4); }));
}

TEST(Win32FaultTranslationTest, GuardCatchesUnhandledFaultsInSystemLibraries) {
  void* (*volatile fill)(void*, int, size_t) = &std::memset;
  for (int round = 0; round < 2; ++round) {
    EXPECT_THROW(CallGuarded([&] { fill(nullptr, 0, 64); }), AccessViolationException);
  }
  // The guard is gone again: the system's own probes still work.
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(16), 4));
}

}  // namespace
}  // namespace Orvex

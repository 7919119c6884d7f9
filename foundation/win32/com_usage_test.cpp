#include "foundation/win32/com_usage.h"

#include <gtest/gtest.h>

#include <thread>

#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <objbase.h>
// clang-format on

namespace Orvex {
namespace {

// Whether the calling thread has COM in the given apartment now: a second
// initialisation in the same apartment answers S_FALSE (and is undone).
bool ComIn(DWORD apartment) {
  const HRESULT result = CoInitializeEx(nullptr, apartment);
  if (SUCCEEDED(result)) CoUninitialize();
  return result == S_FALSE;
}

TEST(ComUsageTest, NestedUsersShareOneInitialisationAndTheLastEndsIt) {
  std::thread([] {
    {
      ComUsage outer;
      EXPECT_FALSE(outer.MultiThreaded());
      {
        ComUsage inner;
        EXPECT_EQ(ComUsage::ThreadCount(), 2);
      }
      EXPECT_TRUE(ComIn(COINIT_APARTMENTTHREADED));
    }
    EXPECT_EQ(ComUsage::ThreadCount(), 0);
    EXPECT_FALSE(ComIn(COINIT_APARTMENTTHREADED));
  }).join();
}

TEST(ComUsageTest, ComSetUpBeforeIsUsedAndLeftToItsOwner) {
  std::thread([] {
    // The single-threaded apartment of someone else: counts nest.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    { ComUsage usage; }
    EXPECT_TRUE(ComIn(COINIT_APARTMENTTHREADED));
    CoUninitialize();
  }).join();
  std::thread([] {
    // The multithreaded apartment: no failure, and it stays.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      ComUsage usage;
      EXPECT_TRUE(usage.MultiThreaded());
    }
    EXPECT_TRUE(ComIn(COINIT_MULTITHREADED));
    CoUninitialize();
  }).join();
}

}  // namespace
}  // namespace Orvex

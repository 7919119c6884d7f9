#include "foundation/error_reporting.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace Orvex {
namespace {

// Without a notifier of the program's own (the one-shot start, or before
// the desktop program's boxes are up), standard error is where the user
// learns why the program ended.
TEST(AbortDeathTest, DefaultNotifierWritesTheBoxToStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetUserNotifier(nullptr);
        std::abort();
      },
      ::testing::ExitedWithCode(1), "エラー: 異常終了");
}

}  // namespace
}  // namespace Orvex

#include "foundation/error_reporting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

void PostQuits(int count) {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, i, 0));
  }
}

int CountAndRemove(UINT message_id) {
  int count = 0;
  MSG message;
  while (PeekMessageW(&message, nullptr, message_id, message_id, PM_REMOVE)) ++count;
  return count;
}

bool QuitPending() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

TEST(DrainQuitMessagesTest, RemovesAtMostSixteen) {
  PostQuits(20);
  EXPECT_EQ(DrainQuitMessages(), 16);
  EXPECT_EQ(DrainQuitMessages(), 4);
  EXPECT_EQ(DrainQuitMessages(), 0);
  EXPECT_FALSE(QuitPending());
}

TEST(DrainQuitMessagesTest, LeavesOtherMessagesQueued) {
  PostQuits(0);
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  PostQuits(1);
  EXPECT_EQ(DrainQuitMessages(), 1);
  EXPECT_EQ(CountAndRemove(WM_APP), 1);
}

class QuitObservingNotifier : public IUserNotifier {
 public:
  int Notify(WindowHandle, unsigned, const SharedString&, const SharedString&) override {
    quit_pending_when_shown = QuitPending();
    return kIdOk;
  }
  bool quit_pending_when_shown = true;
};

TEST(ShowExceptionTest, DrainsQuitRequestsBeforeShowing) {
  QuitObservingNotifier notifier;
  IUserNotifier* previous = SetUserNotifier(&notifier);
  PostQuits(3);
  ShowException(nullptr, u"エラー (2)", RuntimeException(u"ダイアログの作成に失敗"));
  SetUserNotifier(previous);
  EXPECT_FALSE(notifier.quit_pending_when_shown);
}

class QuitStateToStandardError : public IUserNotifier {
 public:
  int Notify(WindowHandle, unsigned flags, const SharedString&, const SharedString&) override {
    std::fprintf(stderr, "box flags=0x%x quit=%s\n", flags, QuitPending() ? "pending" : "none");
    std::fflush(stderr);
    return kIdOk;
  }
};

TEST(AbortDeathTest, BoxIsShownEvenWithAQuitRequestPending) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static QuitStateToStandardError box;
        SetUserNotifier(&box);
        PostQuits(2);
        std::abort();
      },
      ::testing::ExitedWithCode(1), "box flags=0x40010 quit=none");
}

}  // namespace
}  // namespace Orvex

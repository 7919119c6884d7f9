#include "foundation/error_reporting.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

namespace Orvex {
namespace {

class RecordingNotifier : public IUserNotifier {
 public:
  int Notify(WindowHandle owner, unsigned flags, const SharedString& caption,
             const SharedString& text) override {
    ++calls;
    last_owner = owner;
    last_flags = flags;
    last_caption = caption;
    last_text = text;
    return answer;
  }

  int answer = kIdOk;
  int calls = 0;
  WindowHandle last_owner = nullptr;
  unsigned last_flags = 0;
  SharedString last_caption;
  SharedString last_text;
};

class ErrorReportingTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetUserNotifier(&notifier_); }
  void TearDown() override { SetUserNotifier(previous_); }

  RecordingNotifier notifier_;
  IUserNotifier* previous_ = nullptr;
};

TEST_F(ErrorReportingTest, ShowMessagePassesEverythingThrough) {
  int window = 0;
  notifier_.answer = 7;
  EXPECT_EQ(ShowMessage(&window, kMbIconHand | kMbTopmost, u"題", u"本文"), 7);
  EXPECT_EQ(notifier_.last_owner, &window);
  EXPECT_EQ(notifier_.last_flags, 0x40010u);
  EXPECT_EQ(notifier_.last_caption, u"題");
  EXPECT_EQ(notifier_.last_text, u"本文");
}

// A start that showed an error ends with exit code 1; a notice with the
// information icon is no error. (Once set, the mark stays for the process:
// earlier tests may have set it.)
TEST_F(ErrorReportingTest, ErrorBoxesMarkTheStartAsFailed) {
  const bool before = ErrorWasReported();
  ShowMessage(nullptr, kMbIconInformation, u"お知らせ", u"トレイがありません");
  EXPECT_EQ(ErrorWasReported(), before);
  ShowMessage(nullptr, kMbIconHand, u"エラー", u"画像フォルダが見つかりません");
  EXPECT_TRUE(ErrorWasReported());
  EXPECT_EQ(ExitCodeOfStart(), 1);
}

TEST_F(ErrorReportingTest, ShowExceptionShowsTheStoredTextUnchanged) {
  const IOException io(SharedString(u"C:\\画像\\壁紙.jpg のオープン・作成に失敗"));
  EXPECT_EQ(ShowException(nullptr, u"エラー (3)", io), kIdOk);
  EXPECT_EQ(notifier_.last_owner, nullptr);
  EXPECT_EQ(notifier_.last_flags, 0x11040u);
  EXPECT_EQ(notifier_.last_caption, u"エラー (3)");
  EXPECT_EQ(notifier_.last_text, u"C:\\画像\\壁紙.jpg のオープン・作成に失敗");
  EXPECT_EQ(GetDefaultEncoding().ToMultiByte(notifier_.last_text), io.what());

  // Not only our own exceptions: anything the standard library throws.
  int window = 0;
  ShowException(&window, u"エラー (1)", std::runtime_error("vector::_M_realloc_insert"));
  EXPECT_EQ(notifier_.last_owner, &window);
  EXPECT_EQ(notifier_.last_text, u"vector::_M_realloc_insert");
  EXPECT_EQ(notifier_.calls, 2);
}

TEST_F(ErrorReportingTest, NullPutsTheDefaultNotifierBack) {
  EXPECT_EQ(&GetUserNotifier(), &notifier_);
  EXPECT_EQ(SetUserNotifier(nullptr), &notifier_);
  EXPECT_EQ(&GetUserNotifier(), &DefaultUserNotifier());
  SetUserNotifier(&notifier_);
}

}  // namespace
}  // namespace Orvex

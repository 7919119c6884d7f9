#include "foundation/win32/app_frame_base.h"

#include <gtest/gtest.h>

#include "foundation/exceptions.h"
#include "foundation/win32/window_test_support.h"

namespace Orvex {
namespace {

class Frame : public CSingleAppFrameBase {
 public:
  explicit Frame(bool fail) : CSingleAppFrameBase(nullptr, nullptr, "", 1), fail_(fail) {}
  int Run() override {
    if (fail_) throw RuntimeException(u"起動できない");
    return 5;
  }

 private:
  bool fail_;
};

TEST(AppFrameTest, AnErrorLeavingRunIsTheFatalBoxAndExitCodeOne) {
  Orvex::Test::RecordingNotifier boxes;
  EXPECT_EQ(Frame(false).GuardedRun(), 5);
  EXPECT_TRUE(boxes.captions.empty());
  EXPECT_EQ(Frame(true).GuardedRun(), 1);
  ASSERT_EQ(boxes.captions.size(), 1u);
  EXPECT_EQ(boxes.captions[0], SharedString(u"エラー発生：終了します"));
  EXPECT_EQ(boxes.texts[0], SharedString(u"起動できない"));
}

TEST(AppFrameTest, OnlyTheFirstFrameOfAnExecutableIsTheFirstInstance) {
  EXPECT_EQ(CSingleAppFrameBase::InstanceMutexName(u"C:\\Program Files\\p\\Pelmora.exe"),
            SharedString(u"C:/Program Files/p/Pelmora.exe"));
  {
    Frame first(false);
    EXPECT_TRUE(first.IsFirstInstance());
    Frame second(false);
    EXPECT_FALSE(second.IsFirstInstance());
  }
  // Both let go of the mutex.
  EXPECT_TRUE(Frame(false).IsFirstInstance());
}

}  // namespace
}  // namespace Orvex

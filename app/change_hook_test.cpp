#include "app/change_hook.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fake_desktop.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;

TEST(ChangeHookTest, PlaceholdersAreReplacedOnceAndQuotedOnlyWhereNeeded) {
  // A path that holds a placeholder of its own is not expanded again.
  EXPECT_EQ(ExpandHookPlaceholders(u"tool -i %f -o %w %x 100%", u"/p/a%w.png", u"/w/out.bmp"),
            SharedString(u"tool -i /p/a%w.png -o /w/out.bmp %x 100%"));
  EXPECT_EQ(ExpandHookPlaceholders(u"%f%f", u"a", u"b"), SharedString(u"aa"));
  // Windows command lines: a value with blanks becomes one quoted argument,
  // unless the user quoted it already.
  EXPECT_EQ(ExpandHookPlaceholders(u"tool %f \"%w\" %f", u"C:\\My Pictures\\a.jpg",
                                   u"C:\\Out Folder\\w.bmp", true),
            SharedString(u"tool \"C:\\My Pictures\\a.jpg\" \"C:\\Out Folder\\w.bmp\" "
                         u"\"C:\\My Pictures\\a.jpg\""));
  EXPECT_EQ(ExpandHookPlaceholders(u"tool %f", u"C:\\a.jpg", u"", true),
            SharedString(u"tool C:\\a.jpg"));
}

TEST(ChangeHookTest, ProgramIsSplitFromItsArguments) {
  using Split = std::pair<SharedString, SharedString>;
  EXPECT_EQ(SplitProgramFromCommandLine(u"  tool.exe  -i  x "), Split(u"tool.exe", u"-i  x"));
  EXPECT_EQ(SplitProgramFromCommandLine(u"\"C:\\Program Files\\t.exe\" \"a b\""),
            Split(u"C:\\Program Files\\t.exe", u"\"a b\""));
  EXPECT_EQ(SplitProgramFromCommandLine(u"\"C:\\open quote"), Split(u"C:\\open quote", u""));
  EXPECT_EQ(SplitProgramFromCommandLine(u"tool"), Split(u"tool", u""));
}

class ChangeHookRunTest : public ::testing::Test {
 protected:
  ChangeHookRunTest() { store_.SetString(u"SaveFile", u"/out/Pelmora.bmp"); }

  ChangeHook Hook() {
    return ChangeHook(
        [this](const SharedString& command, const SharedString& picture,
               const SharedString& wallpaper) {
          if (command.StartsWith(u"missing")) throw Orvex::RuntimeException(u"not found");
          calls_.push_back(command + u"|" + picture + u"|" + wallpaper);
        },
        desktop_);
  }

  ConfigStore store_{u"unused.ini", u"pelmora-hook-test"};
  FakeDesktop desktop_;
  std::vector<SharedString> calls_;
};

TEST_F(ChangeHookRunTest, RunsOnlyWhenSetWithThePictureAndTheWrittenFile) {
  ChangeHook hook = Hook();
  hook.AfterChange(store_, u"/p/a.png");  // absent
  store_.SetString(u"OnChange", u"  ");
  hook.AfterChange(store_, u"/p/a.png");  // blank
  EXPECT_TRUE(calls_.empty());
  store_.SetString(u"OnChange", u"wal -i %f");
  hook.AfterChange(store_, u"/p/a.png");
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0], u"wal -i %f|/p/a.png|" +
                           Orvex::MakeAbsoluteToExecutable(SharedString(u"/out/Pelmora.bmp")));
  EXPECT_TRUE(desktop_.errors.empty());
}

// One box per failing value: not one per change, which on a short interval
// would bury the desktop in boxes.
TEST_F(ChangeHookRunTest, ACommandThatCannotStartIsSaidOncePerValue) {
  ChangeHook hook = Hook();
  store_.SetString(u"OnChange", u"missing-tool %f");
  hook.AfterChange(store_, u"/p/a.png");
  hook.AfterChange(store_, u"/p/b.png");
  ASSERT_EQ(desktop_.errors.size(), 1u);
  EXPECT_NE(desktop_.errors[0].Find(u"missing-tool %f"), SharedString::npos);
  store_.SetString(u"OnChange", u"missing-other");
  hook.AfterChange(store_, u"/p/a.png");
  EXPECT_EQ(desktop_.errors.size(), 2u);
  // Once it starts again, a later failure is news again.
  store_.SetString(u"OnChange", u"tool");
  hook.AfterChange(store_, u"/p/a.png");
  store_.SetString(u"OnChange", u"missing-other");
  hook.AfterChange(store_, u"/p/a.png");
  EXPECT_EQ(desktop_.errors.size(), 3u);
  EXPECT_EQ(calls_.size(), 1u);
}

}  // namespace

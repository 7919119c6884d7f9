#include "app/start_up.h"

#include <gtest/gtest.h>

#include "app/fake_desktop.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/test_folder.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

class StartUpTest : public ::testing::Test {
 protected:
  ConfigStore Store() const { return ConfigStore(settings_, settings_ + u".lock"); }
  StartRequest Apply(std::vector<SharedString> arguments) {
    return ApplyCommandLine(arguments, desktop_, settings_ + u".lock", [this] { return Store(); });
  }
  void Write(bool suspend, bool remove_on_suspend) {
    ConfigStore store = Store();
    store.SetBool(u"Suspend", suspend);
    store.SetBool(u"RemoveOnSuspend", remove_on_suspend);
    store.SetString(u"Extra", u"kept");
    ASSERT_TRUE(store.Save());
  }
  ConfigStore Saved() const {
    ConfigStore store = Store();
    EXPECT_TRUE(store.Load());
    return store;
  }

  TestFolder temp_;
  SharedString settings_ = temp_ / u"Pelmora.cfg";
  FakeDesktop desktop_;
};

// The requests for the resident program change nothing here; the last one
// given is the one sent, and each maps to its message and tray command.
TEST_F(StartUpTest, RequestsForTheResidentProgram) {
  Write(false, true);
  EXPECT_EQ(Apply({}).resident, ResidentRequest::kNone);
  EXPECT_EQ(Apply({u"/Next", u"/previous "}).resident, ResidentRequest::kNone);
  EXPECT_EQ(Apply({u"/next"}).resident, ResidentRequest::kNext);
  const StartRequest request = Apply({u"/exclude", u"/once", u"/previous"});
  EXPECT_EQ(request.resident, ResidentRequest::kPrevious);
  EXPECT_FALSE(request.state_switch);
  EXPECT_EQ(Apply({u"/status"}).resident, ResidentRequest::kStatus);
  EXPECT_FALSE(Saved().GetBool(u"Suspend"));
  EXPECT_EQ(desktop_.removals, 0);

  for (const ResidentRequest r : {ResidentRequest::kNext, ResidentRequest::kPrevious,
                                  ResidentRequest::kExclude, ResidentRequest::kStatus}) {
    EXPECT_EQ(ResidentRequestOfMessage(ResidentMessage(r)), r);
  }
  // A plain second start sends what "/next" sends.
  EXPECT_EQ(std::string(ResidentMessage(ResidentRequest::kNone)), "notify");
  EXPECT_EQ(ResidentCommandId(ResidentRequest::kNext), kCmdNotify);
  EXPECT_EQ(ResidentCommandId(ResidentRequest::kPrevious), kCmdPrevious);
  EXPECT_EQ(ResidentCommandId(ResidentRequest::kExclude), kCmdExclude);
  EXPECT_EQ(ResidentRequestOfMessage("bogus"), ResidentRequest::kNone);
}

TEST_F(StartUpTest, SwitchesActInOrderAndOnlyWhenSpelledExactly) {
  Write(false, true);
  StartRequest request = Apply({u"/SUSPEND", u"/once ", u"suspend", u"/Resume"});
  EXPECT_FALSE(request.once);
  EXPECT_FALSE(request.state_switch);
  EXPECT_FALSE(Orvex::Exists(settings_ + u".tmp"));
  EXPECT_FALSE(Saved().GetBool(u"Suspend"));

  request = Apply({u"/suspend", u"/once"});
  EXPECT_TRUE(request.once);
  EXPECT_TRUE(request.state_switch);
  EXPECT_TRUE(Saved().GetBool(u"Suspend"));
  EXPECT_EQ(desktop_.removals, 1);
  // Already suspended: the wallpaper is left alone.
  Apply({u"/suspend"});
  EXPECT_EQ(desktop_.removals, 1);

  Apply({u"/suspend", u"/resume"});
  const ConfigStore saved = Saved();
  EXPECT_FALSE(saved.GetBool(u"Suspend"));
  EXPECT_EQ(saved.GetString(u"Extra"), SharedString(u"kept"));
  // Nothing else was filled in from the defaults.
  EXPECT_EQ(saved.Entries().size(), 3u);

  EXPECT_FALSE(Apply({}).once);
  EXPECT_FALSE(Apply({}).state_switch);
  EXPECT_TRUE(Apply({u"/once"}).once);
  EXPECT_TRUE(Apply({u"x", u"/once", u"y"}).once);
  EXPECT_FALSE(Apply({u"/ONCE"}).once);
  EXPECT_FALSE(Apply({u"-once"}).once);
}

// A start without switches is handed on to the tray program before the
// command line is applied: the two must agree on what a switch is.
TEST_F(StartUpTest, APlainStartIsOneThatApplyingFindsNoSwitchIn) {
  Write(false, true);
  const std::vector<std::vector<SharedString>> starts = {{},
                                                         {u"x"},
                                                         {u"/SUSPEND", u"/once ", u"-next"},
                                                         {u"/suspend"},
                                                         {u"/resume"},
                                                         {u"/once"},
                                                         {u"x", u"/next"},
                                                         {u"/previous"},
                                                         {u"/exclude"},
                                                         {u"/status"},
                                                         {u"/Status"}};
  for (const std::vector<SharedString>& arguments : starts) {
    const StartRequest request = Apply(arguments);
    const bool plain =
        !request.once && !request.state_switch && request.resident == ResidentRequest::kNone;
    EXPECT_EQ(HasStartSwitch(arguments), !plain) << arguments.size();
  }
}

TEST_F(StartUpTest, SuspendNeedsTheFileWhileResumeCreatesIt) {
  EXPECT_THROW(Apply({u"/suspend"}), Orvex::RuntimeException);
  EXPECT_FALSE(Orvex::Exists(settings_));

  EXPECT_TRUE(Apply({u"/resume"}).state_switch);
  const ConfigStore saved = Saved();
  EXPECT_EQ(saved.Entries().size(), 1u);
  EXPECT_FALSE(saved.GetBool(u"Suspend"));

  // Not yet suspended and RemoveOnSuspend missing: that read fails too.
  EXPECT_THROW(Apply({u"/suspend"}), Orvex::RuntimeException);
  EXPECT_EQ(desktop_.removals, 0);
}

// A settings file that cannot be read is reported, not overwritten with a
// file that holds only the switch.
TEST_F(StartUpTest, SwitchesReportASettingsFileTheyCannotRead) {
  Orvex::CreateDirectories(settings_ + u"/inside/");
  EXPECT_THROW(Apply({u"/resume"}), Orvex::RuntimeException);
  EXPECT_THROW(Apply({u"/suspend"}), Orvex::RuntimeException);
  EXPECT_TRUE(Orvex::IsDirectory(settings_));
  EXPECT_EQ(desktop_.removals, 0);
}

}  // namespace

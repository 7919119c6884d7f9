#include "app/tray_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/fake_desktop.h"
#include "codecs/bmp_loader.h"
#include "codecs/bmp_saver.h"
#include "codecs/loader_registry.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"
#include "imaging/plane_block_cache.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

class FakeShell : public ITrayShell {
 public:
  void OpenWithShell(const SharedString& path) override { opened.push_back(path); }
  std::optional<SharedString> ChooseFolder(const SharedString& title,
                                           const SharedString& start) override {
    chooser_calls.push_back({title, start});
    if (while_open) while_open();
    return folder;
  }
  bool RunSettingsDialog(ConfigStore& store) override {
    ++dialogs;
    if (while_open) while_open();
    return dialog ? dialog(store) : false;
  }
  void RaiseSettingsDialog() override { ++raises; }
  void PostCommand(int id) override { posted.push_back(id); }
  void Close() override { ++closes; }

  // What happens elsewhere while a chooser or the dialog is open.
  std::function<void()> while_open;
  std::function<bool(ConfigStore&)> dialog;
  std::optional<SharedString> folder;
  std::vector<SharedString> opened;
  std::vector<std::vector<SharedString>> chooser_calls;
  std::vector<int> posted;
  int dialogs = 0;
  int raises = 0;
  int closes = 0;
};

class TrayCommandsTest : public ::testing::Test {
 protected:
  TrayCommandsTest() {
    registry_.RegisterFactory(
        std::make_shared<Orvex::DefaultFactory<Orvex::CBmpLoader, Orvex::IImageLoader>>(), 0);
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({16, 9});
    plane.FillAll(0x336699);
    Orvex::CBmpSaver().Save(images_ / u"a.bmp", plane, Orvex::PlaneRect{0, 0, 16, 9});
    Edit([this](ConfigStore& s) {
      s.SetString(u"ImageDir", images_.Path());
      s.SetString(u"SaveFile", temp_ / u"wallpaper.bmp");
    });
  }

  ConfigStore Store() const { return ConfigStore(settings_, settings_ + u".lock"); }

  // Another process's edit of the settings file.
  void Edit(const std::function<void(ConfigStore&)>& change) {
    ConfigStore store = Store();
    store.LoadWithDefaults();
    change(store);
    ASSERT_TRUE(store.Save());
  }
  ConfigStore Saved() const {
    ConfigStore store = Store();
    EXPECT_TRUE(store.Load());
    return store;
  }
  std::string FileBytes() const { return TestFolder::ReadBytes(settings_); }

  TestFolder temp_;
  TestFolder images_;
  SharedString settings_ = temp_ / u"Pelmora.cfg";
  FakeDesktop desktop_;
  FakeShell shell_;
  Orvex::LoaderRegistry registry_;
  WallpaperCycle cycle_{desktop_, registry_, [this] { return Store(); }, &desktop_};
  TrayCommands commands_{cycle_, desktop_, shell_, [this] { return Store(); }};
};

TEST_F(TrayCommandsTest, CancellingTheSettingsDialogWritesNothing) {
  // A second start suspends while the dialog is open.
  std::string written_meanwhile;
  shell_.while_open = [&] {
    Edit([](ConfigStore& s) { s.SetBool(u"Suspend", true); });
    written_meanwhile = FileBytes();
  };
  shell_.dialog = [](ConfigStore&) { return false; };
  EXPECT_TRUE(commands_.OnCommand(kCmdSettings));
  EXPECT_EQ(shell_.dialogs, 1);
  EXPECT_EQ(FileBytes(), written_meanwhile);
  EXPECT_TRUE(Saved().GetBool(u"Suspend"));
}

TEST_F(TrayCommandsTest, ASecondRequestWhileTheDialogIsOpenShowsTheOpenOne) {
  bool nested = false;
  shell_.while_open = [&] {
    if (std::exchange(nested, true)) return;
    EXPECT_TRUE(commands_.OnCommand(kCmdSettings));
  };
  EXPECT_TRUE(commands_.OnCommand(kCmdSettings));
  EXPECT_EQ(shell_.dialogs, 1);
  EXPECT_EQ(shell_.raises, 1);
  // Closed, the next request opens the dialog again.
  EXPECT_TRUE(commands_.OnCommand(kCmdSettings));
  EXPECT_EQ(shell_.dialogs, 2);
  EXPECT_EQ(shell_.raises, 1);
}

TEST_F(TrayCommandsTest, OkWritesOnlyTheDialogsEditsOntoTheFileAsItIsNow) {
  Edit([](ConfigStore& s) { s.SetString(u"Interval(sec)", u"600 seconds"); });
  // Meanwhile a second start suspends, a double click chooses a folder and
  // someone adds an entry of their own.
  shell_.while_open = [this] {
    Edit([](ConfigStore& s) {
      s.SetBool(u"Suspend", true);
      s.SetString(u"ImageDir", u"/elsewhere/");
      s.SetString(u"Extra", u"kept");
    });
  };
  shell_.dialog = [](ConfigStore& store) {
    store.SetBool(u"Sharp", true);
    store.SetInt(u"Interval(sec)", 600);  // as the dialog reads "600 seconds" back
    return true;
  };
  EXPECT_TRUE(commands_.OnCommand(kCmdSettings));
  const ConfigStore saved = Saved();
  EXPECT_TRUE(saved.GetBool(u"Sharp"));
  EXPECT_EQ(saved.GetString(u"Interval(sec)"), SharedString(u"600"));
  EXPECT_TRUE(saved.GetBool(u"Suspend"));
  EXPECT_EQ(saved.GetString(u"ImageDir"), SharedString(u"/elsewhere/"));
  EXPECT_EQ(saved.GetString(u"Extra"), SharedString(u"kept"));
}

TEST_F(TrayCommandsTest, SettingsTheDialogCannotShowAreReportedWithoutOpeningIt) {
  Edit([](ConfigStore& s) { s.SetString(u"ResizeAlignV", u""); });
  const std::string before = FileBytes();
  EXPECT_THROW(commands_.OnCommand(kCmdSettings), Orvex::RuntimeException);
  EXPECT_EQ(shell_.dialogs, 0);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(TrayCommandsTest, AChosenImageFolderKeepsWhatWasWrittenWhileChoosing) {
  EXPECT_TRUE(commands_.OnCommand(kCmdChooseFolder));
  ASSERT_EQ(shell_.chooser_calls.size(), 1u);
  EXPECT_EQ(shell_.chooser_calls[0][0], SharedString(u"画像フォルダの設定"));
  EXPECT_EQ(shell_.chooser_calls[0][1], WallpaperCycle::ImageFolder(Saved()));
  EXPECT_EQ(Saved().GetString(u"ImageDir"), images_.Path());

  shell_.folder = SharedString(u"/chosen/");
  shell_.while_open = [this] { Edit([](ConfigStore& s) { s.SetBool(u"Suspend", true); }); };
  commands_.OnCommand(kCmdChooseFolder);
  EXPECT_EQ(Saved().GetString(u"ImageDir"), SharedString(u"/chosen/"));
  EXPECT_TRUE(Saved().GetBool(u"Suspend"));
}

TEST_F(TrayCommandsTest, SuspendAndResume) {
  Edit([](ConfigStore& s) { s.SetBool(u"RemoveOnSuspend", true); });
  commands_.Create(false);
  ASSERT_EQ(desktop_.wallpapers.size(), 1u);

  // Suspending twice removes the wallpaper twice: it may have been set again.
  commands_.OnCommand(kCmdSuspend);
  commands_.OnCommand(kCmdSuspend);
  EXPECT_EQ(desktop_.removals, 2);
  EXPECT_TRUE(Saved().GetBool(u"Suspend"));
  EXPECT_EQ(desktop_.icons.back(), kSuspendedIconId);
  EXPECT_EQ(desktop_.tooltips.back(), SharedString(u"Pelmora [一時停止中] build-15"));
  commands_.OnCommand(kCmdChangeNow);
  EXPECT_EQ(desktop_.wallpapers.size(), 1u);

  // A new interval saved meanwhile is armed by the resume.
  Edit([](ConfigStore& s) { s.SetInt(u"Interval(sec)", 7); });
  commands_.OnCommand(kCmdResume);
  EXPECT_FALSE(Saved().GetBool(u"Suspend"));
  EXPECT_EQ(desktop_.icons.back(), kRunningIconId);
  EXPECT_EQ(desktop_.timer_periods.back(), 7000u);
  EXPECT_EQ(desktop_.wallpapers.size(), 2u);
  // Resuming while running changes nothing.
  commands_.OnCommand(kCmdResume);
  EXPECT_EQ(desktop_.wallpapers.size(), 2u);
  // The notification of a second start changes at once.
  commands_.OnCommand(kCmdNotify);
  EXPECT_EQ(desktop_.wallpapers.size(), 3u);
  // Between changes the program holds no pixel buffers.
  EXPECT_EQ(Orvex::PlaneBlockCache::Instance().CachedBytes(), 0u);
}

TEST_F(TrayCommandsTest, DoubleClickPostsTheChosenCommand) {
  struct Case {
    int action;
    bool suspended;
    std::vector<int> posted;
  };
  const Case cases[] = {
      {0, false, {kCmdChooseFolder}},
      {1, false, {kCmdChangeNow}},
      {2, false, {kCmdOpenSource}},
      {3, false, {kCmdSuspend}},
      {3, true, {kCmdResume}},
      {4, false, {kCmdSettings}},
      {5, false, {}},
      {-1, false, {}},
  };
  for (const Case& c : cases) {
    Edit([&](ConfigStore& s) {
      s.SetInt(u"DoubleClick", c.action);
      s.SetBool(u"Suspend", c.suspended);
    });
    shell_.posted.clear();
    commands_.OnDoubleClick();
    EXPECT_EQ(shell_.posted, c.posted) << c.action;
  }
}

TEST_F(TrayCommandsTest, ShellCommandsAndExit) {
  commands_.OnCommand(kCmdOpenSource);
  commands_.OnCommand(kCmdChangeNow);
  commands_.OnCommand(kCmdOpenSource);
  commands_.OnCommand(kCmdOpenProgramFolder);
  commands_.OnCommand(kCmdOpenWebPage);
  commands_.OnCommand(kCmdSendMail);
  EXPECT_EQ(shell_.opened,
            (std::vector<SharedString>{u"", images_ / u"a.bmp", Orvex::GetExecutableDirectory(),
                                       kProjectPageAddress, kAuthorMailAddress}));
  EXPECT_EQ(shell_.closes, 0);
  EXPECT_TRUE(commands_.OnCommand(kCmdExit));
  EXPECT_EQ(shell_.closes, 1);
  EXPECT_FALSE(commands_.OnCommand(40014));
  EXPECT_FALSE(commands_.OnCommand(0));
}

TEST_F(TrayCommandsTest, PreviousAndNeverAgainReachTheCycle) {
  Orvex::CMemoryPlane32 plane;
  plane.SetSize({16, 9});
  plane.FillAll(0x993366);
  Orvex::CBmpSaver().Save(images_ / u"b.bmp", plane, Orvex::PlaneRect{0, 0, 16, 9});
  commands_.OnCommand(kCmdChangeNow);
  const SharedString first = cycle_.CurrentSource();
  commands_.OnCommand(kCmdChangeNow);
  EXPECT_TRUE(commands_.OnCommand(kCmdPrevious));
  EXPECT_EQ(cycle_.CurrentSource(), first);
  EXPECT_TRUE(commands_.OnCommand(kCmdExclude));
  EXPECT_NE(cycle_.CurrentSource(), first);
  EXPECT_EQ(TestFolder::ReadBytes(temp_ / u"Pelmora.exclude").size(),
            2 + 2 * (Orvex::FileNamePart(first).Length() + 2));
  EXPECT_EQ(desktop_.wallpapers.size(), 4u);
}

TEST_F(TrayCommandsTest, NeverAgainAndOpenActOnTheMonitorUnderThePointer) {
  Orvex::CMemoryPlane32 plane;
  plane.SetSize({16, 9});
  for (const char16_t* name : {u"b.bmp", u"c.bmp"}) {
    Orvex::CBmpSaver().Save(images_ / name, plane, Orvex::PlaneRect{0, 0, 16, 9});
  }
  desktop_.monitors = MonitorList{Monitor{Orvex::PlaneRect{0, 0, 160, 90}, true, u"A"},
                                  Monitor{Orvex::PlaneRect{160, 0, 320, 90}, false, u"B"}};
  Edit([](ConfigStore& s) { s.SetInt(u"MultiMonitor", 1); });
  commands_.OnCommand(kCmdChangeNow);
  ASSERT_EQ(cycle_.MonitorSources().size(), 2u);
  const SharedString on_a = cycle_.MonitorSources()[0].source;
  const SharedString on_b = cycle_.MonitorSources()[1].source;

  desktop_.pointer_monitor = u"B";
  commands_.OnCommand(kCmdOpenSource);
  commands_.OnCommand(kCmdExclude);
  EXPECT_EQ(shell_.opened, std::vector<SharedString>{on_b});
  EXPECT_EQ(cycle_.MonitorSources()[0].source, on_a);
  EXPECT_NE(cycle_.MonitorSources()[1].source, on_b);
  // A pointer the desktop cannot place acts on the primary's picture.
  desktop_.pointer_monitor = u"";
  commands_.OnCommand(kCmdOpenSource);
  EXPECT_EQ(shell_.opened.back(), on_a);
}

TEST_F(TrayCommandsTest, HotKeysPostTheirCommands) {
  commands_.OnHotKey(HotKeyAction::kNext);
  commands_.OnHotKey(HotKeyAction::kPrevious);
  commands_.OnHotKey(HotKeyAction::kExclude);
  commands_.OnHotKey(HotKeyAction::kSuspendOrResume);
  commands_.OnCommand(kCmdSuspend);
  commands_.OnHotKey(HotKeyAction::kSuspendOrResume);
  EXPECT_EQ(shell_.posted,
            (std::vector<int>{kCmdChangeNow, kCmdPrevious, kCmdExclude, kCmdSuspend, kCmdResume}));
}

TEST_F(TrayCommandsTest, StartingShowsTheStateAndWaitsWhenAsked) {
  Edit([](ConfigStore& s) {
    s.SetBool(u"WaitFirst", true);
    s.SetInt(u"Interval(sec)", 2);
  });
  commands_.Create(false);
  EXPECT_EQ(desktop_.icons, std::vector<int>{kRunningIconId});
  EXPECT_EQ(desktop_.tooltips.back(), SharedString(u"Pelmora build-15"));
  EXPECT_EQ(desktop_.timer_periods, std::vector<uint32_t>{2000});
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_EQ(shell_.closes, 0);
}

TEST_F(TrayCommandsTest, TheOneShotStartClosesAlsoWhenTheChangeFails) {
  commands_.Create(true);
  EXPECT_EQ(desktop_.wallpapers.size(), 1u);
  EXPECT_TRUE(desktop_.icons.empty());
  EXPECT_TRUE(desktop_.timer_periods.empty());
  EXPECT_EQ(shell_.closes, 1);

  Edit([](ConfigStore& s) { s.SetString(u"Suspend", u"True"); });
  EXPECT_THROW(commands_.Create(true), Orvex::RuntimeException);
  EXPECT_EQ(shell_.closes, 2);
}

}  // namespace

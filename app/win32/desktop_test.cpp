#include "app/win32/desktop.h"

#include <gtest/gtest.h>

#include "codecs/bmp_saver.h"
#include "foundation/recording_notifier.h"
#include "foundation/test_folder.h"
#include "foundation/win32/win32.h"
#include "imaging/plane32.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

// Puts the wallpaper the prefix had back, whatever a test left behind.
class Win32DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = Win32Desktop::CurrentWallpaper(); }
  void TearDown() override {
    try {
      desktop_.SetWallpaper(previous_, nullptr);
    } catch (...) {
    }
  }

  SharedString WriteBitmap(const SharedString& path) {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({4, 2});
    Orvex::CBmpSaver().Save(path, plane, {0, 0, 4, 2});
    return path;
  }

  Win32Desktop desktop_;
  SharedString previous_;
};

TEST_F(Win32DesktopTest, TheSystemReportsTheWallpaperSetExactlyAndNoneAfterRemoval) {
  TestFolder folder;
  // Letters outside code page 932 and outside the basic plane: the system
  // gets the path as it is, not through the ANSI code page.
  const SharedString path = WriteBitmap(folder / u"Tapete für Müller 😀.bmp");
  desktop_.SetWallpaper(path, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaper(), path);

  const SharedString japanese = WriteBitmap(folder / u"壁紙のソース.bmp");
  desktop_.SetWallpaper(japanese, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaper(), japanese);

  desktop_.RemoveWallpaper();
  EXPECT_EQ(Win32Desktop::CurrentWallpaper(), SharedString());
}

TEST_F(Win32DesktopTest, ErrorsAreOkBoxesWithTheErrorIconAndTheGivenOwner) {
  Orvex::Test::RecordingNotifier notifier;
  desktop_.ShowError(u"エラー", u"画像フォルダ 'C:\\無い\\' が見つかりません");
  int window = 0;
  Win32Desktop owned(&window);
  owned.ShowError(u"題", u"本文");

  ASSERT_EQ(notifier.texts.size(), 2u);
  EXPECT_EQ(notifier.owners[1], &window);
  EXPECT_EQ(notifier.flags_given[1], Orvex::kMbIconHand);
  EXPECT_EQ(notifier.captions[1], u"題");
  EXPECT_EQ(notifier.texts[1], u"本文");
}

TEST(Win32MonitorsTest, EveryMonitorHasANameAndExactlyOneIsThePrimaryAtTheOrigin) {
  Win32Desktop desktop;
  const MonitorList monitors = desktop.GetMonitors();
  ASSERT_FALSE(monitors.empty());
  int primaries = 0;
  for (const Monitor& monitor : monitors) {
    EXPECT_FALSE(monitor.name.IsEmpty());
    EXPECT_FALSE(monitor.rect.IsEmpty());
    if (!monitor.primary) continue;
    ++primaries;
    // Windows places the primary monitor at the virtual desktop's origin.
    EXPECT_EQ(monitor.rect.left, 0);
    EXPECT_EQ(monitor.rect.top, 0);
  }
  EXPECT_EQ(primaries, 1);
}

TEST(Win32MonitorsTest, ThePointerIsOnTheMonitorGetMonitorsNamesThere) {
  Win32Desktop desktop;
  POINT saved = {};
  if (!GetCursorPos(&saved)) GTEST_SKIP() << "no pointer on this desktop";
  for (const Monitor& monitor : desktop.GetMonitors()) {
    const int x = (monitor.rect.left + monitor.rect.right) / 2;
    const int y = (monitor.rect.top + monitor.rect.bottom) / 2;
    SetCursorPos(x, y);
    POINT now = {};
    if (!GetCursorPos(&now) || now.x != x || now.y != y) GTEST_SKIP() << "the pointer stays put";
    EXPECT_EQ(desktop.MonitorUnderPointer(), monitor.name);
  }
  SetCursorPos(saved.x, saved.y);
}

// The user's style survives a stay in the tiled pictures for several
// monitors: kept once, before it is first changed, and put back by the
// first single picture after them.
class Win32WallpaperStyleTest : public Win32DesktopTest {
 protected:
  void SetUp() override {
    Win32DesktopTest::SetUp();
    user_style_ = Win32Desktop::CurrentWallpaperStyle();
  }
  void TearDown() override {
    try {
      Win32Desktop::ApplyWallpaperStyle(user_style_);
    } catch (...) {
    }
    Win32DesktopTest::TearDown();
  }

  Win32Desktop::WallpaperStyle user_style_;
};

TEST_F(Win32WallpaperStyleTest, TheStyleBeforeTheFirstComposedPictureComesBackWithOnePicture) {
  TestFolder folder;
  const SharedString settings = folder / u"設定.cfg";
  Win32Desktop desktop(nullptr, [&] { return ConfigStore(settings, folder / u"lock"); });
  const SharedString picture = WriteBitmap(folder / u"壁紙.bmp");
  ComposedWallpaper composed;
  composed.path = picture;

  // One picture all along: neither the style nor the settings are touched.
  const Win32Desktop::WallpaperStyle before{SharedString(u"0"), SharedString(u"10")};
  Win32Desktop::ApplyWallpaperStyle(before);
  desktop.SetWallpaper(picture, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), before);
  EXPECT_FALSE(TestFolder::FsExists(settings));

  const Win32Desktop::WallpaperStyle tiled{SharedString(u"1"), SharedString(u"0")};
  desktop.SetComposedWallpaper(composed);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), tiled);
  EXPECT_EQ(Win32Desktop::CurrentWallpaper(), picture);
  // A second composed picture must not take the tiled style for the user's.
  desktop.SetComposedWallpaper(composed);
  desktop.SetWallpaper(picture, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), before);
  ConfigStore store(settings, folder / u"lock");
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.Entries().count(u"SavedTileWallpaper"), 0u);
  EXPECT_EQ(store.Entries().count(u"SavedWallpaperStyle"), 0u);

  // Once put back it is the user's again: later single pictures leave it.
  const Win32Desktop::WallpaperStyle changed_by_user{SharedString(u"0"), SharedString(u"6")};
  Win32Desktop::ApplyWallpaperStyle(changed_by_user);
  desktop.SetWallpaper(picture, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), changed_by_user);

  // A value the registry did not have is removed again, not invented.
  const Win32Desktop::WallpaperStyle partial{std::nullopt, SharedString(u"2")};
  Win32Desktop::ApplyWallpaperStyle(partial);
  desktop.SetComposedWallpaper(composed);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), tiled);
  desktop.SetWallpaper(picture, nullptr);
  EXPECT_EQ(Win32Desktop::CurrentWallpaperStyle(), partial);
}

}  // namespace

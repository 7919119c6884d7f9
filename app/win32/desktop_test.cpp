#include "app/win32/desktop.h"

#include <gtest/gtest.h>

#include "codecs/bmp_saver.h"
#include "foundation/recording_notifier.h"
#include "foundation/test_folder.h"
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

}  // namespace

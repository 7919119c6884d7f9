#include "app/win32/desktop.h"

#include <gtest/gtest.h>

#include "codecs/bmp_saver.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

class RecordingNotifier : public Orvex::IUserNotifier {
 public:
  int Notify(Orvex::WindowHandle owner, unsigned flags, const SharedString& caption,
             const SharedString& text) override {
    ++calls;
    last_owner = owner;
    last_flags = flags;
    last_caption = caption;
    last_text = text;
    return Orvex::kIdOk;
  }

  int calls = 0;
  Orvex::WindowHandle last_owner = nullptr;
  unsigned last_flags = 0;
  SharedString last_caption;
  SharedString last_text;
};

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
  RecordingNotifier notifier;
  Orvex::IUserNotifier* previous = Orvex::SetUserNotifier(&notifier);
  desktop_.ShowError(u"エラー", u"画像フォルダ 'C:\\無い\\' が見つかりません");
  int window = 0;
  Win32Desktop owned(&window);
  owned.ShowError(u"題", u"本文");
  Orvex::SetUserNotifier(previous);

  EXPECT_EQ(notifier.calls, 2);
  EXPECT_EQ(notifier.last_owner, &window);
  EXPECT_EQ(notifier.last_flags, Orvex::kMbIconHand);
  EXPECT_EQ(notifier.last_caption, u"題");
  EXPECT_EQ(notifier.last_text, u"本文");
}

}  // namespace

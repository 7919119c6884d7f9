#include "app/one_shot.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/fake_desktop.h"
#include "codecs/bmp_saver.h"
#include "codecs/loader_registry.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

class OneShotTest : public ::testing::Test {
 protected:
  ConfigStore Store() const { return ConfigStore(settings_, u"pelmora-one-shot-test"); }

  // Settings with the image folder and the wallpaper file in the scratch
  // folder; everything else stays at its default.
  void WriteSettings(bool suspend) {
    ConfigStore store = Store();
    store.SetString(u"ImageDir", images_.Path());
    store.SetString(u"SaveFile", saved_);
    store.SetBool(u"Suspend", suspend);
    ASSERT_TRUE(store.Save());
  }

  void AddImage() {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({32, 18});
    plane.FillAll(0x3366CC);
    Orvex::CBmpSaver().Save(images_ / u"blue.bmp", plane, Orvex::PlaneRect{0, 0, 32, 18});
  }

  TestFolder temp_;
  TestFolder images_;
  SharedString settings_ = temp_ / u"Pelmora.cfg";
  // In a folder that does not exist yet: the change makes it.
  SharedString saved_ = temp_ / u"cache/wallpaper/Pelmora.bmp";
  FakeDesktop desktop_;
  Orvex::LoaderRegistry registry_;
};

TEST_F(OneShotTest, ChangesOnceWithoutTrayIconOrTimer) {
  WriteSettings(false);
  AddImage();
  desktop_.check_pixels = true;
  RunOneShot(desktop_, registry_, [this] { return Store(); });

  ASSERT_EQ(desktop_.wallpapers.size(), 1u);
  EXPECT_EQ(desktop_.wallpapers[0], saved_);
  // The desktop is handed the very picture the file holds.
  EXPECT_EQ(desktop_.pixels_match_file, std::vector<bool>{true});
  // No tray icon and no timer in this mode.
  EXPECT_TRUE(desktop_.icons.empty());
  EXPECT_TRUE(desktop_.timer_periods.empty());
  EXPECT_TRUE(desktop_.errors.empty());

  Orvex::CMemoryPlane32 plane;
  const Orvex::PlaneSize size =
      registry_.LoadImage(std::make_shared<Orvex::CFileData>(saved_), plane);
  EXPECT_EQ(size.width, desktop_.screen->width);
  EXPECT_EQ(size.height, desktop_.screen->height);
}

TEST_F(OneShotTest, AFirstRunWritesTheDefaultSettings) {
  RunOneShot(desktop_, registry_, [this] { return Store(); });
  ConfigStore written = Store();
  ASSERT_TRUE(written.Load());
  EXPECT_EQ(written.GetInt(u"Interval(sec)"), 1800);
  EXPECT_EQ(written.GetString(u"SaveFile"), DefaultWallpaperFile());
}

TEST_F(OneShotTest, ChangesNothingWhileSuspended) {
  WriteSettings(true);
  AddImage();
  RunOneShot(desktop_, registry_, [this] { return Store(); });
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_TRUE(desktop_.errors.empty());
  EXPECT_FALSE(Orvex::Exists(saved_));
}

TEST_F(OneShotTest, AMissingImageFolderIsReportedOnce) {
  WriteSettings(false);
  ConfigStore store = Store();
  ASSERT_TRUE(store.Load());
  store.SetString(u"ImageDir", temp_ / u"nowhere");
  ASSERT_TRUE(store.Save());
  RunOneShot(desktop_, registry_, [this] { return Store(); });
  ASSERT_EQ(desktop_.errors.size(), 1u);
  EXPECT_TRUE(desktop_.wallpapers.empty());
}

}  // namespace

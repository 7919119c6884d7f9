#include "app/wallpaper_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "app/fake_desktop.h"
#include "codecs/bmp_loader.h"
#include "codecs/bmp_saver.h"
#include "codecs/loader_registry.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/platform.h"
#include "foundation/recording_notifier.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

namespace {

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

void WriteImage(const SharedString& path, const PlaneSize& size,
                const std::vector<std::pair<PlaneRect, uint32_t>>& fills) {
  std::filesystem::create_directories(Orvex::Testing::FsPath(path).parent_path());
  Orvex::CMemoryPlane32 plane;
  plane.SetSize(size);
  plane.FillAll(Rgb(128, 128, 128));
  for (const auto& [rect, color] : fills) plane.Fill(color, rect);
  Orvex::CBmpSaver().Save(path, plane, PlaneRect{0, 0, size.width, size.height});
}

class WallpaperCycleTest : public ::testing::Test {
 protected:
  WallpaperCycleTest() : store_(temp_ / u"settings.ini", u"pelmora-cycle-test") {
    registry_.RegisterFactory(
        std::make_shared<Orvex::DefaultFactory<Orvex::CBmpLoader, Orvex::IImageLoader>>(), 0);
    store_.LoadWithDefaults();
    store_.SetString(u"ImageDir", images_.Path());
    store_.SetString(u"SaveFile", save_path_);
    store_.SetBool(u"Resize", true);
    store_.SetBool(u"ResizeFixedAspectRatio", true);
    store_.SetInt(u"ResizeBgColor", 1);
    store_.SetBool(u"ClearType", false);
    store_.SetBool(u"Sharp", false);
    store_.SetBool(u"Suspend", false);
  }

  // The saved wallpaper, decoded; the plane is (-1 x -1) when none was saved.
  void LoadSaved(Orvex::CMemoryPlane32& plane) {
    registry_.LoadImage(std::make_shared<Orvex::CFileData>(save_path_), plane);
  }

  static uint32_t Pixel(const Orvex::CPlane32& plane, int32_t x, int32_t y) {
    Orvex::PlaneBitsLock lock(plane);
    const uint8_t* p = lock.Row(y) + 4 * x;
    return Rgb(p[2], p[1], p[0]);
  }

  TestFolder temp_;
  TestFolder images_;
  SharedString save_path_ = temp_ / u"wallpaper.bmp";
  Orvex::LoaderRegistry registry_;
  FakeDesktop desktop_;
  ConfigStore store_;
};

TEST_F(WallpaperCycleTest, SingleImageIsSetAgainOnEveryChange) {
  WriteImage(images_ / u"only.bmp", {16, 9}, {});
  WallpaperCycle cycle(desktop_, registry_);
  for (int i = 0; i < 3; ++i) cycle.ChangeWallpaper(store_);
  ASSERT_EQ(desktop_.wallpapers.size(), 3u);
  EXPECT_EQ(desktop_.wallpapers[0], save_path_);
  EXPECT_EQ(cycle.ImagePosition(), 0u);
  EXPECT_EQ(cycle.CurrentSource(), images_ / u"only.bmp");
  EXPECT_TRUE(desktop_.errors.empty());
}

TEST_F(WallpaperCycleTest, PositionWrapsAroundAfterVisitingEveryEntry) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp"})
    WriteImage(images_ / name, {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_);
  std::vector<uint32_t> positions;
  std::set<SharedString> sources;
  for (int i = 0; i < 4; ++i) {
    cycle.ChangeWallpaper(store_);
    positions.push_back(cycle.ImagePosition());
    sources.insert(cycle.CurrentSource());
  }
  EXPECT_EQ(positions, (std::vector<uint32_t>{1, 2, 0, 1}));
  EXPECT_EQ(sources.size(), 3u);
  EXPECT_EQ(desktop_.wallpapers.size(), 4u);
}

TEST_F(WallpaperCycleTest, SubfolderEntriesAndBrokenFilesPassSilently) {
  WriteImage(images_ / u"sub/good.bmp", {8, 8}, {});
  Orvex::Testing::TestFolder::WriteBytes(images_ / u"broken.bmp", "BM not really a bitmap");
  WallpaperCycle cycle(desktop_, registry_);
  for (int i = 0; i < 3; ++i) cycle.ChangeWallpaper(store_);
  // sub/, sub/good.bmp and broken.bmp each came up once; only one is an image.
  ASSERT_EQ(cycle.ImageList().size(), 3u);
  EXPECT_EQ(
      std::count_if(cycle.ImageList().begin(), cycle.ImageList().end(),
                    [](const SharedString& e) { return Orvex::IsSeparator(e.View().back()); }),
      1);
  EXPECT_EQ(desktop_.wallpapers.size(), 1u);
  EXPECT_TRUE(desktop_.errors.empty());
}

TEST_F(WallpaperCycleTest, FailuresAfterTheImageIsChosenAreSilent) {
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_);
  // The save path lies under a file, so the bitmap cannot be written.
  TestFolder::WriteBytes(temp_ / u"file", "x");
  store_.SetString(u"SaveFile", temp_ / u"file/wallpaper.bmp");
  cycle.ChangeWallpaper(store_);
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_TRUE(desktop_.errors.empty());
  EXPECT_EQ(cycle.CurrentSource(), images_ / u"a.bmp");
}

// A desktop that cannot say how large its screens are is reported, not
// passed over in silence on every change; nothing is written.
TEST_F(WallpaperCycleTest, UnknownScreenSizeIsReported) {
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_);
  desktop_.screen.reset();
  for (const int mode : {0, 1, 2}) {
    store_.SetInt(u"MultiMonitor", mode);
    cycle.ChangeWallpaper(store_);
  }
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_EQ(desktop_.errors, std::vector<SharedString>(3, u"エラー|画面の大きさを取得できません"));
}

// Each monitor takes a picture of its own orientation; after a change of
// layout the monitors that stay keep theirs, a new one takes the next, and
// the list does not move on for the others. Without the setting, and in the
// spanned mode, there is one picture.
TEST_F(WallpaperCycleTest, PicturePerMonitorByOrientationSurvivesALayoutChange) {
  for (const char16_t* name : {u"l1.bmp", u"l2.bmp", u"l3.bmp", u"l4.bmp"}) {
    WriteImage(images_ / name, {16, 9}, {});
  }
  WriteImage(images_ / u"p.bmp", {9, 16}, {});
  desktop_.monitors = MonitorList{Monitor{PlaneRect{0, 0, 160, 90}, true, u"A"},
                                  Monitor{PlaneRect{160, 0, 250, 160}, false, u"B"}};
  store_.SetInt(u"MultiMonitor", 1);
  store_.Save();
  WallpaperCycle cycle(desktop_, registry_, [this] { return store_; });
  cycle.ChangeWallpaper(store_);
  ASSERT_EQ(cycle.MonitorSources().size(), 2u);
  const SharedString on_a = cycle.MonitorSources()[0].source;
  EXPECT_NE(on_a, images_ / u"p.bmp");
  EXPECT_EQ(cycle.MonitorSources()[1].source, images_ / u"p.bmp");
  EXPECT_EQ(cycle.CurrentSource(), on_a);
  ASSERT_EQ(desktop_.composed.size(), 1u);
  EXPECT_EQ(desktop_.composed[0].box, (PlaneRect{0, 0, 250, 160}));

  // B is unplugged, C comes below A.
  desktop_.monitors = MonitorList{Monitor{PlaneRect{0, 0, 160, 90}, true, u"A"},
                                  Monitor{PlaneRect{0, 90, 160, 180}, false, u"C"}};
  const uint32_t position = cycle.ImagePosition();
  cycle.RefitToDisplays();
  ASSERT_EQ(cycle.MonitorSources().size(), 2u);
  EXPECT_EQ(cycle.MonitorSources()[0].source, on_a);
  const SharedString on_c = cycle.MonitorSources()[1].source;
  EXPECT_NE(on_c, on_a);
  EXPECT_EQ(cycle.ImagePosition(), (position + 1) % 5);
  ASSERT_EQ(desktop_.composed.size(), 2u);
  EXPECT_EQ(desktop_.composed[1].box, (PlaneRect{0, 0, 160, 180}));

  // Spanned: one picture over the box, and a refit keeps it.
  store_.SetInt(u"MultiMonitor", 2);
  store_.Save();
  cycle.ChangeWallpaper(store_);
  const SharedString spanned = cycle.CurrentSource();
  cycle.RefitToDisplays();
  EXPECT_EQ(cycle.CurrentSource(), spanned);
  EXPECT_EQ(desktop_.composed.size(), 4u);
  EXPECT_TRUE(cycle.MonitorSources().empty());

  // One picture as it always was: the screen's size, not the monitors'.
  store_.SetInt(u"MultiMonitor", 0);
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(desktop_.composed.size(), 4u);
  Orvex::CMemoryPlane32 saved;
  LoadSaved(saved);
  EXPECT_EQ(saved.GetSize(), *desktop_.screen);
}

TEST_F(WallpaperCycleTest, MissingFolderIsReportedAndSuspensionStopsEverything) {
  store_.SetString(u"ImageDir", temp_ / u"missing/");
  WallpaperCycle cycle(desktop_, registry_);
  cycle.ChangeWallpaper(store_);
  ASSERT_EQ(desktop_.errors.size(), 1u);
  EXPECT_EQ(desktop_.errors[0],
            SharedString(u"エラー|画像フォルダ '") + (temp_ / u"missing/") + u"' が見つかりません");

  store_.SetBool(u"Suspend", true);
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(desktop_.errors.size(), 1u);
  store_.SetString(u"ImageDir", images_.Path());
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  cycle.ChangeWallpaper(store_);
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_TRUE(cycle.ImageList().empty());
  EXPECT_TRUE(cycle.CurrentSource().View().empty());
}

TEST_F(WallpaperCycleTest, AFailureIsNotShownAgainWhileItsBoxIsOpen) {
  store_.SetString(u"ImageDir", temp_ / u"missing/");
  WallpaperCycle cycle(desktop_, registry_);
  // The box's event loop runs the timer: the folder is still missing at
  // the first ticks and back at the last.
  int ticks = 0;
  desktop_.while_error_shown = [&] {
    for (; ticks < 5; ++ticks) {
      if (ticks == 4) {
        store_.SetString(u"ImageDir", images_.Path());
        WriteImage(images_ / u"a.bmp", {8, 8}, {});
      }
      cycle.ChangeWallpaper(store_);
      cycle.ShowPrevious();
      cycle.RefitToDisplays();
    }
  };
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(desktop_.errors.size(), 1u);
  EXPECT_EQ(cycle.CurrentSource(), images_ / u"a.bmp");

  // Once the box is answered, the next failure is shown again.
  store_.SetString(u"ImageDir", temp_ / u"missing/");
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(desktop_.errors.size(), 2u);
}

TEST_F(WallpaperCycleTest, ASettingThatCannotBeReadIsNotReportedInsideItsOwnBox) {
  store_.SetString(u"Suspend", u"tr");
  ASSERT_TRUE(store_.Save());
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  WallpaperCycle cycle(
      desktop_, registry_,
      [this] { return ConfigStore(temp_ / u"settings.ini", u"pelmora-cycle-test"); }, &desktop_);
  EXPECT_THROW(cycle.ChangeNow(), std::exception);

  // The box the window shows for it runs the timer; the ticks must not
  // throw again into a box inside the box, and change once it is mended.
  Orvex::Test::RecordingNotifier notifier;
  notifier.while_open = [&] {
    EXPECT_NO_THROW(cycle.ChangeNow());
    store_.SetBool(u"Suspend", false);
    ASSERT_TRUE(store_.Save());
    EXPECT_NO_THROW(cycle.ChangeNow());
  };
  Orvex::ShowException(nullptr, u"エラー", std::runtime_error("Suspend"));
  EXPECT_EQ(desktop_.wallpapers.size(), 1u);
}

TEST_F(WallpaperCycleTest, EmptyFolderDoesNothing) {
  WallpaperCycle cycle(desktop_, registry_);
  cycle.ChangeWallpaper(store_);
  EXPECT_TRUE(desktop_.wallpapers.empty());
  EXPECT_TRUE(desktop_.errors.empty());
}

TEST_F(WallpaperCycleTest, ChangedFolderRestartsTheObserverAndRebuildsTheList) {
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  WriteImage(images_ / u"b.bmp", {8, 8}, {});
  TestFolder other;
  WriteImage(other / u"c.bmp", {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_);
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(cycle.ImageList().size(), 2u);
  EXPECT_EQ(cycle.Observer().GetFolder(), images_.Path());

  store_.SetString(u"ImageDir", other.Path());
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(cycle.Observer().GetFolder(), other.Path());
  EXPECT_EQ(cycle.ImageList(), std::vector<SharedString>{other / u"c.bmp"});
  EXPECT_EQ(cycle.CurrentSource(), other / u"c.bmp");
  EXPECT_EQ(desktop_.wallpapers.size(), 2u);
}

TEST_F(WallpaperCycleTest, ExactAspectRatioFillsTheScreenWithoutGaps) {
  WriteImage(images_ / u"a.bmp", {16, 9}, {{{0, 0, 16, 9}, Rgb(200, 10, 10)}});
  for (bool sub_pixels : {false, true}) {
    store_.SetBool(u"ClearType", sub_pixels);
    WallpaperCycle cycle(desktop_, registry_);
    cycle.ChangeWallpaper(store_);
    Orvex::CMemoryPlane32 saved;
    LoadSaved(saved);
    ASSERT_EQ(saved.GetSize(), (PlaneSize{160, 90}));
    for (auto [x, y] : {std::pair{0, 0}, {159, 0}, {0, 89}, {159, 89}, {80, 45}}) {
      EXPECT_EQ(Pixel(saved, x, y), Rgb(200, 10, 10)) << x << "," << y << " " << sub_pixels;
    }
  }
}

TEST_F(WallpaperCycleTest, SideGapsTakeTheMeanOfTheEdgeColumns) {
  // 4:3 on 16:9: scaled to 120 x 90, centred, 20 columns of gap each side.
  WriteImage(images_ / u"a.bmp", {40, 30},
             {{{0, 0, 2, 30}, Rgb(200, 0, 0)}, {{38, 0, 40, 30}, Rgb(0, 0, 101)}});
  store_.SetInt(u"ResizeBgColor", 0);
  store_.SetInt(u"ResizeAlignH", 1);
  for (bool sub_pixels : {false, true}) {
    store_.SetBool(u"ClearType", sub_pixels);
    WallpaperCycle cycle(desktop_, registry_);
    cycle.ChangeWallpaper(store_);
    Orvex::CMemoryPlane32 saved;
    LoadSaved(saved);
    ASSERT_EQ(saved.GetSize(), (PlaneSize{160, 90}));
    for (auto [x, y] : {std::pair{0, 0}, {19, 89}, {140, 0}, {159, 45}}) {
      EXPECT_EQ(Pixel(saved, x, y), Rgb(100, 0, 50)) << x << "," << y << " " << sub_pixels;
    }
    EXPECT_EQ(Pixel(saved, 80, 45), Rgb(128, 128, 128));
  }
}

TEST_F(WallpaperCycleTest, ImageTooThinToCoverAPixelLeavesTheWholeScreenAsGap) {
  WriteImage(images_ / u"thin.bmp", {1, 600}, {});
  for (bool sub_pixels : {false, true}) {
    store_.SetBool(u"ClearType", sub_pixels);
    WallpaperCycle cycle(desktop_, registry_);
    cycle.ChangeWallpaper(store_);
    ASSERT_EQ(desktop_.wallpapers.size(), sub_pixels ? 2u : 1u);
    Orvex::CMemoryPlane32 saved;
    LoadSaved(saved);
    ASSERT_EQ(saved.GetSize(), (PlaneSize{160, 90}));
    EXPECT_EQ(Pixel(saved, 0, 0), desktop_.desktop_color);
    EXPECT_EQ(Pixel(saved, 80, 45), desktop_.desktop_color);
    EXPECT_EQ(Pixel(saved, 159, 89), desktop_.desktop_color);
  }
}

TEST_F(WallpaperCycleTest, StretchAndOwnSize) {
  WriteImage(images_ / u"a.bmp", {37, 21}, {{{0, 0, 10, 21}, Rgb(0, 0, 200)}});
  WallpaperCycle cycle(desktop_, registry_);
  store_.SetBool(u"ResizeFixedAspectRatio", false);
  cycle.ChangeWallpaper(store_);
  Orvex::CMemoryPlane32 saved;
  LoadSaved(saved);
  EXPECT_EQ(saved.GetSize(), (PlaneSize{160, 90}));

  store_.SetBool(u"Resize", false);
  for (bool sharp : {false, true}) {
    store_.SetBool(u"Sharp", sharp);
    cycle.ChangeWallpaper(store_);
    LoadSaved(saved);
    ASSERT_EQ(saved.GetSize(), (PlaneSize{37, 21}));
    EXPECT_EQ(Pixel(saved, 0, 0), Rgb(0, 0, 200));
    EXPECT_EQ(Pixel(saved, 36, 20), Rgb(128, 128, 128));
  }
  // Sharpening a resized image gives it the screen's size too.
  store_.SetBool(u"Resize", true);
  cycle.ChangeWallpaper(store_);
  LoadSaved(saved);
  EXPECT_EQ(saved.GetSize(), (PlaneSize{160, 90}));
}

TEST_F(WallpaperCycleTest, SuspensionAndIntervalAreAppliedOnlyWhenChanged) {
  WallpaperCycle cycle(
      desktop_, registry_,
      [this] { return ConfigStore(temp_ / u"settings.ini", u"pelmora-cycle-test"); }, &desktop_);
  store_.SetInt(u"Interval(sec)", 60);
  store_.SetBool(u"WaitFirst", true);
  cycle.Start(store_);
  EXPECT_EQ(desktop_.icons, std::vector<int>{kRunningIconId});
  EXPECT_EQ(desktop_.tooltips, std::vector<SharedString>{u"Pelmora build-15"});
  EXPECT_EQ(desktop_.timer_periods, std::vector<uint32_t>{60000});
  EXPECT_TRUE(desktop_.wallpapers.empty());

  EXPECT_FALSE(cycle.UpdateSuspendState(store_));
  cycle.UpdateInterval(store_);
  EXPECT_EQ(desktop_.icons.size(), 1u);
  EXPECT_EQ(desktop_.timer_periods.size(), 1u);

  // Another process suspends and changes the interval in the file.
  store_.SetBool(u"Suspend", true);
  store_.SetInt(u"Interval(sec)", 5);
  ASSERT_TRUE(store_.Save());
  WriteImage(images_ / u"a.bmp", {8, 8}, {});
  cycle.ChangeNow();
  EXPECT_TRUE(cycle.Suspended());
  EXPECT_EQ(desktop_.icons.back(), kSuspendedIconId);
  EXPECT_EQ(desktop_.tooltips.back(), SharedString(u"Pelmora [一時停止中] build-15"));
  EXPECT_EQ(desktop_.timer_periods.back(), 5000u);
  EXPECT_TRUE(desktop_.wallpapers.empty());

  store_.SetBool(u"Suspend", false);
  ASSERT_TRUE(store_.Save());
  cycle.ChangeNow();
  EXPECT_EQ(desktop_.icons.back(), kRunningIconId);
  EXPECT_EQ(desktop_.wallpapers.size(), 1u);
  EXPECT_EQ(desktop_.timer_periods.size(), 2u);
}

// A new start (a new cycle on the same settings) continues the round where
// the last one left it; a state file that is damaged, left half-written or
// kept for another folder only costs the round, silently.
TEST_F(WallpaperCycleTest, RestartContinuesTheRoundAndBadStateStartsAfresh) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp", u"d.bmp", u"e.bmp"})
    WriteImage(images_ / name, {8, 8}, {});
  const SharedString state = temp_ / u"settings.state";
  std::set<SharedString> shown;
  {
    WallpaperCycle cycle(desktop_, registry_);
    for (int i = 0; i < 2; ++i) {
      cycle.ChangeWallpaper(store_);
      shown.insert(cycle.CurrentSource());
    }
  }
  // A write killed halfway leaves its temporary file behind.
  TestFolder::WriteBytes(state + u".tmp", "\xff\xfeP\0e\0");
  {
    WallpaperCycle cycle(desktop_, registry_);
    // What the last run showed is on show before the first change.
    EXPECT_TRUE(shown.count(cycle.CurrentSource()) == 0);
    for (int i = 0; i < 3; ++i) {
      cycle.ChangeWallpaper(store_);
      shown.insert(cycle.CurrentSource());
    }
    EXPECT_EQ(cycle.Round().Shown(), 5u);
  }
  EXPECT_EQ(shown.size(), 5u);

  for (const std::string& bad :
       {std::string("\xff\xfe"), std::string("PelmoraState = 1\nPosition = 9\nShown = 9\n")}) {
    TestFolder::WriteBytes(state, bad);
    WallpaperCycle cycle(desktop_, registry_);
    cycle.ChangeWallpaper(store_);
    EXPECT_EQ(cycle.Round().Shown(), 1u);
    EXPECT_EQ(cycle.ImageList().size(), 5u);
  }
  // The round kept is another folder's: a fresh one here.
  TestFolder other;
  WriteImage(other / u"x.bmp", {8, 8}, {});
  store_.SetString(u"ImageDir", other.Path());
  { WallpaperCycle(desktop_, registry_).ChangeWallpaper(store_); }
  store_.SetString(u"ImageDir", images_.Path());
  WallpaperCycle cycle(desktop_, registry_);
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(cycle.Round().Shown(), 1u);
  EXPECT_EQ(cycle.History().back()[0].source, cycle.CurrentSource());
  EXPECT_TRUE(desktop_.errors.empty());
}

// Back through the history and forward again, like a browser; then the
// round goes on with pictures not yet shown.
TEST_F(WallpaperCycleTest, PreviousWalksBackThenChangesWalkForwardFirst) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp", u"d.bmp", u"e.bmp"})
    WriteImage(images_ / name, {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_, [this] { return store_; });
  store_.Save();
  std::vector<SharedString> seen;
  for (int i = 0; i < 3; ++i) {
    cycle.ChangeWallpaper(store_);
    seen.push_back(cycle.CurrentSource());
  }
  cycle.ShowPrevious();
  EXPECT_EQ(cycle.CurrentSource(), seen[1]);
  cycle.ShowPrevious();
  cycle.ShowPrevious();  // at the oldest: stays
  EXPECT_EQ(cycle.CurrentSource(), seen[0]);
  EXPECT_EQ(desktop_.wallpapers.size(), 5u);

  // Going back survives a restart too.
  WallpaperCycle restarted(desktop_, registry_, [this] { return store_; });
  restarted.ChangeWallpaper(store_);
  EXPECT_EQ(restarted.CurrentSource(), seen[1]);
  restarted.ChangeWallpaper(store_);
  EXPECT_EQ(restarted.CurrentSource(), seen[2]);
  std::set<SharedString> all(seen.begin(), seen.end());
  for (int i = 0; i < 2; ++i) {
    restarted.ChangeWallpaper(store_);
    all.insert(restarted.CurrentSource());
  }
  EXPECT_EQ(all.size(), 5u);
  EXPECT_EQ(restarted.History().size(), 5u);

  // A picture gone from the folder is passed over.
  Orvex::Delete(all.count(seen[1]) ? seen[1] : seen[0], false);
  restarted.ShowPrevious();
  restarted.ShowPrevious();
  restarted.ShowPrevious();
  EXPECT_EQ(restarted.CurrentSource(), seen[0]);
}

// The hook hears every change that put a picture on show, whichever way it
// came, with that picture; a change that showed nothing stays unheard.
TEST_F(WallpaperCycleTest, AfterChangeHearsEachChangeWithThePictureOnShow) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp"})
    WriteImage(images_ / name, {8, 8}, {});
  WallpaperCycle cycle(desktop_, registry_, [this] { return store_; });
  store_.Save();
  std::vector<SharedString> heard;
  cycle.SetAfterChange(
      [&heard](const ConfigStore&, const SharedString& picture) { heard.push_back(picture); });
  cycle.ChangeWallpaper(store_);
  cycle.ChangeWallpaper(store_);
  cycle.ShowPrevious();
  cycle.ExcludeCurrent();
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[2], heard[0]);
  EXPECT_EQ(heard[3], cycle.CurrentSource());
  EXPECT_NE(heard[3], heard[0]);

  store_.SetBool(u"Suspend", true);
  store_.Save();
  cycle.ChangeWallpaper(store_);
  cycle.ShowPrevious();
  store_.SetBool(u"Suspend", false);
  store_.Save();
  // The pictures left are broken: nothing is shown, nothing is heard.
  for (const SharedString& picture : cycle.ImageList()) {
    Orvex::WriteTextFile(picture, u"not a picture");
  }
  cycle.ChangeWallpaper(store_);
  EXPECT_EQ(heard.size(), 4u);
}

// Never again: the picture goes into the list (relative to the folder), out
// of the round, and off the screen at once, and does not come back until
// its line is removed. The file itself stays.
TEST_F(WallpaperCycleTest, ExcludedPictureStaysAwayUntilItsLineIsRemoved) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp"})
    WriteImage(images_ / name, {8, 8}, {});
  store_.Save();
  WallpaperCycle cycle(desktop_, registry_, [this] { return store_; });
  cycle.ChangeWallpaper(store_);
  const SharedString excluded = cycle.CurrentSource();
  cycle.ExcludeCurrent();
  EXPECT_NE(cycle.CurrentSource(), excluded);
  EXPECT_EQ(desktop_.wallpapers.size(), 2u);
  EXPECT_TRUE(Orvex::Exists(excluded));
  const SharedString list = temp_ / u"settings.exclude";
  std::u16string text;
  Orvex::ReadTextFile(list, text);
  EXPECT_EQ(text, std::u16string(Orvex::FileNamePart(excluded).View()) + u"\r\n");

  // The history does not bring it back either.
  cycle.ShowPrevious();
  EXPECT_NE(cycle.CurrentSource(), excluded);
  for (int i = 0; i < 6; ++i) {
    cycle.ChangeWallpaper(store_);
    EXPECT_NE(cycle.CurrentSource(), excluded);
  }
  EXPECT_EQ(cycle.ImageList().size(), 2u);

  TestFolder::WriteBytes(list, "");
  bool back = false;
  for (int i = 0; i < 3; ++i) {
    cycle.ChangeWallpaper(store_);
    back = back || cycle.CurrentSource() == excluded;
  }
  EXPECT_TRUE(back);
  EXPECT_EQ(cycle.ImageList().size(), 3u);
}

// With a picture per monitor, the history keeps every monitor's, and never
// again replaces only the chosen monitor's picture.
TEST_F(WallpaperCycleTest, PerMonitorHistoryAndExclusion) {
  for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp", u"d.bmp", u"e.bmp", u"f.bmp"})
    WriteImage(images_ / name, {16, 9}, {});
  desktop_.monitors = MonitorList{Monitor{PlaneRect{0, 0, 160, 90}, true, u"A"},
                                  Monitor{PlaneRect{160, 0, 320, 90}, false, u"B"}};
  store_.SetInt(u"MultiMonitor", 1);
  store_.Save();
  WallpaperCycle cycle(desktop_, registry_, [this] { return store_; });
  cycle.ChangeWallpaper(store_);
  const std::vector<MonitorSource> first = cycle.MonitorSources();
  cycle.ChangeWallpaper(store_);
  cycle.ShowPrevious();
  ASSERT_EQ(cycle.MonitorSources().size(), 2u);
  EXPECT_EQ(cycle.MonitorSources()[0].source, first[0].source);
  EXPECT_EQ(cycle.MonitorSources()[1].source, first[1].source);

  cycle.ExcludeCurrent(u"B");
  EXPECT_EQ(cycle.MonitorSources()[0].source, first[0].source);
  EXPECT_NE(cycle.MonitorSources()[1].source, first[1].source);
  EXPECT_TRUE(cycle.Excluded().Contains(first[1].source));
  EXPECT_EQ(cycle.History()[cycle.HistoryPosition()][1].source, cycle.MonitorSources()[1].source);
}

TEST(WallpaperCycleTimer, PeriodNeverOverflows) {
  EXPECT_EQ(WallpaperCycle::TimerPeriod(0), 0u);
  EXPECT_EQ(WallpaperCycle::TimerPeriod(1800), 1800000u);
  EXPECT_EQ(WallpaperCycle::TimerPeriod(-5), 0u);
  EXPECT_EQ(WallpaperCycle::TimerPeriod(3000000), 0x7FFFFFFFu);
}

TEST(WallpaperCycleShuffle, KeepsEveryEntryAndChangesTheOrder) {
  std::vector<SharedString> original;
  for (int i = 0; i < 40; ++i) original.push_back(SharedString::Format(u"%d", i));
  auto shuffled = original;
  ShuffleImageList(shuffled);
  auto again = shuffled;
  ShuffleImageList(again);
  EXPECT_TRUE(std::is_permutation(shuffled.begin(), shuffled.end(), original.begin()));
  // 40 entries coming out in the same order twice is practically impossible.
  EXPECT_NE(shuffled, again);
  std::vector<SharedString> empty;
  ShuffleImageList(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace

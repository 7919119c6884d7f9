#include "app/status_report.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/fake_desktop.h"
#include "app/wallpaper_cycle.h"
#include "codecs/bmp_loader.h"
#include "codecs/bmp_saver.h"
#include "codecs/loader_registry.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;
using std::chrono::milliseconds;

class StatusReportTest : public ::testing::Test {
 protected:
  StatusReportTest() {
    registry_.RegisterFactory(
        std::make_shared<Orvex::DefaultFactory<Orvex::CBmpLoader, Orvex::IImageLoader>>(), 0);
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({16, 9});
    plane.FillAll(0x336699);
    for (const char16_t* name : {u"a.bmp", u"b.bmp", u"c.bmp"}) {
      Orvex::CBmpSaver().Save(images_ / name, plane, Orvex::PlaneRect{0, 0, 16, 9});
    }
    store_.LoadWithDefaults();
    store_.SetString(u"ImageDir", images_.Path());
    store_.SetString(u"SaveFile", temp_ / u"wallpaper.bmp");
    store_.SetInt(u"Interval(sec)", 60);
    store_.SetBool(u"WaitFirst", false);
    store_.SetBool(u"Suspend", false);
    store_.Save();
    cycle_.SetStatusBoard(board_);
  }

  // The report as a second start gets it: from what the cycle posted.
  SharedString Report(std::chrono::steady_clock::time_point now) const {
    return StatusReport(board_->Read(), now);
  }

  TestFolder temp_;
  TestFolder images_;
  ConfigStore store_{temp_ / u"Pelmora.cfg", u"pelmora-status-test"};
  Orvex::LoaderRegistry registry_;
  Orvex::Testing::FakeDesktop desktop_;
  WallpaperCycle cycle_{desktop_, registry_, [this] { return store_; }, &desktop_};
  std::shared_ptr<StatusBoard> board_ = std::make_shared<StatusBoard>();
};

TEST_F(StatusReportTest, TellsThePictureTheRoundAndTheTimer) {
  const auto started = std::chrono::steady_clock::now();
  // Nothing posted yet: no report, rather than one of a program not started.
  EXPECT_TRUE(Report(started).IsEmpty());
  cycle_.Start(store_);
  cycle_.ChangeNow();
  const SharedString text = Report(started + milliseconds(14500));
  EXPECT_EQ(text, u"Current = " + cycle_.CurrentSource() +
                      u"\nSuspend = false\nNextChange(sec) = 46\nImageDir = " + images_.Path() +
                      u"\nPictures = 3\nShown = 2\nExcluded = 0\n");
  // The timer runs on from where it was armed, period after period.
  EXPECT_NE(Report(started + milliseconds(60000 + 59500)).Find(u"NextChange(sec) = 1\n"),
            SharedString::npos);

  cycle_.ExcludeCurrent();
  store_.SetBool(u"Suspend", true);
  store_.Save();
  cycle_.ChangeNow();
  const SharedString later = Report(started);
  EXPECT_NE(later.Find(u"Suspend = true\nNextChange(sec) = \n"), SharedString::npos);
  EXPECT_NE(later.Find(u"Pictures = 2\n"), SharedString::npos);
  EXPECT_NE(later.Find(u"Excluded = 1\n"), SharedString::npos);

  // An interval of 0 runs the timer as fast as it goes; the report must
  // not divide by its period.
  store_.SetBool(u"Suspend", false);
  store_.SetInt(u"Interval(sec)", 0);
  store_.Save();
  cycle_.ChangeNow();
  EXPECT_NE(Report(std::chrono::steady_clock::now()).Find(u"NextChange(sec) = 1\n"),
            SharedString::npos);
}

TEST_F(StatusReportTest, NamesEachMonitorsPicture) {
  desktop_.monitors = MonitorList{Monitor{Orvex::PlaneRect{0, 0, 160, 90}, true, u"DP-1"},
                                  Monitor{Orvex::PlaneRect{160, 0, 320, 90}, false, u"HDMI-1"}};
  store_.SetInt(u"MultiMonitor", 1);
  store_.Save();
  cycle_.ChangeNow();
  ASSERT_EQ(cycle_.MonitorSources().size(), 2u);
  const SharedString text = Report(std::chrono::steady_clock::now());
  const SharedString expected = u"Current[DP-1] = " + cycle_.MonitorSources()[0].source +
                                u"\nCurrent[HDMI-1] = " + cycle_.MonitorSources()[1].source +
                                u"\nSuspend = false\n";
  EXPECT_TRUE(text.StartsWith(expected.View())) << Orvex::ToUtf8(text);
}

}  // namespace

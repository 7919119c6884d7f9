// The tray program's menu, dialog and start on Qt's offscreen platform,
// with a recording desktop and settings in a scratch folder.

#include "app/linux/tray_program.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "app/fake_desktop.h"
#include "app/linux/qt_text.h"
#include "app/linux/settings_dialog.h"
#include "app/linux/tray_menu.h"
#include "app/tray_menu_items.h"
#include "codecs/bmp_saver.h"
#include "foundation/error_reporting.h"
#include "foundation/files.h"
#include "foundation/posix/resident_instance.h"
#include "foundation/posix/resident_listener.h"
#include "foundation/recording_notifier.h"
#include "foundation/test_folder.h"
#include "imaging/plane32.h"

using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

namespace {

// Runs the action on the modal dialog once it is open.
void WhenDialogOpens(const std::function<void(SettingsDialog&)>& action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    action(*dialog);
  });
}

}  // namespace

class TrayProgramTest : public QObject {
  Q_OBJECT

 private:
  TestFolder folder_;
  SharedString settings_ = folder_ / u"pelmora.cfg";

  ConfigStore Store() const { return ConfigStore(settings_, settings_ + u".lock"); }
  WallpaperCycle::StoreFactory Factory() const {
    return [this] { return Store(); };
  }
  ConfigStore Saved() const {
    ConfigStore store = Store();
    store.Load();
    return store;
  }
  void Edit(const std::function<void(ConfigStore&)>& change) {
    ConfigStore store = Store();
    store.LoadWithDefaults();
    change(store);
    QVERIFY(store.Save());
  }

 private slots:
  void initTestCase() {
    Orvex::CMemoryPlane32 plane;
    plane.SetSize({16, 9});
    plane.FillAll(0x336699);
    Orvex::CBmpSaver().Save(folder_ / u"images/a.bmp", plane, Orvex::PlaneRect{0, 0, 16, 9});
    // A second picture, so that a change that advances shows it.
    Orvex::CBmpSaver().Save(folder_ / u"images/b.bmp", plane, Orvex::PlaneRect{0, 0, 16, 9});
  }

  void init() {
    std::filesystem::remove(Orvex::Testing::FsPath(settings_));
    Edit([this](ConfigStore& s) {
      s.SetString(u"ImageDir", folder_ / u"images/");
      s.SetString(u"SaveFile", folder_ / u"wallpaper.bmp");
      s.SetBool(u"WaitFirst", true);
    });
  }

  void menuHasTheItemsInOrderAndRunsTheChosenCommand() {
    QMenu menu;
    std::vector<int> run;
    FillTrayMenu(menu, [&](int id) { run.push_back(id); });
    const QList<QAction*> actions = menu.actions();
    QCOMPARE(actions.size(), static_cast<qsizetype>(std::size(kTrayMenuItems)));
    QCOMPARE(actions[0]->text(), u"壁紙の変更(&W)"_qs);
    QVERIFY(actions[6]->isSeparator());
    QCOMPARE(actions[14]->text(), u"終了(&X)"_qs);
    for (QAction* action : actions) QVERIFY(action->isEnabled() && !action->isCheckable());
    // The command runs once the menu has gone, not inside its trigger.
    actions[4]->trigger();
    QVERIFY(run.empty());
    QTRY_COMPARE(run, std::vector<int>{kCmdSuspend});
  }

  void dialogShowsReadsAndEnablesItsControls() {
    Edit([](ConfigStore& s) {
      s.SetBool(u"Resize", true);
      s.SetBool(u"ResizeFixedAspectRatio", true);
      s.SetInt(u"ResizeAlignH", 5);
      s.SetInt(u"DoubleClick", 7);
      s.SetInt(u"Interval(sec)", 90);
      s.SetInt(u"MultiMonitor", 2);
    });
    ConfigStore store = Store();
    store.LoadWithDefaults();
    SettingsDialog dialog(store);
    auto* change_at_start = qobject_cast<QCheckBox*>(dialog.Control(kCtlChangeAtStart));
    QVERIFY(!change_at_start->isChecked());
    QCOMPARE(qobject_cast<QComboBox*>(dialog.Control(kCtlAlignH))->currentIndex(), -1);
    QCOMPARE(qobject_cast<QLineEdit*>(dialog.Control(kCtlInterval))->text(), u"90"_qs);
    auto* multi_monitor = qobject_cast<QComboBox*>(dialog.Control(kCtlMultiMonitor));
    QCOMPARE(multi_monitor->count(), 3);
    QCOMPARE(multi_monitor->currentIndex(), 2);
    QCOMPARE(multi_monitor->itemText(1), u"モニターごと"_qs);
    QVERIFY(multi_monitor->toolTip().contains(u"モニター"_qs));
    // DoubleClick outside the five leaves every radio button clear, though
    // they form an exclusive group.
    for (int id = kCtlDoubleClickFirst; id <= kCtlDoubleClickLast; ++id) {
      QVERIFY(!qobject_cast<QRadioButton*>(dialog.Control(id))->isChecked());
    }
    QVERIFY(dialog.Control(kCtlImageDir)->toolTip().contains(u'\n'));
    QVERIFY(!dialog.Control(kCtlImageDir)->toolTip().contains(u'\r'));

    // A click on the resize box disables what depends on it, at once.
    dialog.show();
    QTest::mouseClick(dialog.Control(kCtlResize), Qt::LeftButton);
    QVERIFY(!dialog.Control(kCtlFixedAspectRatio)->isEnabled());
    QVERIFY(!dialog.Control(kCtlBgColor)->isEnabled());
    QTest::mouseClick(dialog.Control(kCtlResize), Qt::LeftButton);
    QVERIFY(dialog.Control(kCtlBgColor)->isEnabled());

    // Only digits go into the interval.
    auto* interval = qobject_cast<QLineEdit*>(dialog.Control(kCtlInterval));
    interval->clear();
    QTest::keyClicks(interval, u"1a2"_qs);
    QCOMPARE(interval->text(), u"12"_qs);
    QTest::mouseClick(dialog.Control(kCtlDoubleClickFirst + 3), Qt::LeftButton);
    multi_monitor->setCurrentIndex(1);
    QTest::mouseClick(dialog.Control(kCtlOk), Qt::LeftButton);
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(store.GetInt(u"Interval(sec)"), 12);
    QCOMPARE(store.GetInt(u"DoubleClick"), 3);
    QCOMPARE(store.GetInt(u"ResizeAlignH"), -1);
    QCOMPARE(store.GetInt(u"MultiMonitor"), 1);
  }

  void settingsCommandWritesOnlyWhatOkAccepted() {
    FakeDesktop desktop;
    TrayProgram program(desktop, Factory());
    program.SetTrayProbe([] { return true; });
    program.Start();
    std::vector<uint8_t> before, after;
    Orvex::ReadFileBytes(settings_, before);

    WhenDialogOpens([](SettingsDialog& dialog) {
      qobject_cast<QLineEdit*>(dialog.Control(kCtlInterval))->setText(u"77"_qs);
      QTest::mouseClick(dialog.Control(kCtlCancel), Qt::LeftButton);
    });
    program.RunCommand(kCmdSettings);
    Orvex::ReadFileBytes(settings_, after);
    QCOMPARE(after, before);

    WhenDialogOpens([this](SettingsDialog& dialog) {
      // Another start suspends while the dialog is open: OK keeps that.
      Edit([](ConfigStore& s) { s.SetBool(u"Suspend", true); });
      qobject_cast<QLineEdit*>(dialog.Control(kCtlInterval))->setText(u"77"_qs);
      QTest::mouseClick(dialog.Control(kCtlOk), Qt::LeftButton);
    });
    program.RunCommand(kCmdSettings);
    QCOMPARE(Saved().GetInt(u"Interval(sec)"), 77);
    QVERIFY(Saved().GetBool(u"Suspend"));

    // The menu is still reachable while the dialog is open: asking again
    // must not stack a second dialog on it. Were one opened, this timer
    // would find it modal and close it.
    bool nested = false;
    QTimer second;
    second.setSingleShot(true);
    connect(&second, &QTimer::timeout, this, [&] {
      if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        nested = true;
        open->reject();
      }
    });
    WhenDialogOpens([&](SettingsDialog& dialog) {
      second.start(0);
      program.RunCommand(kCmdSettings);
      second.stop();
      QTest::mouseClick(dialog.Control(kCtlCancel), Qt::LeftButton);
    });
    program.RunCommand(kCmdSettings);
    QVERIFY(!nested);
  }

  void trayStartsCycleAndActsOnClicksAndNotification() {
    Edit([](ConfigStore& s) {
      s.SetInt(u"DoubleClick", 3);
      s.SetInt(u"Interval(sec)", 600);
    });
    FakeDesktop desktop;
    TrayProgram program(desktop, Factory());
    program.SetTrayProbe([] { return true; });
    program.SetStatusNotifierProbe([] { return false; });
    program.Start();
    QTRY_COMPARE(program.ChangeTimer().interval(), 600000);
    QVERIFY(program.ChangeTimer().isActive());
    QVERIFY(desktop.wallpapers.empty());
    QCOMPARE(program.TrayIcon().toolTip(), ToQString(WallpaperCycle::TrayTooltip(false)));
    QVERIFY(!program.TrayIcon().icon().isNull());

    // DoubleClick 3 suspends, and the icon's tip says so.
    emit program.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
    QTRY_VERIFY(Saved().GetBool(u"Suspend"));
    QCOMPARE(program.TrayIcon().toolTip(), ToQString(WallpaperCycle::TrayTooltip(true)));
    // A single click does nothing in an XEmbed tray.
    emit program.TrayIcon().activated(QSystemTrayIcon::Trigger);
    QTest::qWait(20);
    QVERIFY(Saved().GetBool(u"Suspend"));

    // A second start's notification resumes on the settings it finds.
    Edit([](ConfigStore& s) { s.SetBool(u"Suspend", false); });
    program.OnMessage("notify");
    QCOMPARE(desktop.wallpapers.size(), size_t{1});
    QVERIFY(!program.Cycle().Suspended());
    program.OnMessage("something else");
    QCOMPARE(desktop.wallpapers.size(), size_t{1});
  }

  void hotkeysFollowTheSettingsAndStatusIsAnswered() {
    // What the program asked of the system's keys, in order.
    struct RecordingGrabber : IHotKeyGrabber {
      std::vector<std::string> calls;
      bool Grab(HotKeyAction action, const HotKey& key) override {
        calls.push_back(std::to_string(static_cast<int>(action)) + ":" + key.x_keysym);
        return true;
      }
      void ReleaseAll() override { calls.push_back("release"); }
    } grabber;
    Edit([](ConfigStore& s) {
      s.SetBool(u"Suspend", false);
      s.SetString(u"HotKeyNext", u"Ctrl+Alt+Right");
    });
    FakeDesktop desktop;
    {
      TrayProgram program(desktop, Factory());
      program.SetTrayProbe([] { return true; });
      program.SetHotKeyGrabber(&grabber);
      program.Start();
      QTRY_COMPARE(grabber.calls, std::vector<std::string>{"1:Right"});

      // Changed by hand, taken up when a second start says so.
      Edit([](ConfigStore& s) { s.SetString(u"HotKeyNext", u"Win+F9"); });
      program.OnMessage("notify");
      QCOMPARE(grabber.calls, (std::vector<std::string>{"1:Right", "release", "1:F9"}));

      // The press posts its command: the wallpaper changes.
      const size_t changes = desktop.wallpapers.size();
      program.OnHotKey(HotKeyAction::kNext);
      QTRY_COMPARE(desktop.wallpapers.size(), changes + 1);

      const QString status = QString::fromStdString(program.OnMessage("status"));
      QVERIFY(status.startsWith(u"Current = "_qs));
      QVERIFY(status.contains(u"\nSuspend = false\n"_qs));
      QVERIFY(program.OnMessage("previous").empty());
    }
    // Nothing stays grabbed after the program.
    QCOMPARE(grabber.calls.back(), std::string("release"));
    Edit([](ConfigStore& s) { s.RemoveKey(u"HotKeyNext"); });
  }

  void statusIsAnsweredWhileAChangeRuns() {
    Edit([](ConfigStore& s) { s.SetBool(u"Suspend", false); });
    const std::string sockets = Orvex::ToUtf8(folder_.Path()) + "run/";
    const auto instance = ResidentInstance::TryBecomeResident(sockets, "tray-test");
    QVERIFY(instance != nullptr);
    FakeDesktop desktop;
    TrayProgram program(desktop, Factory());
    program.SetTrayProbe([] { return true; });
    ResidentListener listener(*instance, program.StatusAnswerer(), [&program](std::string line) {
      QMetaObject::invokeMethod(
          &program, [&program, line] { program.OnMessage(line); }, Qt::QueuedConnection);
    });
    program.Start();
    QVERIFY(NotifyResident(sockets, "tray-test", "notify"));
    QTRY_VERIFY(!desktop.wallpapers.empty());
    const size_t changes = desktop.wallpapers.size();
    const SharedString before = program.Cycle().CurrentSource();

    // Asked from inside the next change, while the main thread is busy:
    // the answer is the state before it.
    std::optional<std::string> status;
    desktop.while_setting = [&] {
      if (!status) status = AskResident(sockets, "tray-test", "status", std::chrono::seconds(3));
    };
    QVERIFY(NotifyResident(sockets, "tray-test", "notify"));
    QTRY_COMPARE(desktop.wallpapers.size(), changes + 1);
    QVERIFY(status.has_value());
    QVERIFY(status->starts_with("Current = " + Orvex::ToUtf8(before) + "\n"));
  }

  void aBurstOfDisplayChangesRefitsOnceWithoutAdvancing() {
    FakeDesktop desktop;
    TrayProgram program(desktop, Factory());
    program.SetTrayProbe([] { return true; });
    program.Start();
    program.OnMessage("notify");
    QCOMPARE(desktop.wallpapers.size(), size_t{1});
    const uint32_t position = program.Cycle().ImagePosition();
    const SharedString shown = program.Cycle().CurrentSource();

    // A monitor plugged in: several notifications within the settling time.
    QScreen* screen = QGuiApplication::primaryScreen();
    emit qApp->screenAdded(screen);
    QTest::qWait(300);
    emit screen->geometryChanged(QRect(0, 0, 800, 600));
    QTest::qWait(300);
    emit qApp->screenRemoved(screen);
    QVERIFY(program.RefitTimer().isActive());
    QCOMPARE(desktop.wallpapers.size(), size_t{1});
    QTRY_COMPARE_WITH_TIMEOUT(desktop.wallpapers.size(), size_t{2}, 5000);
    QCOMPARE(program.Cycle().ImagePosition(), position);
    QCOMPARE(program.Cycle().CurrentSource(), shown);
    QTest::qWait(2500);
    QCOMPARE(desktop.wallpapers.size(), size_t{2});
  }

  void withoutTrayTheUserIsToldOnceAndGetsTheDialog() {
    Orvex::Test::RecordingNotifier notifier;
    FakeDesktop desktop;
    TrayProgram program(desktop, Factory());
    program.SetTrayProbe([] { return false; });
    bool dialog_opened = false;
    QTimer::singleShot(0, [&] {
      // The box comes before the dialog.
      WhenDialogOpens([&](SettingsDialog& dialog) {
        dialog_opened = true;
        QCOMPARE(notifier.texts.size(), size_t{1});
        dialog.reject();
      });
    });
    program.Start();
    QTRY_VERIFY(dialog_opened);
    QVERIFY(!program.TrayIcon().isVisible());
    QCOMPARE(notifier.texts.size(), size_t{1});
  }
};

QTEST_MAIN(TrayProgramTest)
#include "tray_program_test.moc"

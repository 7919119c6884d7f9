#include "app/win32/config_dialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/test_folder.h"
#include "foundation/win32/window_test_support.h"
// clang-format off: needs the declarations of win32.h first
#include <commctrl.h>
// clang-format on

namespace {

using Orvex::SharedString;

constexpr UINT kInspect = WM_APP + 3;

bool CanCreateWindows() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe) DestroyWindow(probe);
  return probe != nullptr;
}

// The settings dialog from the program's own resources, driven by the
// portable rules through its controls.
TEST(ConfigDialogTest, ShowsTheStoreAndOkWritesTheEditedControlsBack) {
  if (!CanCreateWindows()) GTEST_SKIP() << "no window station to create windows in";
  Orvex::Testing::TestFolder folder;
  ConfigStore store(folder.Path() + u"Pelmora.cfg", folder.Path() + u"lock");
  store.LoadWithDefaults();
  store.SetString(u"ImageDir", u"画像\\壁紙");
  store.SetInt(u"Interval(sec)", 75);
  store.SetBool(u"WaitFirst", true);
  store.SetBool(u"Resize", false);
  store.SetInt(u"ResizeAlignH", 2);
  store.SetInt(u"DoubleClick", 3);

  CConfigDialog dialog(store);
  SharedString shown_folder, shown_interval;
  bool change_at_start = true, aspect_enabled = true, aligned_right = false, radio3 = false;
  int tooltips = 0;
  Orvex::Test::FunctionHooker inspector([&](Orvex::SMessage& m) {
    if (m.id == WM_INITDIALOG) PostMessageW(m.window, kInspect, 0, 0);
    if (m.id != kInspect) return false;
    shown_folder = dialog.GetText(kCtlImageDir);
    shown_interval = dialog.GetText(kCtlInterval);
    change_at_start = dialog.IsChecked(kCtlChangeAtStart);
    aspect_enabled = IsWindowEnabled(GetDlgItem(m.window, kCtlFixedAspectRatio));
    aligned_right = dialog.GetSelection(kCtlAlignH) == 2;
    radio3 = dialog.IsChecked(kCtlDoubleClickFirst + 3);
    // Every tip of the table found its control.
    HWND tip = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr);
    for (; tip; tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) {
      if (GetWindow(tip, GW_OWNER) == m.window) {
        tooltips = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
      }
    }
    // The user edits, ticks Resize (which enables the aspect ratio at once)
    // and presses OK.
    SetDlgItemTextW(m.window, kCtlImageDir, L"D:\\写真\\");
    SetDlgItemTextW(m.window, kCtlInterval, L"");
    SendDlgItemMessageW(m.window, kCtlResize, BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m.window, kCtlFixedAspectRatio)));
    SendDlgItemMessageW(m.window, kCtlAlignH, CB_SETCURSEL, 0, 0);
    SendMessageW(m.window, WM_COMMAND, IDOK, 0);
    return true;
  });
  dialog.Window().AddHooker(&inspector);

  EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
  EXPECT_EQ(shown_folder, SharedString(u"画像\\壁紙"));
  EXPECT_EQ(shown_interval, SharedString(u"75"));
  EXPECT_FALSE(change_at_start);
  EXPECT_FALSE(aspect_enabled);
  EXPECT_TRUE(aligned_right);
  EXPECT_TRUE(radio3);
  EXPECT_EQ(tooltips, static_cast<int>(ConfigDialogTooltips().size()));

  EXPECT_EQ(store.GetString(u"ImageDir"), SharedString(u"D:\\写真\\"));
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 0);
  EXPECT_TRUE(store.GetBool(u"Resize"));
  EXPECT_TRUE(store.GetBool(u"WaitFirst"));
  EXPECT_EQ(store.GetInt(u"ResizeAlignH"), 0);
  EXPECT_EQ(store.GetInt(u"DoubleClick"), 3);
}

// The multi-monitor choice is newer than the settings file: a file that
// never had it keeps not having it unless the user picks an item.
TEST(ConfigDialogTest, TheMultiMonitorListOffersThreeChoicesAndWritesOnlyAChosenOne) {
  if (!CanCreateWindows()) GTEST_SKIP() << "no window station to create windows in";
  Orvex::Testing::TestFolder folder;
  ConfigStore store(folder.Path() + u"Pelmora.cfg", folder.Path() + u"lock");
  store.LoadWithDefaults();
  ASSERT_EQ(store.Entries().count(u"MultiMonitor"), 0u);

  std::vector<int> tab_order;
  auto run = [&](int choose) {
    std::vector<SharedString> items;
    int shown = -2;
    CConfigDialog dialog(store);
    Orvex::Test::FunctionHooker inspector([&](Orvex::SMessage& m) {
      if (m.id == WM_INITDIALOG) PostMessageW(m.window, kInspect, 0, 0);
      if (m.id != kInspect) return false;
      HWND list = GetDlgItem(m.window, kCtlMultiMonitor);
      const int count = list ? static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0)) : 0;
      for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(Orvex::FromWide(text));
      }
      shown = dialog.GetSelection(kCtlMultiMonitor);
      // The controls in the order of the template, which Tab walks; the
      // labels and frames have no identifier of their own.
      tab_order.clear();
      for (HWND child = GetWindow(m.window, GW_CHILD); child;
           child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        if (id != 0xFFFF && id != -1) tab_order.push_back(id);
      }
      if (choose >= 0) {
        // As a user's pick arrives: the selection, then the list's notice.
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(choose), 0);
        SendMessageW(m.window, WM_COMMAND, MAKEWPARAM(kCtlMultiMonitor, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
      }
      SendMessageW(m.window, WM_COMMAND, IDOK, 0);
      return true;
    });
    dialog.Window().AddHooker(&inspector);
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_EQ(items, (std::vector<SharedString>{u"同じ画像", u"モニターごと", u"全体に広げる"}));
    return shown;
  };

  EXPECT_EQ(run(-1), 0);
  EXPECT_EQ(store.Entries().count(u"MultiMonitor"), 0u);
  // The list follows the fitting controls; every other control keeps its
  // place.
  EXPECT_EQ(tab_order, (std::vector<int>{1002, 1003, 1004, 1005, 1006, 1007, 1008,    1010,
                                         1009, 1020, 1013, 1014, 1021, 1022, 1011,    1012,
                                         1015, 1016, 1017, 1018, 1019, IDOK, IDCANCEL}));
  EXPECT_EQ(run(2), 0);
  EXPECT_EQ(store.GetInt(u"MultiMonitor"), 2);
  EXPECT_EQ(run(1), 2);
  EXPECT_EQ(store.GetInt(u"MultiMonitor"), 1);
}

TEST(ConfigDialogTest, CancelLeavesTheStoreAlone) {
  if (!CanCreateWindows()) GTEST_SKIP() << "no window station to create windows in";
  ConfigStore store(u"unused.cfg", u"unused");
  store.LoadWithDefaults();
  store.SetString(u"ImageDir", u"before");
  const ConfigStore::Map before = store.Entries();
  CConfigDialog dialog(store);
  Orvex::Test::FunctionHooker canceller([&](Orvex::SMessage& m) {
    if (m.id == WM_INITDIALOG) PostMessageW(m.window, kInspect, 0, 0);
    if (m.id != kInspect) return false;
    SetDlgItemTextW(m.window, kCtlImageDir, L"after");
    SendMessageW(m.window, WM_COMMAND, IDCANCEL, 0);
    return true;
  });
  dialog.Window().AddHooker(&canceller);
  EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
  EXPECT_EQ(store.Entries(), before);
}

}  // namespace

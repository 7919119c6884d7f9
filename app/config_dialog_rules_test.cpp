#include "app/config_dialog_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

#include "app/config_keys.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"

namespace {

using Orvex::SharedString;

// Controls kept in maps; a list remembers its items and refuses a
// selection that is not one of them, as a real list does.
class FakeControls : public IDialogControls {
 public:
  SharedString GetText(int id) const override {
    auto it = texts.find(id);
    return it == texts.end() ? SharedString() : it->second;
  }
  void SetText(int id, const SharedString& text) override { texts[id] = text; }
  bool IsChecked(int id) const override { return checked.count(id) && checked.at(id); }
  void SetChecked(int id, bool value) override { checked[id] = value; }
  int GetSelection(int id) const override {
    auto it = selections.find(id);
    return it == selections.end() ? -1 : it->second;
  }
  void SetSelection(int id, int index) override {
    const bool is_item = index >= 0 && static_cast<size_t>(index) < items[id].size();
    selections[id] = is_item ? index : -1;
  }
  void AddItem(int id, const SharedString& text) override { items[id].push_back(text); }
  void Enable(int id, bool value) override { enabled[id] = value; }

  bool IsUntouched() const { return texts.empty() && checked.empty() && items.empty(); }

  std::map<int, SharedString> texts;
  std::map<int, bool> checked;
  std::map<int, int> selections;
  std::map<int, std::vector<SharedString>> items;
  std::map<int, bool> enabled;
};

class FakeChoosers : public IDialogChoosers {
 public:
  std::optional<SharedString> ChooseFolder(const SharedString& title,
                                           const SharedString& start) override {
    calls.push_back({title, start});
    return answer;
  }
  std::optional<SharedString> ChooseSaveFile(const SharedString& title,
                                             const SharedString& filter_description,
                                             const SharedString& pattern,
                                             const SharedString& start_folder,
                                             const SharedString& default_extension) override {
    calls.push_back({title, start_folder, filter_description, pattern, default_extension});
    return answer;
  }

  std::optional<SharedString> answer;
  std::vector<std::vector<SharedString>> calls;
};

ConfigStore DefaultStore() {
  ConfigStore store(u"unused.cfg", u"unused");
  store.SetString(u"ImageDir", u"./image/");
  store.SetString(u"SaveFile", u"%windir%/Web/Wallpaper/Pelmora.bmp");
  store.SetString(u"SpiDir", u"./spi/");
  store.SetInt(u"Interval(sec)", 1800);
  store.SetBool(u"WaitFirst", false);
  store.SetBool(u"Resize", true);
  store.SetBool(u"ResizeFixedAspectRatio", false);
  store.SetInt(u"ResizeAlignH", 1);
  store.SetInt(u"ResizeAlignV", 0);
  store.SetInt(u"ResizeBgColor", 1);
  store.SetBool(u"Sharp", false);
  store.SetBool(u"RemoveOnSuspend", false);
  store.SetInt(u"DoubleClick", 2);
  return store;
}

TEST(ConfigDialogRulesTest, EveryEditedSettingComesBackAsItWasShown) {
  ConfigStore store = DefaultStore();
  store.SetString(u"ImageDir", u"D:/写真 = 旅行/");
  store.SetString(u"SpiDir", u"");
  store.SetInt(u"Interval(sec)", 45);
  store.SetBool(u"WaitFirst", true);
  store.SetBool(u"ResizeFixedAspectRatio", true);
  store.SetBool(u"Sharp", true);
  store.SetInt(u"ResizeAlignH", 2);
  store.SetInt(u"ResizeAlignV", 1);
  store.SetInt(u"ResizeBgColor", 0);
  store.SetInt(u"DoubleClick", 3);
  store.SetInt(u"MultiMonitor", 2);

  FakeControls controls;
  InitializeConfigDialog(store, controls);
  EXPECT_EQ(controls.items[kCtlAlignH], (std::vector<SharedString>{u"左", u"中央", u"右"}));
  EXPECT_EQ(controls.items[kCtlBgColor], (std::vector<SharedString>{u"自動", u"デスクトップ"}));
  EXPECT_EQ(controls.GetText(kCtlInterval), SharedString(u"45"));
  // The box says "change at start", the setting says "wait".
  EXPECT_FALSE(controls.IsChecked(kCtlChangeAtStart));
  for (int id = kCtlDoubleClickFirst; id <= kCtlDoubleClickLast; ++id) {
    EXPECT_EQ(controls.IsChecked(id), id == 1018) << id;
  }

  ConfigStore read_back(u"unused.cfg", u"unused");
  ControlsToValues(controls, read_back);
  for (const std::u16string_view key : ConfigDialogKeys()) {
    EXPECT_EQ(read_back.GetString(SharedString(key)), store.GetString(SharedString(key)))
        << Orvex::ToUtf8(SharedString(key));
  }
  EXPECT_EQ(read_back.Entries().size(), ConfigDialogKeys().size());
}

// A file from before the setting existed gets it only when the user picks
// something other than one picture; a number the list does not know is
// kept.
TEST(ConfigDialogRulesTest, MultiMonitorStaysOutOfAFileThatNeverHadIt) {
  ConfigStore store = DefaultStore();
  FakeControls controls;
  InitializeConfigDialog(store, controls);
  EXPECT_EQ(controls.items[kCtlMultiMonitor],
            (std::vector<SharedString>{u"同じ画像", u"モニターごと", u"全体に広げる"}));
  EXPECT_EQ(controls.GetSelection(kCtlMultiMonitor), 0);
  ControlsToValues(controls, store);
  EXPECT_EQ(store.Entries().count(u"MultiMonitor"), 0u);
  controls.SetSelection(kCtlMultiMonitor, 1);
  ControlsToValues(controls, store);
  EXPECT_EQ(store.GetString(u"MultiMonitor"), SharedString(u"1"));
  controls.SetSelection(kCtlMultiMonitor, 0);
  ControlsToValues(controls, store);
  EXPECT_EQ(store.GetString(u"MultiMonitor"), SharedString(u"0"));

  store.SetInt(u"MultiMonitor", 7);
  FakeControls unknown;
  InitializeConfigDialog(store, unknown);
  EXPECT_EQ(unknown.GetSelection(kCtlMultiMonitor), -1);
  ControlsToValues(unknown, store);
  EXPECT_EQ(store.GetString(u"MultiMonitor"), SharedString(u"7"));
  EXPECT_EQ(ReadMultiMonitorChoice(store), MultiMonitorChoice::kSame);
}

TEST(ConfigDialogRulesTest, ValuesOutsideTheControlsComeBackNormalised) {
  ConfigStore store = DefaultStore();
  store.SetInt(u"ResizeAlignH", 5);
  store.SetInt(u"DoubleClick", 7);
  FakeControls controls;
  InitializeConfigDialog(store, controls);
  EXPECT_EQ(controls.GetSelection(kCtlAlignH), -1);

  controls.SetText(kCtlInterval, u"");
  ControlsToValues(controls, store);
  EXPECT_EQ(store.GetString(u"ResizeAlignH"), SharedString(u"-1"));
  EXPECT_EQ(store.GetInt(u"DoubleClick"), 0);
  EXPECT_EQ(store.GetString(u"Interval(sec)"), SharedString(u"0"));

  controls.SetText(kCtlInterval, u"90s");
  ControlsToValues(controls, store);
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 90);
}

TEST(ConfigDialogRulesTest, PlacementFollowsResizeAndFixedAspectRatioOnEveryCommand) {
  FakeControls controls;
  ConfigStore store = DefaultStore();
  store.SetBool(u"ResizeFixedAspectRatio", true);
  InitializeConfigDialog(store, controls);
  FakeChoosers choosers;
  EXPECT_TRUE(controls.enabled[kCtlFixedAspectRatio]);
  EXPECT_TRUE(controls.enabled[kCtlAlignV]);

  controls.SetChecked(kCtlResize, false);
  // Any command, whatever control sent it, re-applies the rule.
  EXPECT_EQ(OnConfigDialogCommand(kCtlResize, controls, choosers), DialogOutcome::kNone);
  for (int id : {kCtlFixedAspectRatio, kCtlAlignH, kCtlAlignV, kCtlBgColor}) {
    EXPECT_FALSE(controls.enabled[id]) << id;
  }

  controls.SetChecked(kCtlResize, true);
  controls.SetChecked(kCtlFixedAspectRatio, false);
  OnConfigDialogCommand(12345, controls, choosers);
  EXPECT_TRUE(controls.enabled[kCtlFixedAspectRatio]);
  EXPECT_FALSE(controls.enabled[kCtlBgColor]);
  // Disabled controls still give their values.
  ControlsToValues(controls, store);
  EXPECT_EQ(store.GetInt(u"ResizeBgColor"), 1);
}

TEST(ConfigDialogRulesTest, BrowseButtonsStartFromTheEditsAndFillThemOnlyWhenConfirmed) {
  FakeControls controls;
  InitializeConfigDialog(DefaultStore(), controls);
  FakeChoosers choosers;
  const SharedString program_folder = Orvex::GetExecutableDirectory();

  EXPECT_EQ(OnConfigDialogCommand(kCtlBrowseImageDir, controls, choosers), DialogOutcome::kNone);
  ASSERT_EQ(choosers.calls.size(), 1u);
  EXPECT_EQ(choosers.calls[0][0], SharedString(u"画像フォルダの選択"));
  EXPECT_EQ(choosers.calls[0][1], Orvex::MakeAbsoluteToExecutable(u"./image/"));
  EXPECT_TRUE(choosers.calls[0][1].StartsWith(program_folder.View()));
  EXPECT_EQ(controls.GetText(kCtlImageDir), SharedString(u"./image/"));

  choosers.answer = SharedString(u"/chosen/spi/");
  OnConfigDialogCommand(kCtlBrowseSpiDir, controls, choosers);
  EXPECT_EQ(choosers.calls[1][0], SharedString(u"SPIフォルダの選択"));
  EXPECT_EQ(controls.GetText(kCtlSpiDir), SharedString(u"/chosen/spi/"));

  controls.SetText(kCtlSaveFile, u"out/wall.bmp");
  choosers.answer = SharedString(u"/chosen/new.bmp");
  OnConfigDialogCommand(kCtlBrowseSaveFile, controls, choosers);
  EXPECT_EQ(choosers.calls[2],
            (std::vector<SharedString>{
                u"保存先ファイル名の設定",
                Orvex::DirectoryPart(Orvex::MakeAbsoluteToExecutable(u"out/wall.bmp")),
                u"BMPファイル", u"*.bmp", u"bmp"}));
  EXPECT_EQ(controls.GetText(kCtlSaveFile), SharedString(u"/chosen/new.bmp"));

  EXPECT_EQ(OnConfigDialogCommand(kCtlOk, controls, choosers), DialogOutcome::kAccept);
  EXPECT_EQ(OnConfigDialogCommand(kCtlCancel, controls, choosers), DialogOutcome::kCancel);
  EXPECT_EQ(choosers.calls.size(), 3u);
}

TEST(ConfigDialogRulesTest, AnUnreadableSettingFailsBeforeAnyControlIsTouched) {
  ConfigStore store = DefaultStore();
  store.SetString(u"DoubleClick", u"");
  FakeControls controls;
  EXPECT_THROW(InitializeConfigDialog(store, controls), Orvex::RuntimeException);
  EXPECT_THROW(CheckConfigDialogValues(store), Orvex::RuntimeException);
  EXPECT_TRUE(controls.IsUntouched());
  CheckConfigDialogValues(DefaultStore());
}

}  // namespace

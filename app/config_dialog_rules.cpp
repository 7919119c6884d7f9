#include "app/config_dialog_rules.h"

#include <cstddef>

#include "app/config_keys.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

namespace {

constexpr DialogTooltip kTooltips[] = {
    {kCtlImageDir,
     u"画像を選ぶフォルダを指定します。\r\nここで指定したフォルダ以下にあるファイルからランダムに"
     u"選ばれて壁紙に設定されます。"},
    {kCtlSaveFile, u"画像の保存先を指定します。\r\n通常は変更の必要はありません。"},
    {kCtlSpiDir,
     u"SPIを用いた画像の読み込みを行いたい場合、SPIのあるフォルダを指定します。\r\n使用しない場"
     u"合は適当に無効なフォルダを指定しておいてください。"},
    {kCtlInterval, u"壁紙を変更する間隔を秒単位で指定します。"},
    {kCtlChangeAtStart, u"Pelmoraを起動した直後に壁紙変更を行うかどうかを指定します。"},
    {kCtlResize,
     u"画像を画面サイズに合わせて拡大・縮小します。\r\nこの処理にはLanczos3を使用しています。"},
    {kCtlFixedAspectRatio, u"拡大・縮小時に、縦横比(アスペクトレート)を固定して処理します。"},
    {kCtlAlignH, u"横に隙間が出来る場合に、壁紙をどちら側に寄せるか指定します。"},
    {kCtlAlignV, u"縦に隙間が出来る場合に、壁紙をどちら側に寄せるか指定します。"},
    {kCtlBgColor, u"隙間が出来る場合に、何の色で埋めるか指定します。"},
    {kCtlMultiMonitor,
     u"モニターが複数あるとき、同じ画像にするか、モニターごとに別の画像にするか、1枚の画像を全体に"
     u"広げるか指定します。"},
    {kCtlSharp, u"画像の色の境界線を強調します。"},
    {kCtlRemoveOnSuspend, u"一時停止を行った場合に、壁紙を未設定の状態にします。"},
    {1015, u"トレイアイコンのダブルクリック時に画像のフォルダを変更します。"},
    {1016, u"トレイアイコンのダブルクリック時に壁紙の変更を行います。"},
    {1017, u"トレイアイコンのダブルクリック時に現在の壁紙の元のファイルを開きます。"},
    {1018, u"トレイアイコンのダブルクリック時に一時停止・再開を行います。"},
    {1019, u"トレイアイコンのダブルクリック時に設定ダイアログを表示します。"},
};

constexpr std::u16string_view kDialogKeys[] = {
    config_key::kImageDir,
    config_key::kSaveFile,
    config_key::kSpiDir,
    config_key::kInterval,
    config_key::kWaitFirst,
    config_key::kResize,
    config_key::kResizeFixedAspectRatio,
    config_key::kResizeAlignH,
    config_key::kResizeAlignV,
    config_key::kResizeBgColor,
    config_key::kSharp,
    config_key::kRemoveOnSuspend,
    config_key::kDoubleClick,
    config_key::kMultiMonitor,
};

struct CheckBox {
  int id;
  const char16_t* key;
};
// The check boxes that show a setting as it is (1010 shows WaitFirst
// inverted and is handled on its own).
constexpr CheckBox kCheckBoxes[] = {
    {kCtlResize, config_key::kResize},
    {kCtlFixedAspectRatio, config_key::kResizeFixedAspectRatio},
    {kCtlSharp, config_key::kSharp},
    {kCtlRemoveOnSuspend, config_key::kRemoveOnSuspend},
};

struct List {
  int id;
  const char16_t* key;
  std::span<const char16_t* const> items;
};
constexpr List kLists[] = {
    {kCtlAlignH, config_key::kResizeAlignH, kAlignHItems},
    {kCtlAlignV, config_key::kResizeAlignV, kAlignVItems},
    {kCtlBgColor, config_key::kResizeBgColor, kBgColorItems},
};

struct Edit {
  int id;
  const char16_t* key;
};
constexpr Edit kPathEdits[] = {
    {kCtlImageDir, config_key::kImageDir},
    {kCtlSaveFile, config_key::kSaveFile},
    {kCtlSpiDir, config_key::kSpiDir},
};

constexpr int kDoubleClickActions = kCtlDoubleClickLast - kCtlDoubleClickFirst + 1;

// Everything the dialog shows, read before any control is touched so that a
// setting that cannot be read leaves the controls as they were.
struct ShownValues {
  SharedString paths[std::size(kPathEdits)];
  int interval = 0;
  bool wait_first = false;
  bool checks[std::size(kCheckBoxes)] = {};
  int selections[std::size(kLists)] = {};
  int double_click = 0;
  int multi_monitor = 0;
};

ShownValues ReadShownValues(const ConfigStore& store) {
  ShownValues values;
  for (size_t i = 0; i < std::size(kPathEdits); ++i) {
    values.paths[i] = store.GetString(kPathEdits[i].key);
  }
  values.interval = store.GetInt(config_key::kInterval);
  values.wait_first = store.GetBool(config_key::kWaitFirst);
  for (size_t i = 0; i < std::size(kCheckBoxes); ++i) {
    values.checks[i] = store.GetBool(kCheckBoxes[i].key);
  }
  for (size_t i = 0; i < std::size(kLists); ++i) {
    values.selections[i] = store.GetInt(kLists[i].key);
  }
  values.double_click = store.GetInt(config_key::kDoubleClick);
  // Newer than the file format: a file without it means one picture.
  values.multi_monitor = store.GetIntOr(config_key::kMultiMonitor, 0);
  return values;
}

void ChooseFolderInto(int edit_id, const char16_t* title, IDialogControls& controls,
                      IDialogChoosers& choosers) {
  const SharedString start = Orvex::MakeAbsoluteToExecutable(controls.GetText(edit_id));
  if (auto chosen = choosers.ChooseFolder(title, start)) controls.SetText(edit_id, *chosen);
}

}  // namespace

std::span<const DialogTooltip> ConfigDialogTooltips() { return kTooltips; }

std::span<const std::u16string_view> ConfigDialogKeys() { return kDialogKeys; }

void CheckConfigDialogValues(const ConfigStore& store) { ReadShownValues(store); }

void InitializeConfigDialog(const ConfigStore& store, IDialogControls& controls) {
  const ShownValues values = ReadShownValues(store);
  for (const List& list : kLists) {
    for (const char16_t* item : list.items) controls.AddItem(list.id, item);
  }
  for (size_t i = 0; i < std::size(kPathEdits); ++i) {
    controls.SetText(kPathEdits[i].id, values.paths[i]);
  }
  controls.SetText(kCtlInterval, SharedString::Format(u"%d", values.interval));
  controls.SetChecked(kCtlChangeAtStart, !values.wait_first);
  for (size_t i = 0; i < std::size(kCheckBoxes); ++i) {
    controls.SetChecked(kCheckBoxes[i].id, values.checks[i]);
  }
  for (size_t i = 0; i < std::size(kLists); ++i) {
    const int index = values.selections[i];
    const bool is_item = index >= 0 && static_cast<size_t>(index) < kLists[i].items.size();
    controls.SetSelection(kLists[i].id, is_item ? index : -1);
  }
  for (int action = 0; action < kDoubleClickActions; ++action) {
    controls.SetChecked(kCtlDoubleClickFirst + action, action == values.double_click);
  }
  for (const char16_t* item : kMultiMonitorItems) controls.AddItem(kCtlMultiMonitor, item);
  const bool is_item = values.multi_monitor >= 0 &&
                       static_cast<size_t>(values.multi_monitor) < kMultiMonitorItems.size();
  controls.SetSelection(kCtlMultiMonitor, is_item ? values.multi_monitor : -1);
  ApplyEnablingRule(controls);
}

void ApplyEnablingRule(IDialogControls& controls) {
  const bool resize = controls.IsChecked(kCtlResize);
  controls.Enable(kCtlFixedAspectRatio, resize);
  const bool placement = resize && controls.IsChecked(kCtlFixedAspectRatio);
  for (const List& list : kLists) controls.Enable(list.id, placement);
}

DialogOutcome OnConfigDialogCommand(int id, IDialogControls& controls, IDialogChoosers& choosers) {
  ApplyEnablingRule(controls);
  switch (id) {
    case kCtlOk:
      return DialogOutcome::kAccept;
    case kCtlCancel:
      return DialogOutcome::kCancel;
    case kCtlBrowseImageDir:
      ChooseFolderInto(kCtlImageDir, u"画像フォルダの選択", controls, choosers);
      break;
    case kCtlBrowseSpiDir:
      ChooseFolderInto(kCtlSpiDir, u"SPIフォルダの選択", controls, choosers);
      break;
    case kCtlBrowseSaveFile: {
      const SharedString start =
          Orvex::DirectoryPart(Orvex::MakeAbsoluteToExecutable(controls.GetText(kCtlSaveFile)));
      if (auto chosen = choosers.ChooseSaveFile(u"保存先ファイル名の設定", u"BMPファイル", u"*.bmp",
                                                start, u"bmp")) {
        controls.SetText(kCtlSaveFile, *chosen);
      }
      break;
    }
    default:
      break;
  }
  return DialogOutcome::kNone;
}

void ControlsToValues(const IDialogControls& controls, ConfigStore& store) {
  for (const Edit& edit : kPathEdits) store.SetString(edit.key, controls.GetText(edit.id));
  store.SetInt(config_key::kInterval, ConfigStore::ParseInt(controls.GetText(kCtlInterval)));
  store.SetBool(config_key::kWaitFirst, !controls.IsChecked(kCtlChangeAtStart));
  for (const CheckBox& box : kCheckBoxes) store.SetBool(box.key, controls.IsChecked(box.id));
  for (const List& list : kLists) store.SetInt(list.key, controls.GetSelection(list.id));
  int double_click = 0;
  for (int action = 0; action < kDoubleClickActions; ++action) {
    if (controls.IsChecked(kCtlDoubleClickFirst + action)) {
      double_click = action;
      break;
    }
  }
  store.SetInt(config_key::kDoubleClick, double_click);
  // A file that never had the setting keeps it out while it means one
  // picture; a number the list does not show stays as it is.
  const int multi_monitor = controls.GetSelection(kCtlMultiMonitor);
  const bool absent = store.Entries().count(SharedString(config_key::kMultiMonitor)) == 0;
  if (multi_monitor > 0 || (multi_monitor == 0 && !absent)) {
    store.SetInt(config_key::kMultiMonitor, multi_monitor);
  }
}

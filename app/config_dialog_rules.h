#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "app/config_store.h"
#include "foundation/shared_string.h"

// The settings dialog's controls.
inline constexpr int kCtlOk = 1;
inline constexpr int kCtlCancel = 2;
inline constexpr int kCtlImageDir = 1002;
inline constexpr int kCtlBrowseImageDir = 1003;
inline constexpr int kCtlSaveFile = 1004;
inline constexpr int kCtlBrowseSaveFile = 1005;
inline constexpr int kCtlSpiDir = 1006;
inline constexpr int kCtlBrowseSpiDir = 1007;
inline constexpr int kCtlInterval = 1008;
inline constexpr int kCtlResize = 1009;
// Ticked when the wallpaper changes right at start, i.e. WaitFirst is false.
inline constexpr int kCtlChangeAtStart = 1010;
inline constexpr int kCtlSharp = 1011;
inline constexpr int kCtlRemoveOnSuspend = 1012;
inline constexpr int kCtlAlignH = 1013;
inline constexpr int kCtlAlignV = 1014;
// The double-click radio buttons, one per DoubleClick value 0 to 4.
inline constexpr int kCtlDoubleClickFirst = 1015;
inline constexpr int kCtlDoubleClickLast = 1019;
inline constexpr int kCtlFixedAspectRatio = 1020;
inline constexpr int kCtlBgColor = 1021;
inline constexpr int kCtlMultiMonitor = 1022;

// The drop-down lists' items; an item's index is the value stored.
inline constexpr std::array<const char16_t*, 3> kAlignHItems = {u"左", u"中央", u"右"};
inline constexpr std::array<const char16_t*, 3> kAlignVItems = {u"上", u"中央", u"下"};
inline constexpr std::array<const char16_t*, 2> kBgColorItems = {u"自動", u"デスクトップ"};
// In the order of MultiMonitorChoice.
inline constexpr std::array<const char16_t*, 3> kMultiMonitorItems = {u"同じ画像", u"モニターごと",
                                                                      u"全体に広げる"};
// The label beside the multi-monitor list.
inline constexpr char16_t kMultiMonitorLabel[] = u"複数モニター";

struct DialogTooltip {
  int control_id;
  const char16_t* text;
};
// The tooltip of each control that has one.
std::span<const DialogTooltip> ConfigDialogTooltips();

// The settings the dialog edits: all but Suspend and ClearType.
std::span<const std::u16string_view> ConfigDialogKeys();

// The dialog's controls, by identifier, on whatever window system shows it.
class IDialogControls {
 public:
  IDialogControls() = default;
  IDialogControls(const IDialogControls&) = delete;
  IDialogControls& operator=(const IDialogControls&) = delete;
  virtual ~IDialogControls() = default;

  virtual Orvex::SharedString GetText(int id) const = 0;
  virtual void SetText(int id, const Orvex::SharedString& text) = 0;
  virtual bool IsChecked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  // The selected item of a list; -1 for none.
  virtual int GetSelection(int id) const = 0;
  // -1, or an index that is not an item, selects nothing.
  virtual void SetSelection(int id, int index) = 0;
  virtual void AddItem(int id, const Orvex::SharedString& text) = 0;
  virtual void Enable(int id, bool enabled) = 0;
};

// The choosers the dialog's browse buttons open, owned by the dialog.
class IDialogChoosers {
 public:
  IDialogChoosers() = default;
  IDialogChoosers(const IDialogChoosers&) = delete;
  IDialogChoosers& operator=(const IDialogChoosers&) = delete;
  virtual ~IDialogChoosers() = default;

  // Nothing when the user cancels.
  virtual std::optional<Orvex::SharedString> ChooseFolder(const Orvex::SharedString& title,
                                                          const Orvex::SharedString& start) = 0;
  // The chosen file's full path; the file name starts empty.
  virtual std::optional<Orvex::SharedString> ChooseSaveFile(
      const Orvex::SharedString& title, const Orvex::SharedString& filter_description,
      const Orvex::SharedString& pattern, const Orvex::SharedString& start_folder,
      const Orvex::SharedString& default_extension) = 0;
};

// On opening: the lists filled, the store's values shown, the enabling rule
// applied. Throws the store's read error for a setting that cannot be read,
// before any control is touched.
void InitializeConfigDialog(const ConfigStore& store, IDialogControls& controls);

// Throws what InitializeConfigDialog would throw for this store. The dialog
// is not opened on settings it cannot show: its OK would write the empty
// controls over them.
void CheckConfigDialogValues(const ConfigStore& store);

// The fixed aspect ratio makes sense only when resizing, and the placement
// lists only with a fixed aspect ratio.
void ApplyEnablingRule(IDialogControls& controls);

enum class DialogOutcome { kNone, kAccept, kCancel };

// A command of the dialog: the enabling rule first (whatever the command),
// then the browse buttons; OK and Cancel say how the dialog ends.
DialogOutcome OnConfigDialogCommand(int id, IDialogControls& controls, IDialogChoosers& choosers);

// On OK: the controls' values into the store (in memory only), disabled
// controls included.
void ControlsToValues(const IDialogControls& controls, ConfigStore& store);

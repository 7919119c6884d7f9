#pragma once

#include <memory>
#include <optional>

#include "app/config_dialog_rules.h"
#include "app/config_store.h"
#include "foundation/shared_string.h"
#include "foundation/win32/dialog_tooltip.h"
#include "foundation/win32/resource_dialog.h"
#include "foundation/win32/win32.h"

// The program's folder chooser, modal on owner: the dialog's browse buttons
// and the tray's folder command open the same one. Nothing when cancelled.
std::optional<Orvex::SharedString> ChooseFolderDialog(HWND owner, const Orvex::SharedString& title,
                                                      const Orvex::SharedString& start);

// The settings dialog on the window framework. What it shows and what OK
// stores are the portable rules; this class only reaches the controls and
// opens the choosers.
class CConfigDialog : public Orvex::CResourceDialogBase,
                      public IDialogControls,
                      public IDialogChoosers {
 public:
  // store: what the dialog shows and, on OK, the edits (not owned).
  explicit CConfigDialog(ConfigStore& store);

  bool OnMessage(Orvex::SMessage& message) override;

  // IDialogControls
  Orvex::SharedString GetText(int id) const override;
  void SetText(int id, const Orvex::SharedString& text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  int GetSelection(int id) const override;
  void SetSelection(int id, int index) override;
  void AddItem(int id, const Orvex::SharedString& text) override;
  void Enable(int id, bool enabled) override;

  // IDialogChoosers
  std::optional<Orvex::SharedString> ChooseFolder(const Orvex::SharedString& title,
                                                  const Orvex::SharedString& start) override;
  std::optional<Orvex::SharedString> ChooseSaveFile(
      const Orvex::SharedString& title, const Orvex::SharedString& filter_description,
      const Orvex::SharedString& pattern, const Orvex::SharedString& start_folder,
      const Orvex::SharedString& default_extension) override;

 private:
  HWND Control(int id) const;

  ConfigStore& store_;
  std::unique_ptr<Orvex::CDialogTooltip> tooltip_;
};

#pragma once

#include <QDialog>
#include <map>
#include <optional>

#include "app/config_dialog_rules.h"
#include "app/config_store.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;

// The program's folder chooser, modal on parent (null for none): the
// dialog's browse buttons and the tray's folder command open the same one.
// Nothing when cancelled; the folder ends with a separator.
std::optional<Orvex::SharedString> ChooseFolderDialog(QWidget* parent,
                                                      const Orvex::SharedString& title,
                                                      const Orvex::SharedString& start);

// The settings dialog on Qt: the controls of the Windows dialog, laid out
// by Qt's layouts, each reachable by its identifier so that the portable
// rules fill it, enable it and read it back. It edits the store in memory;
// saving is the command's.
class SettingsDialog : public QDialog, public IDialogControls, public IDialogChoosers {
 public:
  // Throws the store's read error before anything is shown. choosers: the
  // browse buttons' choosers; null for the file dialogs of Qt (tests pass
  // their own).
  explicit SettingsDialog(ConfigStore& store, QWidget* parent = nullptr,
                          IDialogChoosers* choosers = nullptr);

  // Runs a command of the dialog as a click on the control would: the
  // enabling rule, the browse buttons, OK and Cancel.
  void RunCommand(int id);

  // The control with the identifier, for the tests and the screenshots.
  QWidget* Control(int id) const;

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
  void BuildControls();
  QLineEdit* AddEdit(int id);
  QAbstractButton* AddCheckBox(int id, const char16_t* text);
  QComboBox* AddList(int id);
  QAbstractButton* AddButton(int id, const char16_t* text);
  QLineEdit* Edit(int id) const;
  QAbstractButton* Button(int id) const;
  QComboBox* List(int id) const;

  ConfigStore& store_;
  IDialogChoosers& choosers_;
  std::map<int, QWidget*> controls_;
  QButtonGroup* double_click_group_ = nullptr;
};

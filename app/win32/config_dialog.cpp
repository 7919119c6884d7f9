#include "app/win32/config_dialog.h"

#include <vector>

#include "foundation/win32/file_dialog.h"
#include "foundation/win32/folder_picker.h"

using Orvex::SharedString;

namespace {

// The dialog template in the resources.
constexpr int kConfigDialogId = 103;

}  // namespace

std::optional<SharedString> ChooseFolderDialog(HWND owner, const SharedString& title,
                                               const SharedString& start) {
  Orvex::CFolderPicker picker(owner, title, start);
  if (!picker.Show()) return std::nullopt;
  return picker.Folder();
}

CConfigDialog::CConfigDialog(ConfigStore& store)
    : CResourceDialogBase(kConfigDialogId), store_(store) {}

bool CConfigDialog::OnMessage(Orvex::SMessage& message) {
  switch (message.id) {
    case WM_INITDIALOG:
      InitializeConfigDialog(store_, *this);
      tooltip_ = std::make_unique<Orvex::CDialogTooltip>(window_);
      for (const DialogTooltip& tip : ConfigDialogTooltips()) {
        tooltip_->AddTool(tip.control_id, tip.text);
      }
      return true;
    case WM_COMMAND:
      switch (OnConfigDialogCommand(LOWORD(message.wparam), *this, *this)) {
        case DialogOutcome::kAccept:
          ControlsToValues(*this, store_);
          EndDialog(IDOK);
          break;
        case DialogOutcome::kCancel:
          EndDialog(IDCANCEL);
          break;
        case DialogOutcome::kNone:
          break;
      }
      return true;
    default:
      return false;
  }
}

HWND CConfigDialog::Control(int id) const { return GetDlgItem(Handle(), id); }

SharedString CConfigDialog::GetText(int id) const {
  HWND control = Control(id);
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return SharedString();
  std::vector<wchar_t> text(length + 1);
  const int copied = GetWindowTextW(control, text.data(), length + 1);
  return Orvex::FromWide(text.data(), copied > 0 ? copied : 0);
}

void CConfigDialog::SetText(int id, const SharedString& text) {
  SetWindowTextW(Control(id), Orvex::Wide(text));
}

bool CConfigDialog::IsChecked(int id) const {
  return IsDlgButtonChecked(Handle(), id) == BST_CHECKED;
}

void CConfigDialog::SetChecked(int id, bool checked) {
  CheckDlgButton(Handle(), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int CConfigDialog::GetSelection(int id) const {
  const LRESULT selection = SendMessageW(Control(id), CB_GETCURSEL, 0, 0);
  return selection == CB_ERR ? -1 : static_cast<int>(selection);
}

void CConfigDialog::SetSelection(int id, int index) {
  HWND list = Control(id);
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  // A value that is not an item leaves the list without a selection.
  if (index < 0 || index >= count) index = -1;
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CConfigDialog::AddItem(int id, const SharedString& text) {
  SendMessageW(Control(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Orvex::Wide(text)));
}

void CConfigDialog::Enable(int id, bool enabled) { EnableWindow(Control(id), enabled); }

std::optional<SharedString> CConfigDialog::ChooseFolder(const SharedString& title,
                                                        const SharedString& start) {
  return ChooseFolderDialog(Handle(), title, start);
}

std::optional<SharedString> CConfigDialog::ChooseSaveFile(const SharedString& title,
                                                          const SharedString& filter_description,
                                                          const SharedString& pattern,
                                                          const SharedString& start_folder,
                                                          const SharedString& default_extension) {
  Orvex::CFileDialog dialog(Handle());
  dialog.AddFilter(filter_description, pattern);
  dialog.initial_folder = start_folder;
  dialog.title = title;
  dialog.default_extension = default_extension;
  if (!dialog.Show(GetSaveFileNameW, false) || dialog.Results().empty()) return std::nullopt;
  return dialog.Results().front();
}

#include "app/linux/settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/linux/qt_text.h"
#include "foundation/error_reporting.h"

using Orvex::SharedString;

namespace {

constexpr const char16_t* kDoubleClickTexts[] = {u"フォルダ選択", u"壁紙変更",
                                                 u"元のファイルを開く", u"一時停止／再開", u"設定"};

// The lists and check boxes below the resize box sit further in, as they
// depend on it.
constexpr int kIndent = 16;

}  // namespace

SettingsDialog::SettingsDialog(ConfigStore& store, QWidget* parent, IDialogChoosers* choosers)
    : QDialog(parent), store_(store), choosers_(choosers ? *choosers : *this) {
  // Nothing is built on settings the dialog cannot show.
  CheckConfigDialogValues(store_);
  setWindowTitle(ToQString(u"設定"));
  BuildControls();
  InitializeConfigDialog(store_, *this);
  for (const DialogTooltip& tip : ConfigDialogTooltips()) {
    // Qt breaks tooltip lines at '\n' alone.
    Control(tip.control_id)
        ->setToolTip(ToQString(SharedString(tip.text)).replace(u"\r\n"_qs, u"\n"_qs));
  }
}

void SettingsDialog::BuildControls() {
  auto* folders = new QGroupBox(ToQString(u"フォルダ"));
  auto* folder_grid = new QGridLayout(folders);
  const struct {
    const char16_t* label;
    int edit;
    int browse;
  } kFolderRows[] = {{u"画像", kCtlImageDir, kCtlBrowseImageDir},
                     {u"保存先", kCtlSaveFile, kCtlBrowseSaveFile},
                     {u"SPI", kCtlSpiDir, kCtlBrowseSpiDir}};
  int row = 0;
  for (const auto& folder_row : kFolderRows) {
    folder_grid->addWidget(new QLabel(ToQString(folder_row.label)), row, 0, Qt::AlignRight);
    QLineEdit* edit = AddEdit(folder_row.edit);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 32);
    folder_grid->addWidget(edit, row, 1);
    QAbstractButton* browse = AddButton(folder_row.browse, u"...");
    browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(u"..."_qs) * 3);
    folder_grid->addWidget(browse, row, 2);
    ++row;
  }

  auto* other = new QGroupBox(ToQString(u"その他"));
  auto* other_layout = new QVBoxLayout(other);
  auto* interval_row = new QHBoxLayout;
  interval_row->addWidget(new QLabel(ToQString(u"更新間隔(秒)")));
  QLineEdit* interval = AddEdit(kCtlInterval);
  // Digits only, as the Windows edit with its number style.
  interval->setMaximumWidth(interval->fontMetrics().averageCharWidth() * 10);
  interval->setValidator(
      new QRegularExpressionValidator(QRegularExpression(u"[0-9]*"_qs), interval));
  interval_row->addWidget(interval);
  interval_row->addStretch();
  other_layout->addLayout(interval_row);
  other_layout->addWidget(AddCheckBox(kCtlChangeAtStart, u"起動直後に壁紙変更を実行する"));
  other_layout->addWidget(AddCheckBox(kCtlResize, u"画像を画面サイズに合わせてリサイズする"));
  auto* aspect_row = new QHBoxLayout;
  aspect_row->addSpacing(kIndent);
  aspect_row->addWidget(AddCheckBox(kCtlFixedAspectRatio, u"縦横比を保持する"));
  other_layout->addLayout(aspect_row);
  auto* list_grid = new QGridLayout;
  list_grid->setColumnMinimumWidth(0, 2 * kIndent);
  const struct {
    const char16_t* label;
    int id;
  } kListRows[] = {{u"水平配置", kCtlAlignH}, {u"垂直配置", kCtlAlignV}, {u"背景色", kCtlBgColor}};
  row = 0;
  for (const auto& list_row : kListRows) {
    list_grid->addWidget(new QLabel(ToQString(list_row.label)), row, 1);
    list_grid->addWidget(AddList(list_row.id), row, 2);
    ++row;
  }
  list_grid->setColumnStretch(3, 1);
  other_layout->addLayout(list_grid);
  // Not indented: with or without resizing, each monitor may get its own
  // picture.
  auto* monitors_row = new QHBoxLayout;
  monitors_row->addWidget(new QLabel(ToQString(kMultiMonitorLabel)));
  monitors_row->addWidget(AddList(kCtlMultiMonitor));
  monitors_row->addStretch();
  other_layout->addLayout(monitors_row);
  other_layout->addWidget(AddCheckBox(kCtlSharp, u"画像をシャープにする"));
  other_layout->addWidget(AddCheckBox(kCtlRemoveOnSuspend, u"一時停止時に壁紙を外す"));

  auto* icon = new QGroupBox(ToQString(u"アイコン"));
  auto* icon_grid = new QGridLayout(icon);
  icon_grid->addWidget(new QLabel(ToQString(u"ダブルクリック")), 0, 0, Qt::AlignTop);
  double_click_group_ = new QButtonGroup(this);
  for (int i = 0; i <= kCtlDoubleClickLast - kCtlDoubleClickFirst; ++i) {
    auto* radio = new QRadioButton(ToQString(kDoubleClickTexts[i]));
    controls_[kCtlDoubleClickFirst + i] = radio;
    double_click_group_->addButton(radio, kCtlDoubleClickFirst + i);
    icon_grid->addWidget(radio, i, 1);
  }
  connect(double_click_group_, &QButtonGroup::idClicked, this, [this](int id) { RunCommand(id); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QAbstractButton* ok = AddButton(kCtlOk, u"OK");
  static_cast<QPushButton*>(ok)->setDefault(true);
  buttons->addWidget(ok);
  buttons->addWidget(AddButton(kCtlCancel, u"キャンセル"));

  auto* left = new QVBoxLayout;
  left->addWidget(folders);
  left->addWidget(other);
  auto* right = new QVBoxLayout;
  right->addWidget(icon);
  right->addStretch();
  right->addLayout(buttons);
  auto* columns = new QHBoxLayout(this);
  columns->addLayout(left, 1);
  columns->addLayout(right);
}

QLineEdit* SettingsDialog::AddEdit(int id) {
  auto* edit = new QLineEdit;
  controls_[id] = edit;
  // Every change is a command, as the edit's notification is on Windows.
  connect(edit, &QLineEdit::textEdited, this, [this, id] { RunCommand(id); });
  return edit;
}

QAbstractButton* SettingsDialog::AddCheckBox(int id, const char16_t* text) {
  auto* box = new QCheckBox(ToQString(text));
  controls_[id] = box;
  connect(box, &QCheckBox::clicked, this, [this, id] { RunCommand(id); });
  return box;
}

QComboBox* SettingsDialog::AddList(int id) {
  auto* list = new QComboBox;
  controls_[id] = list;
  connect(list, &QComboBox::activated, this, [this, id] { RunCommand(id); });
  return list;
}

QAbstractButton* SettingsDialog::AddButton(int id, const char16_t* text) {
  auto* button = new QPushButton(ToQString(text));
  // Enter in an edit presses OK alone.
  if (id != kCtlOk) button->setAutoDefault(false);
  controls_[id] = button;
  connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
  return button;
}

void SettingsDialog::RunCommand(int id) {
  // Called from Qt's signals: nothing may unwind into its event loop.
  try {
    switch (OnConfigDialogCommand(id, *this, choosers_)) {
      case DialogOutcome::kAccept:
        ControlsToValues(*this, store_);
        accept();
        break;
      case DialogOutcome::kCancel:
        reject();
        break;
      case DialogOutcome::kNone:
        break;
    }
  } catch (const std::exception& error) {
    Orvex::ShowException(nullptr, u"エラー (2)", error);
  } catch (...) {
  }
}

QWidget* SettingsDialog::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QLineEdit* SettingsDialog::Edit(int id) const { return qobject_cast<QLineEdit*>(Control(id)); }

QAbstractButton* SettingsDialog::Button(int id) const {
  return qobject_cast<QAbstractButton*>(Control(id));
}

QComboBox* SettingsDialog::List(int id) const { return qobject_cast<QComboBox*>(Control(id)); }

SharedString SettingsDialog::GetText(int id) const {
  QLineEdit* edit = Edit(id);
  return edit ? FromQString(edit->text()) : SharedString();
}

void SettingsDialog::SetText(int id, const SharedString& text) {
  if (QLineEdit* edit = Edit(id)) edit->setText(ToQString(text));
}

bool SettingsDialog::IsChecked(int id) const {
  QAbstractButton* button = Button(id);
  return button && button->isChecked();
}

void SettingsDialog::SetChecked(int id, bool checked) {
  QAbstractButton* button = Button(id);
  if (!button) return;
  // An exclusive group keeps its checked button: the rules clear all five
  // radio buttons before they choose one, and may choose none.
  const bool in_group = button->group() != nullptr;
  if (in_group && !checked) button->group()->setExclusive(false);
  button->setChecked(checked);
  if (in_group && !checked) button->group()->setExclusive(true);
}

int SettingsDialog::GetSelection(int id) const {
  QComboBox* list = List(id);
  return list ? list->currentIndex() : -1;
}

void SettingsDialog::SetSelection(int id, int index) {
  QComboBox* list = List(id);
  if (!list) return;
  if (index < 0 || index >= list->count()) index = -1;
  list->setCurrentIndex(index);
}

void SettingsDialog::AddItem(int id, const SharedString& text) {
  if (QComboBox* list = List(id)) list->addItem(ToQString(text));
}

void SettingsDialog::Enable(int id, bool enabled) {
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

std::optional<SharedString> ChooseFolderDialog(QWidget* parent, const SharedString& title,
                                               const SharedString& start) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, ToQString(title), ToQString(start));
  if (folder.isEmpty()) return std::nullopt;
  // A folder path of this program ends with a separator.
  return FromQString(folder.endsWith(u'/') ? folder : folder + u'/');
}

std::optional<SharedString> SettingsDialog::ChooseFolder(const SharedString& title,
                                                         const SharedString& start) {
  return ChooseFolderDialog(this, title, start);
}

std::optional<SharedString> SettingsDialog::ChooseSaveFile(const SharedString& title,
                                                           const SharedString& filter_description,
                                                           const SharedString& pattern,
                                                           const SharedString& start_folder,
                                                           const SharedString& default_extension) {
  QFileDialog dialog(this, ToQString(title), ToQString(start_folder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(ToQString(filter_description) + u" ("_qs + ToQString(pattern) + u')');
  dialog.setDefaultSuffix(ToQString(default_extension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FromQString(dialog.selectedFiles().front());
}

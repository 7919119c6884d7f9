#pragma once

#include <string>
#include <vector>

#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <cderr.h>
#include <commdlg.h>
// clang-format on

namespace Orvex {

// The system's open or save dialog. Settings are made on the public
// members; the chosen paths are in Results() after Show returned true.
class CFileDialog {
 public:
  using DialogFunction = BOOL(WINAPI*)(OPENFILENAMEW*);

  explicit CFileDialog(HWND owner = nullptr) : owner_(owner) {}
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // One "description|pattern" pair of the type list.
  void AddFilter(const SharedString& description, const SharedString& pattern);

  // Runs dialog_function (GetSaveFileNameW or GetOpenFileNameW). False when
  // the user cancelled. A name the dialog refuses as invalid is offered
  // once more with the characters a file name cannot hold replaced by '-'.
  // Other errors throw RuntimeException. The process's current folder is
  // the same afterwards.
  bool Show(DialogFunction dialog_function, bool multi_select);

  const std::vector<SharedString>& Results() const { return results_; }

  SharedString initial_folder;
  SharedString title;
  SharedString default_extension;
  SharedString default_file_name;

 private:
  HWND owner_;
  std::u16string filter_;
  std::vector<SharedString> results_;
};

namespace Detail {
// Replaces the characters a file name cannot hold by '-' in place: slashes
// of both kinds, '"', '*', '<', '>', '?', '|' and ':' except a drive
// letter's. Stops at the first NUL.
void ReplaceInvalidFileNameCharacters(char16_t* name, size_t capacity);
}  // namespace Detail

}  // namespace Orvex

#include "foundation/win32/folder_picker.h"

#include "foundation/file_system.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <objbase.h>
#include <shlobj.h>
// clang-format on

namespace Orvex {
namespace {

SharedString PathOf(LPCITEMIDLIST item) {
  wchar_t path[MAX_PATH] = {};
  if (!item || !SHGetPathFromIDListW(item, path) || path[0] == 0) return SharedString();
  return FromWide(path);
}

}  // namespace

CFolderPicker::CFolderPicker(HWND owner, const SharedString& title, const SharedString& folder)
    : owner_(owner), title_(title), folder_(folder) {}

int CALLBACK CFolderPicker::Callback(HWND dialog, UINT message, LPARAM parameter, LPARAM data) {
  // Nothing may unwind into the shell.
  try {
    auto* picker = reinterpret_cast<CFolderPicker*>(data);
    if (message == BFFM_INITIALIZED && !picker->folder_.IsEmpty()) {
      const SharedString start = RemoveTrailingSeparator(picker->folder_);
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Wide(start)));
    } else if (message == BFFM_SELCHANGED) {
      bool ok = false;
      try {
        const SharedString path = PathOf(reinterpret_cast<LPCITEMIDLIST>(parameter));
        ok = !path.IsEmpty() && IsDirectory(path);
      } catch (const std::exception&) {
        ok = false;
      }
      SendMessageW(dialog, BFFM_ENABLEOK, 0, ok);
    }
  } catch (...) {
  }
  return 0;
}

bool CFolderPicker::Show() {
  folder_ = NearestExistingFolder(folder_);
  BROWSEINFOW info = {};
  info.hwndOwner = owner_;
  info.lpszTitle = Wide(title_);
  // The resizable chooser needs the single-threaded apartment; in the
  // multithreaded one the shell refuses it, so the classic one stands in.
  info.ulFlags = com_.MultiThreaded() ? BIF_EDITBOX : BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = Callback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  ShowCursor(TRUE);
  ShowCursor(TRUE);
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  ShowCursor(FALSE);
  ShowCursor(FALSE);
  if (!item) return false;
  const SharedString path = PathOf(item);
  CoTaskMemFree(item);
  if (path.IsEmpty()) return false;
  folder_ = EnsureTrailingSeparator(path);
  return true;
}

}  // namespace Orvex

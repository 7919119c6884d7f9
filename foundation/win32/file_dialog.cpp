#include "foundation/win32/file_dialog.h"

#include <algorithm>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/file_system.h"

namespace Orvex {
namespace {

// 8192 bytes of UTF-16: room for a multiple selection of many names.
constexpr size_t kBufferCharacters = 4096;

class CurrentFolderKeeper {
 public:
  CurrentFolderKeeper() : folder_(GetCurrentDirectory()) {}
  CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
  CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;
  ~CurrentFolderKeeper() {
    try {
      SetCurrentDirectory(folder_);
    } catch (const std::exception&) {
      // The folder went away meanwhile; nothing better to go back to.
    }
  }

 private:
  SharedString folder_;
};

const wchar_t* OrNull(const SharedString& text) { return text.IsEmpty() ? nullptr : Wide(text); }

}  // namespace

namespace Detail {
void ReplaceInvalidFileNameCharacters(char16_t* name, size_t capacity) {
  for (size_t i = 0; i < capacity && name[i] != 0; ++i) {
    switch (name[i]) {
      case u'/':
      case u'\\':
      case u'"':
      case u'*':
      case u'<':
      case u'>':
      case u'?':
      case u'|':
        name[i] = u'-';
        break;
      case u':':
        if (i != 1) name[i] = u'-';
        break;
      default:
        break;
    }
  }
}
}  // namespace Detail

void CFileDialog::AddFilter(const SharedString& description, const SharedString& pattern) {
  filter_ += description.View();
  filter_ += u'\0';
  filter_ += pattern.View();
  filter_ += u'\0';
}

bool CFileDialog::Show(DialogFunction dialog_function, bool multi_select) {
  CurrentFolderKeeper keeper;
  const SharedString folder = RemoveTrailingSeparator(initial_folder);
  if (!folder.IsEmpty()) {
    try {
      SetCurrentDirectory(folder);
    } catch (const std::exception&) {
      // The dialog starts elsewhere; that is no reason to refuse it.
    }
  }

  std::vector<char16_t> buffer(kBufferCharacters, 0);
  std::copy_n(default_file_name.CStr(), std::min(default_file_name.Length(), kBufferCharacters - 1),
              buffer.begin());
  default_file_name = SharedString();
  std::u16string filter = filter_;
  if (!filter.empty()) filter += u'\0';  // the list ends with two NULs

  OPENFILENAMEW record = {};
  record.lStructSize = sizeof record;
  record.hwndOwner = owner_;
  record.lpstrFilter = filter.empty() ? nullptr : reinterpret_cast<const wchar_t*>(filter.c_str());
  record.nFilterIndex = 1;
  record.lpstrFile = reinterpret_cast<wchar_t*>(buffer.data());
  record.nMaxFile = kBufferCharacters;
  record.lpstrInitialDir = OrNull(folder);
  record.lpstrTitle = OrNull(title);
  record.lpstrDefExt = OrNull(default_extension);
  if (multi_select) record.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;

  for (int attempt = 0;; ++attempt) {
    ShowCursor(TRUE);
    ShowCursor(TRUE);
    const BOOL chosen = dialog_function(&record);
    ShowCursor(FALSE);
    ShowCursor(FALSE);
    if (chosen) break;
    const DWORD error = CommDlgExtendedError();
    if (error == 0) return false;
    if (error == FNERR_INVALIDFILENAME && attempt == 0) {
      Detail::ReplaceInvalidFileNameCharacters(buffer.data(), buffer.size());
      continue;
    }
    throw RuntimeException(
        SharedString::Format(u"なんかエラーっぽいです。エラーコード：%d", static_cast<int>(error)));
  }

  results_.clear();
  const SharedString first(buffer.data());
  const char16_t* next = buffer.data() + first.Length() + 1;
  if (multi_select && *next != 0) {
    const SharedString directory = EnsureTrailingSeparator(first);
    initial_folder = directory;
    while (*next != 0) {
      const SharedString name(next);
      results_.push_back(directory + name);
      next += name.Length() + 1;
    }
  } else {
    results_.push_back(first);
    initial_folder = DirectoryPart(first);
  }
  return true;
}

}  // namespace Orvex

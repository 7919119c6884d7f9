#include "foundation/win32/system_path.h"

#include "foundation/win32/win32.h"

namespace Orvex::Detail {

std::wstring ToSystemPath(const SharedString& p) {
  std::wstring path(Wide(p), p.Length());
  // CreateDirectoryW stops short of MAX_PATH: it must leave room for an 8.3
  // file name inside the new folder.
  constexpr size_t kClassicLimit = MAX_PATH - 12;
  if (path.size() < kClassicLimit || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
    return path;
  }
  // The prefix turns off the system's own clean-up of the name ('/', "..",
  // relative names), so that is done first.
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);
  }
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace Orvex::Detail

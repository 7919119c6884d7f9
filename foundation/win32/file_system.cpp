#include "foundation/file_system.h"

#include <algorithm>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/file_system_primitives.h"
#include "foundation/win32/system_path.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

// Keeps the system from asking for a disk in a drive while it is alive.
class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) : previous_(SetErrorMode(mode)) {}
  ~ErrorModeScope() { SetErrorMode(previous_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT previous_;
};

// The volume and file index of a folder: the same for every path (junction,
// link or plain) that reaches it. Empty if the system will not say.
std::string FolderIdentity(const SharedString& directory_part) {
  const std::wstring path = directory_part.IsEmpty() ? L"." : Detail::ToSystemPath(directory_part);
  const UniqueHandle<> handle(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !GetFileInformationByHandle(handle.Get(), &info) ||
      (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0))
    return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
         ":" + std::to_string(info.nFileIndexLow);
}

}  // namespace

SharedString GetExecutablePath() {
  // The wide name: the narrow one turns characters outside the code page
  // into '?', and nothing beside such a program could ever be found.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) throw Win32Exception(u"実行ファイルのファイル名の取得に失敗");
    if (n < buffer.size()) return FromWide(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

SharedString ExpandEnvironment(const SharedString& p) {
  DWORD size = static_cast<DWORD>(std::max<size_t>(p.Length() + 1, MAX_PATH));
  std::wstring buffer(size, L'\0');
  DWORD n = ExpandEnvironmentStringsW(Wide(p), buffer.data(), size);
  if (n == 0 || n >= size) {
    // The result did not fit: the returned count is the room it needs.
    size = std::max<DWORD>(size * 2, n);
    buffer.assign(size, L'\0');
    n = ExpandEnvironmentStringsW(Wide(p), buffer.data(), size);
    if (n == 0 || n > size) {
      throw Win32Exception(u"ファイル名 '" + p + u"' 中の環境変数の置換に失敗");
    }
  }
  return FromWide(buffer.c_str());
}

uint32_t GetAttributes(const SharedString& p) {
  const std::wstring path = Detail::ToSystemPath(p);
  ErrorModeScope no_disk_prompt(SEM_FAILCRITICALERRORS);
  return GetFileAttributesW(path.c_str());
}

void SetAttributes(const SharedString& p, uint32_t attributes) {
  SetFileAttributesW(Detail::ToSystemPath(p).c_str(), attributes);
}

SharedString GetCurrentDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) throw Win32Exception(u"カレントディレクトリの取得に失敗");
    if (n < buffer.size()) return FromWide(buffer.data(), n);
    buffer.resize(n);
  }
}

void SetCurrentDirectory(const SharedString& p) {
  if (!SetCurrentDirectoryW(Wide(p))) {
    throw Win32Exception(p + u" をカレントディレクトリにできませんでした");
  }
}

namespace Detail {

DirectoryListing ReadDirectory(const SharedString& directory_part) {
  const SharedString pattern = directory_part + u"*";
  WIN32_FIND_DATAW data;
  const UniqueHandle<FindCloser> find(FindFirstFileW(ToSystemPath(pattern).c_str(), &data));
  DirectoryListing listing;
  if (!find) {
    // The root of an empty drive has no entries at all, not even ".".
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return listing;
    throw Win32Exception(pattern + u" の検索に失敗");
  }
  do {
    listing.entries.push_back(
        {FromWide(data.cFileName), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(find.Get(), &data));
  listing.identity = FolderIdentity(directory_part);
  return listing;
}

bool CreateOneDirectory(const SharedString& p) {
  return CreateDirectoryW(ToSystemPath(p).c_str(), nullptr) != 0;
}

bool CopyOneFile(const SharedString& src, const SharedString& dst, bool fail_if_exists) {
  return CopyFileW(ToSystemPath(src).c_str(), ToSystemPath(dst).c_str(), fail_if_exists) != 0;
}

bool DeleteOneFile(const SharedString& p) { return DeleteFileW(ToSystemPath(p).c_str()) != 0; }

bool RemoveOneDirectory(const SharedString& p) {
  return RemoveDirectoryW(ToSystemPath(p).c_str()) != 0;
}

bool CommitReplacement(const SharedString& source, const SharedString& target) {
  const std::wstring from = ToSystemPath(source);
  const std::wstring to = ToSystemPath(target);
  {
    const UniqueHandle<> handle(CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || !FlushFileBuffers(handle.Get())) return false;
  }
  // A reader that has the target open without delete sharing (a virus
  // scanner, an editor, a search indexer) blocks the replacement for a
  // moment; wait a little for it before giving up.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if (attempt >= 40 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                          error != ERROR_LOCK_VIOLATION)) {
      SetLastError(error);
      return false;
    }
    Sleep(25);
  }
}

}  // namespace Detail
}  // namespace Orvex

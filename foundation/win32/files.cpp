#include "foundation/files.h"

#include <fcntl.h>
#include <io.h>

#include <memory>
#include <utility>

#include "foundation/encoding.h"
#include "foundation/win32/system_path.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

// Closes without a system dialog, not even for a removed disk.
struct QuietCloser {
  void operator()(HANDLE handle) const {
    const UINT previous =
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    CloseHandle(handle);
    SetErrorMode(previous);
  }
};

HANDLE OpenHandle(const SharedString& name, int mode, int hint) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode == 1) {
    access = GENERIC_READ | GENERIC_WRITE;
    share = 0;
    disposition = CREATE_ALWAYS;
  } else if (mode != 0) {
    share = FILE_SHARE_READ | FILE_SHARE_WRITE | (IsNtPlatform() ? FILE_SHARE_DELETE : 0);
  }
  const DWORD flags = hint == 0   ? FILE_ATTRIBUTE_NORMAL
                      : hint == 1 ? FILE_FLAG_SEQUENTIAL_SCAN
                                  : FILE_FLAG_RANDOM_ACCESS;
  if (IsNtPlatform()) {
    return CreateFileW(Detail::ToSystemPath(name).c_str(), access, share, nullptr, disposition,
                       flags, nullptr);
  }
  const std::string narrow = GetDefaultEncoding().ToMultiByte(name);
  return CreateFileA(narrow.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

}  // namespace

struct CApiFile::SystemFile {
  UniqueHandle<QuietCloser> handle;

  HANDLE Get() const { return handle.Get(); }
};

CApiFile::CApiFile(const SharedString& name, int mode, int hint) : IFile(name) {
  UniqueHandle<QuietCloser> handle(OpenHandle(name, mode, hint));
  if (!handle) Fail(u" のオープン・作成に失敗");
  file_ = std::make_unique<SystemFile>(SystemFile{std::move(handle)});
}

CApiFile::~CApiFile() = default;

int32_t CApiFile::Seek(int32_t offset, int origin) {
  const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
  const DWORD position = SetFilePointer(file_->Get(), offset, nullptr, method);
  if (position == INVALID_SET_FILE_POINTER) Fail(u" のファイルポインタの設定に失敗");
  return static_cast<int32_t>(position);
}

int32_t CApiFile::Tell() { return Seek(0, 1); }

uint32_t CApiFile::GetSize() {
  const DWORD size = GetFileSize(file_->Get(), nullptr);
  if (size == INVALID_FILE_SIZE) Fail(u" のファイルサイズの取得に失敗");
  return size;
}

void CApiFile::Read(void* buffer, int count) {
  if (count == 0) return;
  DWORD read = 0;
  if (count < 0 || !ReadFile(file_->Get(), buffer, static_cast<DWORD>(count), &read, nullptr)) {
    Fail(u" からの読み込みに失敗");
  }
}

void CApiFile::Write(const void* buffer, int count) {
  if (count == 0) return;
  DWORD written = 0;
  // A write that stops short has lost data as surely as one that failed.
  if (count < 0 || !WriteFile(file_->Get(), buffer, static_cast<DWORD>(count), &written, nullptr) ||
      written != static_cast<DWORD>(count)) {
    Fail(u" への書き込みに失敗");
  }
}

void CApiFile::Reserve(uint32_t size) {
  // Setting the end of a longer file would cut its data off.
  if (size <= 1024 || GetSize() >= size) return;
  const int32_t position = Tell();
  Seek(static_cast<int32_t>(size), 0);
  SetEndOfFile(file_->Get());  // only a layout hint: a failure shows in the writes
  Seek(position, 0);
}

void CApiFile::Flush() {
  // A handle opened for reading has nothing to flush and is refused.
  if (!FlushFileBuffers(file_->Get()) && GetLastError() != ERROR_ACCESS_DENIED) {
    Fail(u" への書き込みに失敗");
  }
}

namespace Detail {

std::FILE* OpenStream(const SharedString& name, const SharedString& mode) {
  return _wfopen(ToSystemPath(name).c_str(), Wide(mode));
}

std::FILE* OpenRegularStream(const SharedString& name) {
  // The sharing of fopen's "rb": others may go on reading and writing.
  UniqueHandle<> handle(CreateFileW(ToSystemPath(name).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  // A pipe ("\\.\pipe\...") or a device ("NUL", "COM1.jpg") is no
  // picture, and reading one may wait for ever.
  if (!handle) return nullptr;
  if (GetFileType(handle.Get()) != FILE_TYPE_DISK) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_RDONLY | _O_BINARY);
  if (fd < 0) return nullptr;
  handle.Release();  // the descriptor owns it now
  std::FILE* stream = _fdopen(fd, "rb");
  if (!stream) _close(fd);
  return stream;
}

}  // namespace Detail
}  // namespace Orvex

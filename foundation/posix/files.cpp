#include "foundation/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <utility>

#include "foundation/posix/system_path.h"
#include "foundation/posix/unique_fd.h"

namespace Orvex {

struct CApiFile::SystemFile {
  UniqueFd fd;

  int Get() const { return fd.Get(); }
};

CApiFile::CApiFile(const SharedString& name, int mode, int hint) : IFile(name) {
  const std::string path = Detail::ToSystemPath(name);
  const bool write = mode == 1;
  UniqueFd fd(open(path.c_str(), (write ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0666));
  if (!fd) Fail(u" のオープン・作成に失敗");
  // A folder opens here but is no file, as on Windows.
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) Fail(u" のオープン・作成に失敗");
  // The sharing rules of the Windows build as advisory locks: a writer
  // shares the file with nobody, so it excludes every reader and readers
  // exclude it. File systems without locks open the file regardless.
  if (flock(fd.Get(), (write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    Fail(u" のオープン・作成に失敗");
  }
  // Emptied only once the lock is ours, so that a reader never sees it.
  if (write && ftruncate(fd.Get(), 0) != 0) Fail(u" のオープン・作成に失敗");
  posix_fadvise(fd.Get(), 0, 0,
                hint == 0   ? POSIX_FADV_NORMAL
                : hint == 1 ? POSIX_FADV_SEQUENTIAL
                            : POSIX_FADV_RANDOM);
  file_ = std::make_unique<SystemFile>(SystemFile{std::move(fd)});
}

CApiFile::~CApiFile() = default;

int32_t CApiFile::Seek(int32_t offset, int origin) {
  const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  const off_t position = lseek(file_->Get(), offset, whence);
  if (position < 0) Fail(u" のファイルポインタの設定に失敗");
  return static_cast<int32_t>(position);
}

int32_t CApiFile::Tell() { return Seek(0, 1); }

uint32_t CApiFile::GetSize() {
  struct stat st;
  if (fstat(file_->Get(), &st) != 0) Fail(u" のファイルサイズの取得に失敗");
  return static_cast<uint32_t>(st.st_size);
}

void CApiFile::Read(void* buffer, int count) {
  if (count == 0) return;
  if (count < 0) Fail(u" からの読み込みに失敗");
  auto* bytes = static_cast<char*>(buffer);
  for (size_t done = 0; done < static_cast<size_t>(count);) {
    const ssize_t n = read(file_->Get(), bytes + done, static_cast<size_t>(count) - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(u" からの読み込みに失敗");
    if (n == 0) break;  // the end of the file
    done += static_cast<size_t>(n);
  }
}

void CApiFile::Write(const void* buffer, int count) {
  if (count == 0) return;
  if (count < 0) Fail(u" への書き込みに失敗");
  const auto* bytes = static_cast<const char*>(buffer);
  for (size_t done = 0; done < static_cast<size_t>(count);) {
    const ssize_t n = write(file_->Get(), bytes + done, static_cast<size_t>(count) - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(u" への書き込みに失敗");
    done += static_cast<size_t>(n);
  }
}

void CApiFile::Reserve(uint32_t size) {
  if (size <= 1024 || GetSize() >= size) return;
  // Allocated blocks where the file system can, a plain extension where it
  // cannot; the position stays where it is either way.
  const int fd = file_->Get();
  if (posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
    (void)!ftruncate(fd, static_cast<off_t>(size));
  }
}

void CApiFile::Flush() {
  if (fsync(file_->Get()) != 0 && errno != EINVAL) Fail(u" への書き込みに失敗");
}

namespace Detail {

std::FILE* OpenStream(const SharedString& name, const SharedString& mode) {
  // 'e': not inherited by programs we start.
  const std::string narrow_mode = ToUtf8(mode) + "e";
  std::FILE* stream = std::fopen(ToSystemPath(name).c_str(), narrow_mode.c_str());
  // A folder opens for reading here but is no file, as on Windows; its
  // "size" would be anything up to the largest offset.
  struct stat st;
  if (stream && (fstat(fileno(stream), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

std::FILE* OpenRegularStream(const SharedString& name) {
  const std::string path = ToSystemPath(name);
  // Opening a pipe for reading waits for a writer, and opening a device may
  // do anything, so neither is opened at all. Should the name change into
  // one between the look and the open, O_NONBLOCK keeps the open from
  // waiting, and the descriptor's own type decides.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return nullptr;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) return nullptr;
  if (fstat(fd.Get(), &st) != 0) return nullptr;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  // A regular file never makes a read wait; the stream gets an ordinary
  // descriptor all the same.
  const int flags = fcntl(fd.Get(), F_GETFL);
  if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  std::FILE* stream = fdopen(fd.Get(), "rb");
  if (stream) fd.Release();
  return stream;
}

}  // namespace Detail
}  // namespace Orvex

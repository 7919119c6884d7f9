#include "foundation/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/file_system_primitives.h"
#include "foundation/posix/system_path.h"
#include "foundation/posix/unique_fd.h"

extern char** environ;

namespace Orvex {
namespace {

// The value of an environment variable, nullptr if it is not set. Names are
// matched exactly first; stored settings written on Windows spell them in
// any case (%Home%), so a case-insensitive match serves next.
const char* FindEnvironmentValue(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return nullptr;
  if (const char* value = std::getenv(name.c_str())) return value;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (!equals || static_cast<size_t>(equals - *entry) != name.size()) continue;
    if (strncasecmp(*entry, name.c_str(), name.size()) == 0) return equals + 1;
  }
  return nullptr;
}

std::string ReadLink(const char* path) {
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t n = readlink(path, buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return buffer.substr(0, static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

namespace {

// Set once at the start, before any other thread runs.
SharedString g_program_path;

}  // namespace

void ActOnBehalfOf(const SharedString& path) { g_program_path = path; }

SharedString GetExecutablePath() {
  if (!g_program_path.IsEmpty()) return g_program_path;
  std::string path = ReadLink("/proc/self/exe");
  if (path.empty()) throw Win32Exception(u"実行ファイルのファイル名の取得に失敗");
  return Detail::FromSystemPath(path);
}

SharedString ExpandEnvironment(const SharedString& p) {
  // The rules of the Windows expansion: %NAME% is replaced when NAME is set
  // and copied as written otherwise; a '%' without a closing one is text.
  const std::u16string& text = p.Str();
  std::u16string result;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      result.push_back(text[i++]);
      continue;
    }
    size_t close = text.find(u'%', i + 1);
    if (close == std::u16string::npos) {
      result.append(text, i, std::u16string::npos);
      break;
    }
    const std::string name = ToUtf8(SharedString(text.substr(i + 1, close - i - 1)));
    if (const char* value = FindEnvironmentValue(name)) {
      result += FromUtf8(value).Str();
    } else {
      result.append(text, i, close - i + 1);
    }
    i = close + 1;
  }
  return SharedString(std::move(result));
}

uint32_t GetAttributes(const SharedString& p) {
  const std::string path = Detail::ToSystemPath(p);
  struct stat own;
  if (lstat(path.c_str(), &own) != 0) return kInvalidFileAttributes;
  uint32_t attributes = 0;
  struct stat target = own;
  if (S_ISLNK(own.st_mode)) {
    attributes |= kFileAttributeReparsePoint;
    // A dangling link is still an entry of its folder.
    if (stat(path.c_str(), &target) != 0) target = own;
  }
  if (S_ISDIR(target.st_mode))
    attributes |= kFileAttributeDirectory;
  else if (!S_ISREG(target.st_mode))
    attributes |= kFileAttributeDevice;
  if ((target.st_mode & S_IWUSR) == 0) attributes |= kFileAttributeReadOnly;
  return attributes == 0 ? kFileAttributeNormal : attributes;
}

void SetAttributes(const SharedString& p, uint32_t attributes) {
  const std::string path = Detail::ToSystemPath(p);
  struct stat st;
  // chmod would change what a link points to, not the link.
  if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kFileAttributeReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
    // A folder is of no use without being able to enter it.
    if (S_ISDIR(st.st_mode)) mode |= S_IRUSR | S_IXUSR;
  }
  if (mode != (st.st_mode & 07777)) chmod(path.c_str(), mode);
}

SharedString GetCurrentDirectory() {
  std::string buffer(256, '\0');
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) throw Win32Exception(u"カレントディレクトリの取得に失敗");
    buffer.resize(buffer.size() * 2);
  }
  return Detail::FromSystemPath(buffer.c_str());
}

void SetCurrentDirectory(const SharedString& p) {
  if (chdir(Detail::ToSystemPath(p).c_str()) != 0) {
    throw Win32Exception(p + u" をカレントディレクトリにできませんでした");
  }
}

namespace Detail {

DirectoryListing ReadDirectory(const SharedString& directory_part) {
  const std::string path = directory_part.IsEmpty() ? "." : ToSystemPath(directory_part);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
  if (!dir) throw Win32Exception(directory_part + u"* の検索に失敗");
  DirectoryListing listing;
  struct stat own;
  if (fstat(dirfd(dir.get()), &own) == 0) {
    listing.identity = std::to_string(own.st_dev) + ":" + std::to_string(own.st_ino);
  }
  while (const dirent* entry = readdir(dir.get())) {
    bool is_directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // Links to folders are listed as the folders they stand for.
      struct stat st;
      is_directory = fstatat(dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    listing.entries.push_back({FromSystemPath(entry->d_name), is_directory});
  }
  return listing;
}

bool CreateOneDirectory(const SharedString& p) { return mkdir(ToSystemPath(p).c_str(), 0777) == 0; }

bool CopyOneFile(const SharedString& src, const SharedString& dst, bool fail_if_exists) {
  const UniqueFd in(open(ToSystemPath(src).c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return false;
  struct stat st;
  if (fstat(in.Get(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  struct stat existing;
  if (stat(ToSystemPath(dst).c_str(), &existing) == 0 && existing.st_dev == st.st_dev &&
      existing.st_ino == st.st_ino) {
    // Opening the target would truncate the source.
    errno = fail_if_exists ? EEXIST : EINVAL;
    return false;
  }
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (fail_if_exists ? O_EXCL : 0);
  UniqueFd out(open(ToSystemPath(dst).c_str(), flags, st.st_mode & 0777));
  if (!out) return false;
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(in.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = write(out.Get(), buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
    if (!ok) break;
  }
  int error = errno;
  if (!out.Close() && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    // A half-written copy is worse than none.
    unlink(ToSystemPath(dst).c_str());
    errno = error;
  }
  return ok;
}

bool DeleteOneFile(const SharedString& p) {
  const std::string path = ToSystemPath(p);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  // As on Windows, a read-only file stays unless the caller forces it.
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
    errno = EACCES;
    return false;
  }
  return unlink(path.c_str()) == 0;
}

bool RemoveOneDirectory(const SharedString& p) {
  const std::string path = ToSystemPath(p);
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return unlink(path.c_str()) == 0;
  return rmdir(path.c_str()) == 0;
}

bool CommitReplacement(const SharedString& source, const SharedString& target) {
  const std::string from = ToSystemPath(source);
  const std::string to = ToSystemPath(target);
  {
    const UniqueFd fd(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    // The settings keep their owner and who may read them.
    struct stat existing;
    if (stat(to.c_str(), &existing) == 0) {
      (void)!fchown(fd.Get(), existing.st_uid, existing.st_gid);
      fchmod(fd.Get(), existing.st_mode & 07777);
    }
    if (fsync(fd.Get()) != 0 && errno != EINVAL) return false;
  }
  if (rename(from.c_str(), to.c_str()) != 0) return false;
  // The new name lives in the folder: flush that too, or a crash may bring
  // back the old file after we reported the new one.
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  const UniqueFd folder_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd) fsync(folder_fd.Get());
  return true;
}

}  // namespace Detail
}  // namespace Orvex

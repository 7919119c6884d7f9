#include "app/linux/alternating_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/unique_fd.h"

namespace {

Orvex::SharedString Widen(const std::string& text) {
  return Orvex::GetDefaultEncoding().ToWide(text);
}

[[noreturn]] void Fail(const std::string& path) {
  throw Orvex::Win32Exception(u"壁紙ファイルを用意できません : " + Widen(path));
}

// The time of the last change, or nothing when there is no such file.
std::optional<timespec> ChangeTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return info.st_mtim;
}

bool Older(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

void CopyBytes(const std::string& from, const std::string& to) {
  Orvex::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) Fail(from);
  Orvex::UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out) Fail(to);
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in.Get(), buffer, sizeof(buffer));
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(from);
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out.Get(), buffer + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        Fail(to);
      }
      done += put;
    }
  }
  if (::fsync(out.Get()) != 0 || !out.Close()) Fail(to);
}

}  // namespace

std::pair<std::string, std::string> AlternateNames(const std::string& written) {
  const size_t slash = written.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = written.rfind('.');
  if (dot == std::string::npos || dot <= name_start) dot = written.size();
  const std::string stem = written.substr(0, dot);
  const std::string extension = written.substr(dot);
  return {stem + "-a" + extension, stem + "-b" + extension};
}

std::string PublishUnderFreshName(const std::string& written) {
  const auto [first, second] = AlternateNames(written);
  const std::optional<timespec> first_time = ChangeTime(first);
  const std::optional<timespec> second_time = ChangeTime(second);
  std::string target = first;
  if (first_time && (!second_time || Older(*second_time, *first_time))) target = second;

  // Built beside the target and renamed onto it, so that the name never
  // holds a partial picture.
  const std::string staging = target + ".new";
  ::unlink(staging.c_str());
  if (::link(written.c_str(), staging.c_str()) != 0) CopyBytes(written, staging);
  if (::rename(staging.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(staging.c_str());
    errno = error;
    Fail(target);
  }
  return target;
}

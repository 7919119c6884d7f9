#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace Orvex {

// The one owner of a file descriptor: closes it when it goes, hands it on
// when moved, and closes the one it holds before taking another. -1 is none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  explicit operator bool() const { return IsValid(); }

  // The descriptor, no longer owned.
  int Release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd. errno stays as it
  // was, so that a failure can be reported after the cleanup; Close tells
  // where the outcome of close matters.
  void Reset(int fd = -1) {
    const int old = std::exchange(fd_, fd);
    if (old < 0) return;
    const int error = errno;
    ::close(old);
    errno = error;
  }
  // Closes the descriptor; false when close reported an error (for a file
  // written to, data that may not have reached the disk).
  bool Close() {
    const int old = Release();
    return old < 0 || ::close(old) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace Orvex

#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace Orvex::Testing {

// For tests: while it lives, every file this process writes stops at
// `bytes`, and a write past that fails with EFBIG instead of ending the
// process by SIGXFSZ. The way to make a save run out of room halfway.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous_action_);
    getrlimit(RLIMIT_FSIZE, &previous_limit_);
    rlimit small = previous_limit_;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_limit_);
    sigaction(SIGXFSZ, &previous_action_, nullptr);
  }

 private:
  struct sigaction previous_action_ {};
  rlimit previous_limit_{};
};

}  // namespace Orvex::Testing

#include "foundation/posix/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/unique_fd.h"

extern char** environ;

namespace Orvex {

namespace {

using Clock = std::chrono::steady_clock;

// How much of a failing command's output an error message quotes.
constexpr size_t kQuotedOutput = 200;

SharedString Widen(const std::string& text) { return GetDefaultEncoding().ToWide(text); }

std::vector<char*> ArgumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Spawn attributes and file actions, freed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
    // The child starts with default signal handling and nothing blocked,
    // whatever this program (or a toolkit in it) has changed.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    flags_ = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    posix_spawnattr_setflags(&attributes_, flags_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }

  void NewSession() {
    flags_ |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes_, flags_);
  }
  void OpenNull(int fd, int mode) {
    posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", mode, 0);
  }
  void Dup(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }

  pid_t Spawn(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) {
      throw RuntimeException(u"コマンドを実行できません : コマンドが空です");
    }
    std::vector<char*> pointers = ArgumentPointers(argv);
    pid_t pid = 0;
    const int error =
        posix_spawnp(&pid, pointers[0], &actions_, &attributes_, pointers.data(), environ);
    if (error != 0) {
      throw RuntimeException(u"コマンドを実行できません : " + Widen(argv.front()) + u" : " +
                             Widen(std::strerror(error)));
    }
    return pid;
  }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  short flags_ = 0;
};

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

// Reads what is there without waiting; false at the end of the stream.
bool Drain(int fd, std::string& output, size_t limit) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got > 0) {
      const size_t room = limit - std::min(limit, output.size());
      output.append(buffer, std::min(room, static_cast<size_t>(got)));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const CommandLimits& limits) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw Win32Exception(u"コマンドを実行できません : " + Widen(argv.empty() ? "" : argv[0]));
  }
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  ::fcntl(read_end.Get(), F_SETFL, O_NONBLOCK);

  SpawnSetup setup;
  setup.OpenNull(STDIN_FILENO, O_RDONLY);
  setup.Dup(write_end.Get(), STDOUT_FILENO);
  setup.Dup(write_end.Get(), STDERR_FILENO);
  const pid_t pid = setup.Spawn(argv);
  write_end.Reset();

  const Clock::time_point deadline = Clock::now() + limits.time;
  CommandResult result;
  bool open = true;
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended < 0) {
      // Somebody else in the process reaped it (a handler for every child):
      // how it ended is lost, and success must not be assumed.
      throw Win32Exception(u"コマンドの終了状態を取得できません : " + Widen(argv.front()));
    }
    if (ended == pid) {
      // Whatever it wrote before it ended is in the pipe already; a child of
      // its own that still holds the pipe must not keep us here.
      if (open) Drain(read_end.Get(), result.output, limits.output_bytes);
      result.exit_code = DecodeStatus(status);
      return result;
    }
    if (Clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      throw RuntimeException(u"コマンドが時間内に終わりません : " + Widen(argv.front()));
    }
    if (open) {
      pollfd watch{read_end.Get(), POLLIN, 0};
      ::poll(&watch, 1, 20);
      open = Drain(read_end.Get(), result.output, limits.output_bytes);
    } else {
      ::usleep(5000);
    }
  }
}

std::string RunCommandChecked(const std::vector<std::string>& argv, const CommandLimits& limits) {
  CommandResult result = RunCommand(argv, limits);
  if (result.exit_code != 0) {
    std::string quoted = result.output.substr(0, kQuotedOutput);
    while (!quoted.empty() && (quoted.back() == '\n' || quoted.back() == ' ')) quoted.pop_back();
    SharedString text =
        SharedString::Format(u"コマンドが失敗しました (終了コード %d) : ", result.exit_code) +
        Widen(argv.front());
    if (!quoted.empty()) text = text + u" : " + Widen(quoted);
    throw RuntimeException(text);
  }
  return std::move(result.output);
}

pid_t StartDetached(const std::vector<std::string>& argv) {
  SpawnSetup setup;
  setup.NewSession();
  setup.OpenNull(STDIN_FILENO, O_RDONLY);
  setup.OpenNull(STDOUT_FILENO, O_WRONLY);
  setup.OpenNull(STDERR_FILENO, O_WRONLY);
  return setup.Spawn(argv);
}

bool IsProgramAvailable(const std::string& name) {
  if (name.empty()) return false;
  const auto executable = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (name.find('/') != std::string::npos) return executable(name);
  const char* path = std::getenv("PATH");
  const std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    std::string candidate;
    if (end == start) {
      candidate.push_back('.');
    } else {
      candidate.append(folders.data() + start, end - start);
    }
    candidate.push_back('/');
    candidate.append(name);
    if (executable(candidate)) return true;
    if (end == folders.size()) return false;
    start = end + 1;
  }
}

}  // namespace Orvex

#include "foundation/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/command_line.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"

extern char** environ;

namespace Orvex {
namespace {

SharedString Unquoted(const SharedString& file) {
  SharedString trimmed = file.Trim();
  if (trimmed.Length() >= 2 && trimmed.StartsWith(u"\"") && trimmed.EndsWith(u"\"")) {
    return trimmed.Substring(1, trimmed.Length() - 2);
  }
  return trimmed;
}

bool IsProgramFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

pid_t Spawn(const std::vector<std::string>& arguments, const SharedString& folder) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string folder_bytes = GetDefaultEncoding().ToMultiByte(folder);
  if (!folder.IsEmpty()) posix_spawn_file_actions_addchdir_np(&actions, folder_bytes.c_str());
  pid_t pid = 0;
  int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    errno = result;
    throw Win32Exception(u"プロセスの作成に失敗");
  }
  return pid;
}

}  // namespace

struct Process::SystemProcess {
  pid_t pid;
};

Process::Process(const ProcessStartInfo& info) : info_(info) {}

Process::~Process() { Close(); }

void Process::Close() {
  if (process_ && !exit_code_) {
    // A child that is never waited for stays behind as a zombie until we
    // exit; someone has to collect it.
    pid_t pid = process_->pid;
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
      std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    }
  }
  process_.reset();
  exit_code_.reset();
}

bool Process::Start() {
  Close();
  const Encoding& encoding = GetDefaultEncoding();
  std::vector<std::string> arguments;
  const std::string file = encoding.ToMultiByte(Unquoted(info_.file));
  if (!info_.use_shell || IsProgramFile(file)) {
    // Run the program itself, with its parameters split as our own command
    // line is.
    arguments.push_back(file);
    for (const SharedString& parameter : SplitCommandLine(info_.parameters)) {
      arguments.push_back(encoding.ToMultiByte(parameter));
    }
  } else {
    // Documents, folders and addresses go to the desktop's opener.
    arguments = {"xdg-open", file};
  }
  process_ = std::make_unique<SystemProcess>(SystemProcess{Spawn(arguments, info_.working_folder)});
  return true;
}

bool Process::WaitForExit(int timeout_ms) {
  if (!process_ || exit_code_) return true;
  const pid_t pid = process_->pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t result = waitpid(pid, &status, timeout_ms < 0 ? 0 : WNOHANG);
    if (result == pid) {
      exit_code_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
      return true;
    }
    if (result < 0 && errno != EINTR) {
      // Collected elsewhere; its code is lost.
      exit_code_ = -1;
      return true;
    }
    if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    if (result == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::optional<int> Process::ExitCode() {
  if (!process_ || !WaitForExit(0)) return std::nullopt;
  return exit_code_;
}

void Process::Kill() {
  if (process_ && !exit_code_) kill(process_->pid, SIGKILL);
}

}  // namespace Orvex

#pragma once

#include <memory>
#include <optional>

#include "foundation/shared_string.h"

namespace Orvex {

struct ProcessStartInfo {
  SharedString file;
  SharedString parameters;
  SharedString verb;            // the shell's action ("open", "edit", ...); empty for its default
  SharedString working_folder;  // empty: the current folder
  // true: hand the file to the desktop shell, which opens documents, folders
  // and addresses with their programs; false: run the file as a program.
  bool use_shell = true;
  bool no_window = false;  // a console program started without a console window (Windows)
  bool has_owner = false;
  void* owner = nullptr;  // window that owns any dialog the shell shows
  int show_command = 1;   // SW_SHOWNORMAL
};

// A started program. Handed out by shared ownership; the handle is closed
// when the last holder lets go (the program itself keeps running).
class Process {
 public:
  explicit Process(const ProcessStartInfo& info);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  // Starts the program anew (a handle held from an earlier start is let go
  // first). False when the shell handed the document to a program that was
  // already running, so there is no process to hold. Throws Win32Exception.
  bool Start();

  const ProcessStartInfo& StartInfo() const { return info_; }
  bool HasHandle() const { return process_ != nullptr; }

  // Waits at most timeout_ms milliseconds (negative: no limit); true when
  // the process has ended. True at once when there is no process.
  bool WaitForExit(int timeout_ms);
  // The exit code once the process has ended (a process ended by a signal
  // gives 128 + the signal number).
  std::optional<int> ExitCode();
  // Ends the process at once, as if it had crashed.
  void Kill();

 private:
  void Close();

  ProcessStartInfo info_;
  // The platform's hold on the started process: its handle on Windows, its
  // id elsewhere.
  struct SystemProcess;
  std::unique_ptr<SystemProcess> process_;
  std::optional<int> exit_code_;
};

// Starts a process from the info; empty when no process was obtained.
std::shared_ptr<Process> StartProcess(const ProcessStartInfo& info);

namespace Detail {
// The command line that runs file with parameters: the file trimmed and put
// in double quotes unless it is quoted already, then a space and the
// parameters when there are any.
SharedString BuildCommandLine(const SharedString& file, const SharedString& parameters);
}  // namespace Detail

}  // namespace Orvex

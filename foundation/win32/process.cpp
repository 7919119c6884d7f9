#include "foundation/process.h"

#include <memory>
#include <utility>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <shellapi.h>
// clang-format on

namespace Orvex {
namespace {

const wchar_t* OrNull(const SharedString& text) { return text.IsEmpty() ? nullptr : Wide(text); }

}  // namespace

struct Process::SystemProcess {
  UniqueHandle<> handle;

  HANDLE Get() const { return handle.Get(); }
};

Process::Process(const ProcessStartInfo& info) : info_(info) {}

Process::~Process() = default;

void Process::Close() {
  process_.reset();
  exit_code_.reset();
}

bool Process::Start() {
  Close();
  if (info_.use_shell) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
    // Without a window to own them, the shell's own error dialogs would
    // appear from nowhere.
    if (!info_.has_owner) execute.fMask |= SEE_MASK_FLAG_NO_UI;
    if (info_.has_owner) execute.hwnd = static_cast<HWND>(info_.owner);
    execute.lpVerb = OrNull(info_.verb);
    execute.lpFile = Wide(info_.file);
    execute.lpParameters = OrNull(info_.parameters);
    execute.lpDirectory = OrNull(info_.working_folder);
    execute.nShow = info_.show_command;
    if (!ShellExecuteExW(&execute)) throw Win32Exception(u"プロセスの作成に失敗");
    UniqueHandle<> process(execute.hProcess);
    if (!process) return false;
    process_ = std::make_unique<SystemProcess>(SystemProcess{std::move(process)});
    return true;
  }

  SharedString folder = info_.working_folder;
  if (folder.IsEmpty()) {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(n + 1);
    n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    folder = FromWide(buffer.data(), n);
  }
  SharedString command = Detail::BuildCommandLine(info_.file, info_.parameters);
  // CreateProcessW may write into the command line.
  std::vector<wchar_t> command_buffer(Wide(command), Wide(command) + command.Length() + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created = {};
  if (!CreateProcessW(nullptr, command_buffer.data(), nullptr, nullptr, TRUE,
                      info_.no_window ? CREATE_NO_WINDOW : 0, nullptr, OrNull(folder), &startup,
                      &created)) {
    throw Win32Exception(u"プロセスの作成に失敗");
  }
  // The process is kept; its first thread is not needed.
  UniqueHandle<> process(created.hProcess);
  UniqueHandle<> thread(created.hThread);
  process_ = std::make_unique<SystemProcess>(SystemProcess{std::move(process)});
  return true;
}

bool Process::WaitForExit(int timeout_ms) {
  if (!process_) return true;
  DWORD result = WaitForSingleObject(process_->Get(),
                                     timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  return result == WAIT_OBJECT_0;
}

std::optional<int> Process::ExitCode() {
  if (!process_ || !WaitForExit(0)) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_->Get(), &code)) return std::nullopt;
  return static_cast<int>(code);
}

void Process::Kill() {
  if (process_) TerminateProcess(process_->Get(), 1);
}

}  // namespace Orvex

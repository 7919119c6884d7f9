#include "foundation/win32/app_frame_base.h"

#include "foundation/error_reporting.h"
#include "foundation/file_system.h"

namespace Orvex {

CAppFrameBase::CAppFrameBase(HINSTANCE instance, HINSTANCE previous_instance,
                             const char* command_line, int show_command)
    : instance_(instance),
      previous_instance_(previous_instance),
      command_line_(command_line),
      show_command_(show_command) {
  (void)previous_instance_;
}

void CAppFrameBase::OnUnhandledError(const std::exception& error) {
  // ShowException drains pending quit requests first, so the box stays.
  ShowException(nullptr, u"エラー発生：終了します", error);
}

int CAppFrameBase::GuardedRun() {
  try {
    return Run();
  } catch (const std::exception& error) {
    OnUnhandledError(error);
    return 1;
  }
}

SharedString CSingleAppFrameBase::InstanceMutexName(const SharedString& executable_path) {
  return executable_path.ReplaceAll(u"\\", u"/");
}

CSingleAppFrameBase::CSingleAppFrameBase(HINSTANCE instance, HINSTANCE previous_instance,
                                         const char* command_line, int show_command)
    : CAppFrameBase(instance, previous_instance, command_line, show_command) {
  // The wide name: a path the ANSI code page cannot spell would otherwise
  // collapse into '?' and meet other programs' names.
  const SharedString name = InstanceMutexName(GetExecutablePath());
  mutex_.Reset(CreateMutexW(nullptr, TRUE, Wide(name)));
  first_instance_ = GetLastError() != ERROR_ALREADY_EXISTS;
}

CSingleAppFrameBase::~CSingleAppFrameBase() {
  // Only the first instance was given the mutex to own.
  if (mutex_ && first_instance_) ReleaseMutex(mutex_.Get());
}

}  // namespace Orvex

#pragma once

#include <exception>

#include "foundation/shared_string.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex {

// What a program's entry point hands on, and the one handler around its
// run: whatever escapes Run() is shown as the fatal box and the exit code is
// still 0.
class CAppFrameBase {
 public:
  CAppFrameBase(HINSTANCE instance, HINSTANCE previous_instance, const char* command_line,
                int show_command);
  CAppFrameBase(const CAppFrameBase&) = delete;
  CAppFrameBase& operator=(const CAppFrameBase&) = delete;
  virtual ~CAppFrameBase() = default;

  // Shows "エラー発生：終了します" with the error's text.
  virtual void OnUnhandledError(const std::exception& error);
  // The exit code.
  virtual int Run() = 0;

  // Run() inside the handler.
  int GuardedRun();

  HINSTANCE Instance() const { return instance_; }
  // The entry point's command line (the text after the program); may be
  // null.
  const char* CommandLine() const { return command_line_; }
  int ShowCommand() const { return show_command_; }

 private:
  HINSTANCE instance_;
  HINSTANCE previous_instance_;  // kept as handed over; never used
  const char* command_line_;
  int show_command_;
};

// A frame that knows whether another process of the same executable (the
// same full path) runs already. The instance mutex is held for the frame's
// life.
class CSingleAppFrameBase : public CAppFrameBase {
 public:
  CSingleAppFrameBase(HINSTANCE instance, HINSTANCE previous_instance, const char* command_line,
                      int show_command);
  ~CSingleAppFrameBase() override;

  bool IsFirstInstance() const { return first_instance_; }

  // The mutex name for an executable path: separators turned into '/',
  // which a mutex name may hold.
  static SharedString InstanceMutexName(const SharedString& executable_path);

 private:
  UniqueHandle<> mutex_;
  bool first_instance_ = true;
};

}  // namespace Orvex

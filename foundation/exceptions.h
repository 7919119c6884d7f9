#pragma once

#include <exception>
#include <memory>
#include <string>

#include "foundation/shared_string.h"

namespace Orvex {

// The root of every failure the program reports. what() is the text shown
// to the user: narrow text in the system encoding, at most 511 bytes. Each
// exception owns its text (copies share it), so an exception caught earlier
// keeps its text whatever is thrown later, on any thread.
class Exception : public std::exception {
 public:
  static constexpr size_t kMaxTextBytes = 511;

  explicit Exception(const SharedString& text);
  const char* what() const noexcept override { return text_->c_str(); }

 protected:
  struct NarrowText {
    std::string bytes;
  };
  explicit Exception(NarrowText text);

 private:
  std::shared_ptr<const std::string> text_;
};

class RuntimeException : public Exception {
 public:
  explicit RuntimeException(const SharedString& text) : Exception(text) {}

 protected:
  explicit RuntimeException(NarrowText text) : Exception(std::move(text)) {}
};

// A failed OS call: the given text, then " : " and the system's text for the
// calling thread's last error (nothing is added while the last error is 0).
// Construct it right after the failing call, before anything can change the
// last error.
class Win32Exception : public RuntimeException {
 public:
  explicit Win32Exception(const SharedString& text);
};

class IOException : public RuntimeException {
 public:
  using RuntimeException::RuntimeException;
};

class ImageLoadException : public RuntimeException {
 public:
  using RuntimeException::RuntimeException;
};

class DllNotFoundException : public Win32Exception {
 public:
  using Win32Exception::Win32Exception;
};

class EntryPointNotFoundException : public Win32Exception {
 public:
  using Win32Exception::Win32Exception;
};

class AccessViolationException : public RuntimeException {
 public:
  AccessViolationException();
};

class FPEException : public RuntimeException {
 public:
  FPEException();
};

class InvalidProgramException : public RuntimeException {
 public:
  InvalidProgramException();
};

class UnexpectedException : public RuntimeException {
 public:
  UnexpectedException();
};

namespace Detail {
// The system's text for the calling thread's last error, empty when there
// is none (GetLastError on Windows, errno elsewhere). Reading it does not
// change the last error.
std::string LastSystemErrorText();
// The calling thread's last error code (GetLastError / errno) and a way to
// set it, for code that must keep it across other calls.
int LastSystemError();
void SetLastSystemError(int code);
}  // namespace Detail

}  // namespace Orvex

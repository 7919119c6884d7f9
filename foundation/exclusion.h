#pragma once

#include <memory>

#include "foundation/shared_string.h"

namespace Orvex {

class IExclusion {
 public:
  IExclusion() = default;
  IExclusion(const IExclusion&) = delete;
  IExclusion& operator=(const IExclusion&) = delete;
  virtual ~IExclusion() = default;

  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

namespace Detail {
// What a platform keeps of its own while a CProcessExclusion is held, where
// it keeps anything per holder (the mutex on Windows); letting it go gives
// the lock back.
class ISystemLockHold {
 public:
  virtual ~ISystemLockHold() = default;
};
}  // namespace Detail

// A lock shared by every process of the user that uses the same name. It
// behaves like a named mutex: the thread that holds it may take it again
// (each Lock after the first replaces the previous hold of this object, as
// Lock releases first), other threads and processes wait without a time
// limit, and a holder that dies releases it.
class CProcessExclusion : public IExclusion {
 public:
  // Backslashes become slashes and the name is cut to 259 characters, so
  // that spellings of one path with either separator share one lock.
  explicit CProcessExclusion(const SharedString& name);
  ~CProcessExclusion() override;

  void Lock() override;
  void Unlock() override;

  const SharedString& Name() const { return name_; }
  bool IsHeld() const { return held_; }

 private:
  SharedString name_;
  bool held_ = false;
  std::unique_ptr<Detail::ISystemLockHold> hold_;
};

// Holds a CProcessExclusion of the given name for the life of the guard.
class ProcessExclusionLock {
 public:
  explicit ProcessExclusionLock(const SharedString& name) : exclusion_(name) { exclusion_.Lock(); }
  ProcessExclusionLock(const ProcessExclusionLock&) = delete;
  ProcessExclusionLock& operator=(const ProcessExclusionLock&) = delete;

 private:
  CProcessExclusion exclusion_;
};

namespace Detail {
// The name a CProcessExclusion uses for the given text.
SharedString ExclusionName(const SharedString& name);
}  // namespace Detail

}  // namespace Orvex

#include "foundation/exclusion.h"

#include <memory>
#include <utility>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

// A mutex this thread owns: released, then closed.
class HeldMutex final : public Detail::ISystemLockHold {
 public:
  explicit HeldMutex(UniqueHandle<> mutex) : mutex_(std::move(mutex)) {}
  ~HeldMutex() override { ReleaseMutex(mutex_.Get()); }

 private:
  UniqueHandle<> mutex_;
};

}  // namespace

void CProcessExclusion::Lock() {
  Unlock();
  UniqueHandle<> mutex(
      IsNtPlatform()
          ? CreateMutexW(nullptr, TRUE, Wide(name_))
          : CreateMutexA(nullptr, TRUE, GetDefaultEncoding().ToMultiByte(name_).c_str()));
  // Without a handle there is no lock; going on would let two processes into
  // what the caller guards.
  if (!mutex) throw Win32Exception(u"'" + name_ + u"' の排他制御に失敗");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // An abandoned mutex (its holder died) is ours now, like a free one.
    DWORD result = WaitForSingleObject(mutex.Get(), INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
      throw Win32Exception(u"'" + name_ + u"' の排他制御に失敗");
    }
  }
  hold_ = std::make_unique<HeldMutex>(std::move(mutex));
  held_ = true;
}

void CProcessExclusion::Unlock() {
  if (!held_) return;
  hold_.reset();
  held_ = false;
}

}  // namespace Orvex

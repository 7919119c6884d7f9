#include "foundation/exclusion.h"

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex {

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
  handle_ = reinterpret_cast<std::intptr_t>(mutex.Release());
  held_ = true;
}

void CProcessExclusion::Unlock() {
  if (!held_) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  handle_ = 0;
  held_ = false;
}

}  // namespace Orvex

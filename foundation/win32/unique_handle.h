#pragma once

#include <utility>

#include "foundation/win32/win32.h"

namespace Orvex {

// How a kind of handle is given back to the system. A closer of another
// type than HANDLE names it as Handle.
struct CloseHandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct FindCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};
struct ChangeNotificationCloser {
  void operator()(HANDLE handle) const { FindCloseChangeNotification(handle); }
};
struct IconDestroyer {
  using Handle = HICON;
  void operator()(HICON icon) const { DestroyIcon(icon); }
};

namespace Detail {
template <class Closer>
struct HandleOf {
  using Type = HANDLE;
};
template <class Closer>
requires requires { typename Closer::Handle; }
struct HandleOf<Closer> {
  using Type = typename Closer::Handle;
};
}  // namespace Detail

// The one owner of a Win32 handle: gives it back when it goes, hands it on
// when moved, and gives back the one it holds before taking another. Both
// values the API uses for "no handle" (null and INVALID_HANDLE_VALUE) count
// as none, whichever the call that made it returns on failure.
template <class Closer = CloseHandleCloser>
class UniqueHandle {
 public:
  using Handle = typename Detail::HandleOf<Closer>::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return handle_; }
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return IsValid(); }

  // The handle, no longer owned.
  Handle Release() { return std::exchange(handle_, nullptr); }
  // Gives back the handle held, if any, and takes handle. The last error
  // stays as it was, so that a failure can be reported after the cleanup.
  void Reset(Handle handle = nullptr) {
    const Handle old = std::exchange(handle_, handle);
    if (old == nullptr || old == INVALID_HANDLE_VALUE) return;
    const DWORD error = GetLastError();
    Closer()(old);
    SetLastError(error);
  }

 private:
  Handle handle_ = nullptr;
};

using UniqueIcon = UniqueHandle<IconDestroyer>;

}  // namespace Orvex

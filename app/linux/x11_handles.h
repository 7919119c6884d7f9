#pragma once

#include <X11/Xlib.h>

#include <utility>

// The one owner of a server resource of a connection: frees it when it
// goes, unless it has been handed on (Release), so that no error path can
// leave it behind on the server.
template <typename Handle, int (*kFree)(Display*, Handle)>
class X11Owned {
 public:
  X11Owned(Display* display, Handle handle) : display_(display), handle_(handle) {}
  X11Owned(X11Owned&& other) noexcept
      : display_(other.display_), handle_(std::exchange(other.handle_, Handle{})) {}
  X11Owned& operator=(X11Owned&& other) noexcept {
    Reset();
    display_ = other.display_;
    handle_ = std::exchange(other.handle_, Handle{});
    return *this;
  }
  X11Owned(const X11Owned&) = delete;
  X11Owned& operator=(const X11Owned&) = delete;
  ~X11Owned() { Reset(); }

  Handle Get() const { return handle_; }
  // The resource, no longer owned: it lives on, as long as the server or
  // the connection keeps it.
  Handle Release() { return std::exchange(handle_, Handle{}); }

 private:
  void Reset() {
    if (handle_ != Handle{}) kFree(display_, std::exchange(handle_, Handle{}));
  }

  Display* display_;
  Handle handle_;
};

using X11Pixmap = X11Owned<Pixmap, XFreePixmap>;
using X11Gc = X11Owned<GC, XFreeGC>;

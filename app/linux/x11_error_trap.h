#pragma once

#include <X11/Xlib.h>

// Xlib hands protocol errors to one process-wide handler whose default ends
// the process. While a trap is set, the first error is kept instead and
// turned into an exception by Check. Only one thread talks to the server.
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
  ~X11ErrorTrap();

  // Waits until the server has handled every request so far; throws
  // Orvex::RuntimeException ("what : the server's text") when one of them
  // failed.
  void Check(const char16_t* what);

  // Like Check, but for requests whose failure is expected and harmless.
  bool Clear();

 private:
  static int Record(Display*, XErrorEvent* event);

  static inline XErrorEvent error_{};
  Display* display_;
  XErrorHandler previous_;
};

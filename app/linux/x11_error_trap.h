#pragma once

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/Xlib.h>

// Xlib hands protocol errors to one process-wide handler whose default ends
// the process. While a trap is set, the first error is kept instead and
// turned into an exception by Check. Only one thread talks to the server.
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    error_ = {};
    previous_ = XSetErrorHandler(&Record);
  }
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
  ~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }

  // Waits until the server has handled every request so far; throws
  // Orvex::RuntimeException ("what : the server's text") when one of them
  // failed.
  void Check(const char16_t* what) {
    XSync(display_, False);
    if (error_.error_code == 0) return;
    char text[256] = {};
    XGetErrorText(display_, error_.error_code, text, sizeof(text) - 1);
    error_ = {};
    throw Orvex::RuntimeException(Orvex::SharedString(what) + u" : " +
                                  Orvex::GetDefaultEncoding().ToWide(text));
  }

  // Like Check, but for requests whose failure is expected and harmless.
  bool Clear() {
    XSync(display_, False);
    const bool failed = error_.error_code != 0;
    error_ = {};
    return !failed;
  }

 private:
  static int Record(Display*, XErrorEvent* event) {
    if (error_.error_code == 0) error_ = *event;
    return 0;
  }

  static inline XErrorEvent error_{};
  Display* display_;
  XErrorHandler previous_;
};

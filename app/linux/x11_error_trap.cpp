#include "app/linux/x11_error_trap.h"

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
  XSync(display_, False);
  error_ = {};
  previous_ = XSetErrorHandler(&Record);
}

X11ErrorTrap::~X11ErrorTrap() {
  XSync(display_, False);
  XSetErrorHandler(previous_);
}

void X11ErrorTrap::Check(const char16_t* what) {
  XSync(display_, False);
  if (error_.error_code == 0) return;
  char text[256] = {};
  XGetErrorText(display_, error_.error_code, text, sizeof(text) - 1);
  error_ = {};
  throw Orvex::RuntimeException(Orvex::SharedString(what) + u" : " +
                                Orvex::GetDefaultEncoding().ToWide(text));
}

bool X11ErrorTrap::Clear() {
  XSync(display_, False);
  const bool failed = error_.error_code != 0;
  error_ = {};
  return !failed;
}

int X11ErrorTrap::Record(Display*, XErrorEvent* event) {
  if (error_.error_code == 0) error_ = *event;
  return 0;
}

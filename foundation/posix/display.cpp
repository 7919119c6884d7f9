#include "foundation/display.h"

#include <dlfcn.h>

namespace Orvex {
namespace {

// libX11 is loaded when first asked for, so that the program needs no X
// libraries to start and works without a display. It stays loaded: the
// library keeps process-wide state that unloading would leave dangling.
struct XLibrary {
  using OpenDisplay = void*(const char*);
  using CloseDisplay = int(void*);
  using DefaultScreen = int(void*);
  using ScreenValue = int(void*, int);

  void* module = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  OpenDisplay* open =
      module ? reinterpret_cast<OpenDisplay*>(dlsym(module, "XOpenDisplay")) : nullptr;
  CloseDisplay* close =
      module ? reinterpret_cast<CloseDisplay*>(dlsym(module, "XCloseDisplay")) : nullptr;
  DefaultScreen* screen =
      module ? reinterpret_cast<DefaultScreen*>(dlsym(module, "XDefaultScreen")) : nullptr;
  ScreenValue* width =
      module ? reinterpret_cast<ScreenValue*>(dlsym(module, "XDisplayWidth")) : nullptr;
  ScreenValue* height =
      module ? reinterpret_cast<ScreenValue*>(dlsym(module, "XDisplayHeight")) : nullptr;
  ScreenValue* depth =
      module ? reinterpret_cast<ScreenValue*>(dlsym(module, "XDefaultDepth")) : nullptr;

  bool Complete() const { return open && close && screen && width && height && depth; }
};

}  // namespace

DisplayMode GetDisplayMode() {
  static const XLibrary& x = *new XLibrary;
  if (!x.Complete()) return {};
  void* display = x.open(nullptr);
  if (!display) return {};
  const int screen = x.screen(display);
  DisplayMode mode{x.width(display, screen), x.height(display, screen), x.depth(display, screen),
                   0};
  x.close(display);
  if (mode.width <= 0 || mode.height <= 0) return {};
  return mode;
}

}  // namespace Orvex

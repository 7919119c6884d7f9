#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>

// For tests: what the screen shows at (x, y) of the root window, as
// 0xRRGGBB whatever the visual; 0xDEADBEEF when it cannot be read.
inline uint32_t ScreenPixel(Display* display, int x, int y) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xDEADBEEF;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  XColor color{};
  color.pixel = pixel;
  XQueryColor(display, DefaultColormap(display, DefaultScreen(display)), &color);
  return ((color.red >> 8) << 16) | ((color.green >> 8) << 8) | (color.blue >> 8);
}

#include "app/linux/x11_root_property.h"

#include <X11/Xatom.h>

#include <cstring>

std::optional<Pixmap> ReadPixmapProperty(Display* display, Window root, const char* name) {
  const Atom atom = XInternAtom(display, name, True);
  if (atom == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::optional<Pixmap> pixmap;
  if (XGetWindowProperty(display, root, atom, 0, 1, False, XA_PIXMAP, &type, &format, &items,
                         &after, &data) == Success &&
      data && type == XA_PIXMAP && format == 32 && items == 1) {
    // Format-32 property data arrive as an array of long.
    unsigned long value = 0;
    std::memcpy(&value, data, sizeof(value));
    pixmap = static_cast<Pixmap>(value);
  }
  if (data) XFree(data);
  return pixmap;
}

bool PixmapExists(Display* display, Pixmap pixmap) {
  // Only the answer counts; the geometry is not wanted.
  Window root = None;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  return XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth) != 0;
}

#include "app/linux/x11_monitors.h"

#include <X11/extensions/Xrandr.h>

#include "foundation/encoding.h"

MonitorList ReadRandrMonitors(Display* display) {
  int event_base = 0;
  int error_base = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &event_base, &error_base) ||
      !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
    return {};
  }
  int count = 0;
  XRRMonitorInfo* listed = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
  if (!listed) return {};
  MonitorList monitors;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& info = listed[i];
    if (info.width <= 0 || info.height <= 0) continue;
    Monitor monitor;
    monitor.rect = {info.x, info.y, info.x + info.width, info.y + info.height};
    monitor.primary = info.primary != 0;
    if (char* name = info.name != None ? XGetAtomName(display, info.name) : nullptr) {
      monitor.name = Orvex::GetDefaultEncoding().ToWide(name);
      XFree(name);
    }
    monitors.push_back(std::move(monitor));
  }
  XRRFreeMonitors(listed);
  return monitors;
}

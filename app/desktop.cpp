#include "app/desktop.h"

MonitorList IDesktop::GetMonitors() {
  const std::optional<Orvex::PlaneSize> size = GetScreenSize();
  if (!size || size->width <= 0 || size->height <= 0) return {};
  Monitor monitor;
  monitor.rect = Orvex::PlaneRect{0, 0, size->width, size->height};
  monitor.primary = true;
  return {monitor};
}

void IDesktop::SetComposedWallpaper(const ComposedWallpaper& wallpaper) {
  SetWallpaper(wallpaper.path, wallpaper.pixels);
}

#include "app/linux/wallpaper_backend.h"

std::unique_ptr<WallpaperBackend> MakeWallpaperBackend(const std::string& name) {
  if (name == "gnome") return MakeGnomeWallpaper();
  if (name == "kde") return MakePlasmaWallpaper();
  if (name == "xfce") return MakeXfceWallpaper();
  if (name == "cinnamon") return MakeCinnamonWallpaper();
  if (name == "mate") return MakeMateWallpaper();
  if (name == "lxqt") return MakeLxqtWallpaper();
  if (name == "sway") return MakeSwayWallpaper();
  if (name == "hyprland") return MakeHyprlandWallpaper();
  if (name == "wlroots") return MakeSwaybgWallpaper();
  if (name == "x11") return MakeX11Wallpaper();
  return nullptr;
}

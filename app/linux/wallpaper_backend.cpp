#include "app/linux/wallpaper_backend.h"

#include <array>

#include "app/desktop.h"

namespace {

// A backend a user may choose by its name.
struct WallpaperBackendChoice {
  const char* name;
  std::unique_ptr<WallpaperBackend> (*make)();
};

// In the order of the list the settings document.
constexpr std::array<WallpaperBackendChoice, 10> kChoices = {{
    {"gnome", MakeGnomeWallpaper},
    {"kde", MakePlasmaWallpaper},
    {"xfce", MakeXfceWallpaper},
    {"cinnamon", MakeCinnamonWallpaper},
    {"mate", MakeMateWallpaper},
    {"lxqt", MakeLxqtWallpaper},
    {"sway", MakeSwayWallpaper},
    {"hyprland", MakeHyprlandWallpaper},
    {"wlroots", MakeSwaybgWallpaper},
    {"x11", MakeX11Wallpaper},
}};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeWallpaperBackend(const std::string& name) {
  for (const WallpaperBackendChoice& choice : kChoices) {
    if (name == choice.name) return choice.make();
  }
  return nullptr;
}

std::string WallpaperBackendNameList() {
  std::string list;
  for (const WallpaperBackendChoice& choice : kChoices) {
    if (!list.empty()) list += ", ";
    list += choice.name;
  }
  return list;
}

void WallpaperBackend::ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) {
  Show(file, wallpaper.pixels);
}

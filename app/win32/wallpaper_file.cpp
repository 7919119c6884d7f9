#include "app/config_store.h"

// The system's own wallpaper folder, which every Windows has.
Orvex::SharedString DefaultWallpaperFile() { return u"%windir%/Web/Wallpaper/Pelmora.bmp"; }

// The system itself knows how to show a wallpaper: nothing to choose.
void SetPlatformDefaults(ConfigStore&) {}

#include "app/config_store.h"

// The system's own wallpaper folder, which every Windows has.
Orvex::SharedString DefaultWallpaperFile() { return u"%windir%/Web/Wallpaper/Pelmora.bmp"; }

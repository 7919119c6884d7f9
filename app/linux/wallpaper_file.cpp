#include "app/config_store.h"

// A per-user cache file: the program may live where the user cannot write.
Orvex::SharedString DefaultWallpaperFile() { return u"%HOME%/.cache/Pelmora.bmp"; }

// WallpaperBackend: empty to detect the desktop; a backend's name, or a
// command with %f where the file name goes.
void SetPlatformDefaults(ConfigStore& store) { store.SetString(u"WallpaperBackend", u""); }

#include "app/config_keys.h"
#include "app/config_store.h"
#include "app/linux/user_paths.h"

// The user's data folder, also for a portable copy: the desktop reads the
// wallpaper from there while the program runs, wherever the program lives.
Orvex::SharedString DefaultWallpaperFile() {
  return CurrentUserPaths().data_folder + u"Pelmora.bmp";
}

// WallpaperBackend: empty to detect the desktop; a backend's name, or a
// command with %f where the file name goes.
void SetPlatformDefaults(ConfigStore& store) {
  store.SetString(config_key::kWallpaperBackend, u"");
}

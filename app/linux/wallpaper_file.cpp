#include "app/config_store.h"

// A per-user cache file: the program may live where the user cannot write.
Orvex::SharedString DefaultWallpaperFile() { return u"%HOME%/.cache/Pelmora.bmp"; }

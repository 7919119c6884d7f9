#include "app/one_shot.h"

#include "app/start_up.h"

void RunOneShot(IDesktop& desktop, Orvex::LoaderRegistry& loaders,
                const WallpaperCycle::StoreFactory& store_factory) {
  const ConfigStore store = RegisterLoadersFromSettings(loaders, store_factory);
  WallpaperCycle cycle(desktop, loaders, store_factory);
  cycle.ChangeWallpaper(store);
}

#include "app/one_shot.h"

#include <utility>

#include "app/start_up.h"

void RunOneShot(IDesktop& desktop, Orvex::LoaderRegistry& loaders,
                const WallpaperCycle::StoreFactory& store_factory, HookLauncher launcher) {
  const ConfigStore store = RegisterLoadersFromSettings(loaders, store_factory);
  ChangeHook hook(std::move(launcher), desktop);
  WallpaperCycle cycle(desktop, loaders, store_factory);
  cycle.SetAfterChange([&hook](const ConfigStore& settings, const Orvex::SharedString& picture) {
    hook.AfterChange(settings, picture);
  });
  cycle.ChangeWallpaper(store);
}

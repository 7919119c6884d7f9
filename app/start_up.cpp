#include "app/start_up.h"

#include "app/config_keys.h"
#include "app/config_store.h"
#include "app/user_paths.h"
#include "codecs/image_loaders.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

SharedString StartUpLockName() { return SettingsLockName(); }

StartRequest ApplyCommandLine(const std::vector<SharedString>& arguments, IDesktop& desktop,
                              const SharedString& lock_name,
                              WallpaperCycle::StoreFactory store_factory) {
  StartRequest request;
  if (arguments.empty()) return request;

  Orvex::ProcessExclusionLock lock(lock_name);
  for (const SharedString& argument : arguments) {
    if (argument == SharedString(u"/suspend")) {
      request.state_switch = true;
      // The file as it is, without defaults: a switch must not invent
      // settings the user never had.
      ConfigStore store = store_factory();
      store.Load();
      if (!store.GetBool(config_key::kSuspend) && store.GetBool(config_key::kRemoveOnSuspend)) {
        desktop.RemoveWallpaper();
      }
      store.SetBool(config_key::kSuspend, true);
      store.Save();
    } else if (argument == SharedString(u"/resume")) {
      request.state_switch = true;
      ConfigStore store = store_factory();
      store.Load();
      store.SetBool(config_key::kSuspend, false);
      store.Save();
    } else if (argument == SharedString(u"/once")) {
      request.once = true;
    }
  }
  return request;
}

ConfigStore RegisterLoadersFromSettings(Orvex::LoaderRegistry& loaders,
                                        const WallpaperCycle::StoreFactory& store_factory) {
  ConfigStore store = store_factory();
  store.LoadWithDefaults();
  Orvex::RegisterImageLoaders(
      loaders, Orvex::MakeAbsoluteToExecutable(store.GetString(config_key::kSpiDir)));
  return store;
}

ResidentCycle::ResidentCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders,
                             ITrayHost& tray, ITrayShell& shell,
                             const WallpaperCycle::StoreFactory& store_factory)
    : cycle(desktop, loaders, store_factory, &tray),
      commands(cycle, desktop, shell, store_factory) {}

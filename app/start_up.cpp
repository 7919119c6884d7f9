#include "app/start_up.h"

#include "app/config_store.h"
#include "app/user_paths.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

SharedString StartUpLockName() { return SettingsLockName(); }

StartRequest ApplyCommandLine(const std::vector<SharedString>& arguments, IDesktop& desktop,
                              const SharedString& lock_name,
                              WallpaperCycle::StoreFactory store_factory) {
  StartRequest request;
  if (arguments.empty()) return request;
  const auto fresh_store = [&] { return store_factory ? store_factory() : ConfigStore(); };

  Orvex::ProcessExclusionLock lock(lock_name);
  for (const SharedString& argument : arguments) {
    if (argument == SharedString(u"/suspend")) {
      request.state_switch = true;
      // The file as it is, without defaults: a switch must not invent
      // settings the user never had.
      ConfigStore store = fresh_store();
      store.Load();
      if (!store.GetBool(u"Suspend") && store.GetBool(u"RemoveOnSuspend")) {
        desktop.RemoveWallpaper();
      }
      store.SetBool(u"Suspend", true);
      store.Save();
    } else if (argument == SharedString(u"/resume")) {
      request.state_switch = true;
      ConfigStore store = fresh_store();
      store.Load();
      store.SetBool(u"Suspend", false);
      store.Save();
    } else if (argument == SharedString(u"/once")) {
      request.once = true;
    }
  }
  return request;
}

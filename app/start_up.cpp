#include "app/start_up.h"

#include <utility>

#include "app/config_keys.h"
#include "app/config_store.h"
#include "app/user_paths.h"
#include "codecs/image_loaders.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

namespace {

struct RequestSwitch {
  const char16_t* word;
  ResidentRequest request;
  const char* message;
  int command;
};

constexpr RequestSwitch kRequestSwitches[] = {
    {u"/next", ResidentRequest::kNext, "notify", kCmdNotify},
    {u"/previous", ResidentRequest::kPrevious, "previous", kCmdPrevious},
    {u"/exclude", ResidentRequest::kExclude, "exclude", kCmdExclude},
    {u"/status", ResidentRequest::kStatus, "status", 0},
};

}  // namespace

SharedString StartUpLockName() { return SettingsLockName(); }

const char* ResidentMessage(ResidentRequest request) {
  for (const RequestSwitch& entry : kRequestSwitches) {
    if (entry.request == request) return entry.message;
  }
  return "notify";
}

ResidentRequest ResidentRequestOfMessage(const std::string& message) {
  for (const RequestSwitch& entry : kRequestSwitches) {
    if (message == entry.message) return entry.request;
  }
  return ResidentRequest::kNone;
}

int ResidentCommandId(ResidentRequest request) {
  for (const RequestSwitch& entry : kRequestSwitches) {
    if (entry.request == request) return entry.command;
  }
  return 0;
}

bool HasStartSwitch(const std::vector<SharedString>& arguments) {
  for (const SharedString& argument : arguments) {
    for (const char16_t* word : {u"/suspend", u"/resume", u"/once"}) {
      if (argument == SharedString(word)) return true;
    }
    for (const RequestSwitch& entry : kRequestSwitches) {
      if (argument == SharedString(entry.word)) return true;
    }
  }
  return false;
}

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
      // settings the user never had. The wallpaper goes by the settings the
      // switch was finally applied to.
      bool remove_wallpaper = false;
      store_factory().Change(ConfigStore::Base::kFile, [&](ConfigStore& store) {
        remove_wallpaper =
            !store.GetBool(config_key::kSuspend) && store.GetBool(config_key::kRemoveOnSuspend);
        store.SetBool(config_key::kSuspend, true);
      });
      if (remove_wallpaper) desktop.RemoveWallpaper();
    } else if (argument == SharedString(u"/resume")) {
      request.state_switch = true;
      store_factory().Change(ConfigStore::Base::kFile, [](ConfigStore& store) {
        store.SetBool(config_key::kSuspend, false);
      });
    } else if (argument == SharedString(u"/once")) {
      request.once = true;
    } else {
      for (const RequestSwitch& entry : kRequestSwitches) {
        if (argument == SharedString(entry.word)) request.resident = entry.request;
      }
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
                             const WallpaperCycle::StoreFactory& store_factory,
                             HookLauncher launcher)
    : hook(std::move(launcher), desktop),
      cycle(desktop, loaders, store_factory, &tray),
      commands(cycle, desktop, shell, store_factory) {
  cycle.SetAfterChange([this](const ConfigStore& store, const SharedString& picture) {
    hook.AfterChange(store, picture);
  });
}

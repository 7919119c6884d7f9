#pragma once

#include "app/change_hook.h"
#include "app/wallpaper_cycle.h"

namespace Orvex {
class LoaderRegistry;
}

// The one-shot mode of the tray window: fresh settings (the file is created
// with the defaults when missing), every loader (RegisterImageLoaders), one
// change, done. A change that fails on the image is silent, as it is in the
// tray. The OnChange command follows a change, as in the tray, when a
// launcher is given.
void RunOneShot(IDesktop& desktop, Orvex::LoaderRegistry& loaders,
                const WallpaperCycle::StoreFactory& store_factory = WallpaperCycle::ProgramStore,
                HookLauncher launcher = {});

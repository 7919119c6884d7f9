#pragma once

#include <vector>

#include "app/wallpaper_cycle.h"
#include "foundation/shared_string.h"

namespace Orvex {
class LoaderRegistry;
}

// What the command line asks of this start.
struct StartOptions {
  // "/once": change the wallpaper once and exit, without a tray icon.
  bool once = false;
};

// Reads the switches among the arguments (the program itself not included).
// Switches are whole, case-sensitive words; anything else is ignored.
StartOptions ParseStartOptions(const std::vector<Orvex::SharedString>& arguments);

// The built-in decoders in the order they are offered a file: JPEG, PNG, BMP.
void RegisterBuiltinLoaders(Orvex::LoaderRegistry& registry);

// The one-shot mode of the tray window: fresh settings (the file is created
// with the defaults when missing), every loader (RegisterImageLoaders), one
// change, done. A change that fails on the image is silent, as it is in the
// tray.
void RunOneShot(IDesktop& desktop, Orvex::LoaderRegistry& loaders,
                const WallpaperCycle::StoreFactory& store_factory = {});

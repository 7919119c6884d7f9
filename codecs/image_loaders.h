#pragma once

#include <memory>

#include "codecs/image_loader.h"
#include "foundation/shared_string.h"

namespace Orvex {

class LoaderRegistry;

// Registers every loader of this platform, all with priority 0, in the
// order they are offered a file: Susie plug-ins from `plugin_folder` (an
// absolute folder; Windows only), JPEG, PNG, BMP, and last the system's
// picture decoder. Loading the plug-ins happens here.
void RegisterImageLoaders(LoaderRegistry& registry, const SharedString& plugin_folder);

// Registers only the decoders built into the program, with priority 0, in
// the order they are offered a file: JPEG, PNG, BMP.
void RegisterBuiltinLoaders(LoaderRegistry& registry);

namespace Detail {
// The platform's part: a factory of plug-in loaders, or null where the
// platform has none, and the factory of the system decoder's loaders.
std::shared_ptr<IFactory<IImageLoader>> MakePluginLoaderFactory(const SharedString& folder);
std::shared_ptr<IFactory<IImageLoader>> MakeSystemLoaderFactory();
}  // namespace Detail

}  // namespace Orvex

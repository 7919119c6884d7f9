#include "codecs/image_loaders.h"

#include "codecs/bmp_loader.h"
#include "codecs/jpg_loader.h"
#include "codecs/loader_registry.h"
#include "codecs/png_loader.h"

namespace Orvex {

void RegisterImageLoaders(LoaderRegistry& registry, const SharedString& plugin_folder) {
  // Plug-ins come first so that one may take over a format we also read.
  if (auto plugins = Detail::MakePluginLoaderFactory(plugin_folder)) {
    registry.RegisterFactory(std::move(plugins), 0);
  }
  RegisterBuiltinLoaders(registry);
  registry.RegisterFactory(Detail::MakeSystemLoaderFactory(), 0);
}

void RegisterBuiltinLoaders(LoaderRegistry& registry) {
  registry.RegisterFactory(std::make_shared<DefaultFactory<CJpgLoader, IImageLoader>>(), 0);
  registry.RegisterFactory(std::make_shared<DefaultFactory<CPngLoader, IImageLoader>>(), 0);
  registry.RegisterFactory(std::make_shared<DefaultFactory<CBmpLoader, IImageLoader>>(), 0);
}

}  // namespace Orvex

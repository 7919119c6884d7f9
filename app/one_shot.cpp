#include "app/one_shot.h"

#include <memory>

#include "codecs/bmp_loader.h"
#include "codecs/image_loaders.h"
#include "codecs/jpg_loader.h"
#include "codecs/loader_registry.h"
#include "codecs/png_loader.h"
#include "foundation/file_system.h"

void RegisterBuiltinLoaders(Orvex::LoaderRegistry& registry) {
  using Orvex::DefaultFactory;
  using Orvex::IImageLoader;
  registry.RegisterFactory(std::make_shared<DefaultFactory<Orvex::CJpgLoader, IImageLoader>>(), 0);
  registry.RegisterFactory(std::make_shared<DefaultFactory<Orvex::CPngLoader, IImageLoader>>(), 0);
  registry.RegisterFactory(std::make_shared<DefaultFactory<Orvex::CBmpLoader, IImageLoader>>(), 0);
}

void RunOneShot(IDesktop& desktop, Orvex::LoaderRegistry& loaders,
                const WallpaperCycle::StoreFactory& store_factory) {
  ConfigStore store = store_factory ? store_factory() : ConfigStore();
  store.LoadWithDefaults();
  // Every loader of the platform, the Susie plug-ins of "SpiDir" first.
  Orvex::RegisterImageLoaders(loaders, Orvex::MakeAbsoluteToExecutable(store.GetString(u"SpiDir")));
  WallpaperCycle cycle(desktop, loaders, store_factory);
  cycle.ChangeWallpaper(store);
}

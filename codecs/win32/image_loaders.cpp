#include "codecs/image_loaders.h"

#include "codecs/win32/ole_loader.h"
#include "codecs/win32/spi_loader.h"

namespace Orvex::Detail {

std::shared_ptr<IFactory<IImageLoader>> MakePluginLoaderFactory(const SharedString& folder) {
  return std::make_shared<CSpiLoaderFactory>(folder);
}

std::shared_ptr<IFactory<IImageLoader>> MakeSystemLoaderFactory() {
  return std::make_shared<DefaultFactory<COleLoader, IImageLoader>>();
}

}  // namespace Orvex::Detail

#include "codecs/image_loaders.h"

#include "codecs/linux/qt_image_loader.h"

namespace Orvex::Detail {

// Susie plug-ins are Windows libraries: there is nothing to load here.
std::shared_ptr<IFactory<IImageLoader>> MakePluginLoaderFactory(const SharedString&) {
  return nullptr;
}

std::shared_ptr<IFactory<IImageLoader>> MakeSystemLoaderFactory() {
  return std::make_shared<DefaultFactory<CQtImageLoader, IImageLoader>>();
}

}  // namespace Orvex::Detail

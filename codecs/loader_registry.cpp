#include "codecs/loader_registry.h"

#include <exception>

#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane.h"

namespace Orvex {

LoaderRegistry& LoaderRegistry::Instance() {
  static LoaderRegistry registry;
  return registry;
}

void LoaderRegistry::RegisterFactory(std::shared_ptr<IFactory<IImageLoader>> factory,
                                     int32_t priority) {
  auto position = entries_.begin();
  for (; position != entries_.end(); ++position) {
    if (position->factory == factory) return;
    if (position->priority > priority) break;
  }
  // The same object may still sit among the entries of higher priority.
  for (auto rest = position; rest != entries_.end(); ++rest) {
    if (rest->factory == factory) return;
  }
  entries_.insert(position, Entry{priority, std::move(factory)});
}

void LoaderRegistry::SelectLoader(ImageLoadContext& context,
                                  const std::shared_ptr<CFileData>& source) const {
  context.source = source;
  if (source && source->GetSize() > 0) {
    for (const Entry& entry : entries_) {
      try {
        context.loader.reset();
        context.loader = entry.factory->CreateInstance();
        if (context.loader && context.loader->Open(source)) return;
      } catch (const std::exception&) {
        // A loader that cannot read the bytes refuses them; the next one
        // gets its chance.
      }
    }
  }
  context.loader.reset();
  SharedString name = source ? source->GetName() : SharedString();
  throw ImageLoadException(name + u" の画像読み込みに失敗しました");
}

PlaneSize LoaderRegistry::LoadImage(const std::shared_ptr<CFileData>& source, CPlane& plane) const {
  ImageLoadContext context;
  SelectLoader(context, source);
  const PlaneSize size = context.loader->GetImageSize();
  plane.SetSize(size);
  context.loader->Load(plane, 0, 0);
  return size;
}

}  // namespace Orvex

#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/image_loader.h"
#include "imaging/plane_geometry.h"

namespace Orvex {

class CFileData;
class CPlane;

// The state of one LoadImage call.
struct ImageLoadContext {
  std::shared_ptr<CFileData> source;
  // The candidate while loaders are tried, then the one that accepted.
  std::shared_ptr<IImageLoader> loader;
};

// The ordered list of loader factories. Factories with a lower priority are
// tried first; equal priorities keep the order of registration. Filled once
// at start-up and only read afterwards, so it has no lock.
class LoaderRegistry {
 public:
  // The process-wide registry.
  static LoaderRegistry& Instance();

  LoaderRegistry() = default;
  LoaderRegistry(const LoaderRegistry&) = delete;
  LoaderRegistry& operator=(const LoaderRegistry&) = delete;

  // A factory object that is already registered is not added again.
  void RegisterFactory(std::shared_ptr<IFactory<IImageLoader>> factory, int32_t priority);

  // Offers the source to a fresh loader from each factory in turn until one
  // accepts; a loader that throws a std::exception counts as refusing.
  // ImageLoadException when none accepts or the source is empty.
  void SelectLoader(ImageLoadContext& context, const std::shared_ptr<CFileData>& source) const;

  // Decodes the source into the plane, which takes the image's size, and
  // returns that size.
  PlaneSize LoadImage(const std::shared_ptr<CFileData>& source, CPlane& plane) const;

  size_t GetFactoryCount() const { return entries_.size(); }

 private:
  struct Entry {
    int32_t priority;
    std::shared_ptr<IFactory<IImageLoader>> factory;
  };
  std::vector<Entry> entries_;
};

}  // namespace Orvex

#pragma once

#include <cstdint>
#include <memory>

#include "foundation/factory.h"
#include "foundation/shared_string.h"
#include "imaging/plane_geometry.h"

namespace Orvex {

class CFileData;
class CPlane;

// Decodes one image file. A loader is made for a single attempt: Open once;
// when it accepts, GetImageSize and then Load any number of times; then it
// is destroyed. After Open refused (or threw) only destruction follows.
class IImageLoader {
 public:
  IImageLoader() = default;
  IImageLoader(const IImageLoader&) = delete;
  IImageLoader& operator=(const IImageLoader&) = delete;
  virtual ~IImageLoader() = default;

  // Probes the bytes. True means the loader takes the image and has decoded
  // (or fully validated) it, so that Load cannot fail for format reasons.
  virtual bool Open(const std::shared_ptr<CFileData>& source) = 0;
  virtual PlaneSize GetImageSize() = 0;
  // Draws the whole image with its top-left corner at (x, y).
  virtual void Load(CPlane& plane, int32_t x, int32_t y) = 0;
  virtual bool HasAlpha() = 0;
  virtual SharedString GetFormatName() = 0;
  // File-name patterns the loader is meant for, separated by ';'. Only for
  // display: loaders are chosen by content.
  virtual SharedString GetFilter() = 0;
};

// A factory that default-constructs a T for every request.
template <class T, class I>
class DefaultFactory : public IFactory<I> {
 public:
  std::shared_ptr<I> CreateInstance() override { return std::make_shared<T>(); }
};

class IImageSaver {
 public:
  IImageSaver() = default;
  IImageSaver(const IImageSaver&) = delete;
  IImageSaver& operator=(const IImageSaver&) = delete;
  virtual ~IImageSaver() = default;

  // Writes the rectangle of the plane to the named file; IOException on
  // failure.
  virtual void Save(const SharedString& file_name, const CPlane& plane, const PlaneRect& rect) = 0;
};

}  // namespace Orvex

#pragma once

#include <memory>

#include "imaging/plane_geometry.h"
#include "imaging/resample_stream.h"

namespace Orvex {

class CFileData;
class CPlane32;
class IImageLoader;
class LoaderRegistry;

// An image file whose loader the registry has chosen and whose size is
// read, its pixels still to come. They are decoded whole, or straight into
// a resampling: a loader that hands out rows as it decodes them has them
// resampled meanwhile and never holds the whole image, any other decodes
// it whole first; the bytes are the same.
class OpenedImage {
 public:
  // ImageLoadException when no loader takes the data.
  OpenedImage(const LoaderRegistry& loaders, const std::shared_ptr<CFileData>& data);

  PlaneSize Size() const { return size_; }

  // Decodes the image into `image`, which takes its size.
  void Load(CPlane32& image);
  // Decodes the image and resamples (Lanczos3) its `source_rect` part onto
  // the `dest_rect` part of `dest`, a plane the caller has given its size:
  // byte for byte Load followed by ResampleLanczos. Every row of the image
  // is shown to `observe` on the way. `image` takes the whole image, and
  // its size, only where the loader cannot hand out rows; it is left alone
  // otherwise. `dest` must not be `image`.
  void LoadResampled(CPlane32& image, CPlane32& dest, const PlaneRect& dest_rect,
                     const PlaneRect& source_rect, const RowObserver& observe = {});
  // The same onto all of a destination of `dest_size` that is never held
  // whole: `take` gets its rows as they are made, on any thread and in any
  // order.
  void LoadResampledRows(CPlane32& image, const PlaneSize& dest_size, const PlaneRect& source_rect,
                         const DestRows& take, const RowObserver& observe = {});

 private:
  std::shared_ptr<IImageLoader> loader_;
  PlaneSize size_;
};

}  // namespace Orvex

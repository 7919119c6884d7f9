#pragma once

#include "imaging/row_sink.h"

namespace Orvex {

// What a loader may offer besides IImageLoader: handing out the image row
// by row as it decodes, into memory the caller lends, so that the caller
// works on the top of the image while the rest is still being decoded and
// never needs room for all of it. OpenedImage uses it where a loader has
// it and falls back to Load otherwise.
class IRowStreamingLoader {
 public:
  IRowStreamingLoader() = default;
  IRowStreamingLoader(const IRowStreamingLoader&) = delete;
  IRowStreamingLoader& operator=(const IRowStreamingLoader&) = delete;
  virtual ~IRowStreamingLoader() = default;

  // Writes every row of the image (GetImageSize) into the sink, from the
  // top, as 32-bit pixels, and reports them done; the last report, for
  // all rows, comes before it returns. ImageLoadException on failure,
  // also when the sink stops it.
  virtual void LoadRows(IRowSink& sink) = 0;
};

}  // namespace Orvex

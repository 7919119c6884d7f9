#pragma once

#include <cstdint>
#include <functional>

namespace Orvex {

class CPlane;

// What a loader may offer besides IImageLoader: drawing the image while
// telling the caller how far it has got, so that the caller can work on
// the top of the image while the rest is still being decoded. OpenedImage
// uses it where a loader has it and falls back to Load otherwise.
class IRowStreamingLoader {
 public:
  IRowStreamingLoader() = default;
  IRowStreamingLoader(const IRowStreamingLoader&) = delete;
  IRowStreamingLoader& operator=(const IRowStreamingLoader&) = delete;
  virtual ~IRowStreamingLoader() = default;

  // Load, calling rows_ready(n) on the calling thread whenever the image's
  // rows [0, n) are final in the plane (drawn at row y and below). The
  // counts grow; the last call, if any, may come before Load returns.
  virtual void LoadStreaming(CPlane& plane, int32_t x, int32_t y,
                             const std::function<void(int32_t rows)>& rows_ready) = 0;
};

}  // namespace Orvex

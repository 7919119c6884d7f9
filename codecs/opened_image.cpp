#include "codecs/opened_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "codecs/loader_registry.h"
#include "codecs/row_streaming_loader.h"
#include "imaging/plane32.h"
#include "imaging/resample.h"
#include "imaging/resample_stream.h"

namespace Orvex {

OpenedImage::OpenedImage(const LoaderRegistry& loaders, const std::shared_ptr<CFileData>& data) {
  ImageLoadContext context;
  loaders.SelectLoader(context, data);
  loader_ = std::move(context.loader);
  size_ = loader_->GetImageSize();
}

void OpenedImage::Load(CPlane32& image) {
  image.SetSize(size_);
  loader_->Load(image, 0, 0);
}

void OpenedImage::LoadResampled(CPlane32& image, CPlane32& dest, const PlaneRect& dest_rect,
                                const PlaneRect& source_rect, const RowObserver& observe) {
  if (auto* streaming = dynamic_cast<IRowStreamingLoader*>(loader_.get())) {
    ResampleLanczosRows(
        dest, size_, dest_rect, source_rect, PlaneClip{},
        [streaming](IRowSink& sink) { streaming->LoadRows(sink); }, observe);
    return;
  }
  Load(image);
  ResampleLanczos(dest, image, dest_rect, source_rect, PlaneClip{});
  if (observe) {
    const PlaneBitsLock bits(image);
    for (int32_t y = 0; y < size_.height; ++y) observe(y, bits.Row(y));
  }
}

void OpenedImage::LoadResampledRows(CPlane32& image, const PlaneSize& dest_size,
                                    const PlaneRect& source_rect, const DestRows& take,
                                    const RowObserver& observe) {
  if (auto* streaming = dynamic_cast<IRowStreamingLoader*>(loader_.get())) {
    ResampleLanczosRowsTo(
        dest_size, size_, source_rect, [streaming](IRowSink& sink) { streaming->LoadRows(sink); },
        take, observe);
    return;
  }
  Load(image);
  // The decoded rows go through the same stream, a band's worth at a time.
  const PlaneBitsLock bits(image);
  const auto row_bytes = 4 * static_cast<size_t>(size_.width);
  ResampleLanczosRowsTo(
      dest_size, size_, source_rect,
      [&](IRowSink& sink) {
        for (int32_t y = 0; y < size_.height;) {
          const int32_t end = std::min(size_.height, y + IRowSink::kRowsInHand / 2);
          for (; y < end; ++y) std::memcpy(sink.RowFor(y), bits.Row(y), row_bytes);
          sink.RowsDone(end);
        }
      },
      take, observe);
}

}  // namespace Orvex

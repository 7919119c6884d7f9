#include "codecs/opened_image.h"

#include <utility>

#include "codecs/loader_registry.h"
#include "codecs/row_streaming_loader.h"
#include "imaging/plane32.h"
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
                                const PlaneRect& source_rect) {
  image.SetSize(size_);
  auto* streaming = dynamic_cast<IRowStreamingLoader*>(loader_.get());
  ResampleLanczosWhileFilling(dest, image, dest_rect, source_rect, PlaneClip{},
                              [&](const RowsReady& rows_ready) {
                                if (streaming != nullptr) {
                                  streaming->LoadStreaming(image, 0, 0, rows_ready);
                                } else {
                                  loader_->Load(image, 0, 0);
                                }
                              });
}

}  // namespace Orvex

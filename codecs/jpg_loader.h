#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "codecs/image_loader.h"
#include "codecs/row_streaming_loader.h"

namespace Orvex {

// JPEG files through libjpeg, from memory, as 32-bit pixels (B, G, R, 0).
// Greyscale and colour files only: CMYK and YCCK files are left to the
// loaders after this one. Open reads the headers and readies the decoder
// (a progressive file is read whole there); Load decodes the rows straight
// into the plane.
class CJpgLoader : public IImageLoader, public IRowStreamingLoader {
 public:
  CJpgLoader();
  ~CJpgLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override;
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  bool HasAlpha() override { return false; }
  SharedString GetFormatName() override { return u"JPEG"; }
  SharedString GetFilter() override { return u"*.jpg;*.jpeg;*.jpe"; }
  void LoadRows(IRowSink& sink) override;
  // Load, calling rows_ready(n) on the calling thread whenever the image's
  // rows [0, n) are final in the plane (drawn at row y and below). The
  // counts grow; the last call, if any, may come before Load returns.
  void LoadStreaming(CPlane& plane, int32_t x, int32_t y,
                     const std::function<void(int32_t rows)>& rows_ready);

 private:
  struct Decompressor;  // keeps the libjpeg headers out of this one

  // Reads the headers and starts the decompressor; false when the file is
  // not one this loader takes.
  bool Begin();
  // Decodes the whole image into the sink; ImageLoadException on failure.
  void DecodeInto(IRowSink& sink);

  std::unique_ptr<Decompressor> decompressor_;
  std::shared_ptr<CFileData> source_;
  // Begin has run and no decode has used the decompressor since.
  bool started_ = false;
};

}  // namespace Orvex

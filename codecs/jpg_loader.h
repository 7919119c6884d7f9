#pragma once

#include <memory>

#include "codecs/image_loader.h"

namespace Orvex {

class CMemoryPlane;

// JPEG files through libjpeg, decoded from memory during Open into a 32-bit
// heap plane (B, G, R, 0). Greyscale and colour files only: CMYK and YCCK
// files are left to the loaders after this one.
class CJpgLoader : public IImageLoader {
 public:
  CJpgLoader();
  ~CJpgLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override;
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  bool HasAlpha() override { return false; }
  SharedString GetFormatName() override { return u"JPEG"; }
  SharedString GetFilter() override { return u"*.jpg;*.jpeg;*.jpe"; }

 private:
  struct Decompressor;  // keeps the libjpeg headers out of this one

  std::unique_ptr<Decompressor> decompressor_;
  std::unique_ptr<CMemoryPlane> image_;
  std::shared_ptr<CFileData> source_;
};

}  // namespace Orvex

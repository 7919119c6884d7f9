#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/image_loader.h"

namespace Orvex {

// Windows bitmap files ("BM"). The header and pixel data are handed to the
// plane's DrawDib as they are (the old 12-byte core header rewritten as the
// info header it stands for); a file cut short reads as if zeros followed.
class CBmpLoader : public IImageLoader {
 public:
  CBmpLoader() = default;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override;
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  bool HasAlpha() override;
  SharedString GetFormatName() override { return u"BITMAP"; }
  SharedString GetFilter() override { return u"*.bmp;*.dib"; }

 private:
  // The info header and pixels point into the source's bytes (or into the
  // padded copy), so the source is kept with them.
  const uint8_t* header_ = nullptr;
  size_t header_bytes_ = 0;
  const uint8_t* pixels_ = nullptr;
  size_t pixel_bytes_ = 0;
  std::vector<uint8_t> padded_;
  std::vector<uint8_t> converted_header_;
  std::shared_ptr<CFileData> source_;
};

}  // namespace Orvex

#pragma once

#include <memory>

#include "codecs/image_loader.h"

namespace Orvex {

class CMemoryPlane;

// PNG files through libpng, decoded from memory during Open into a heap
// plane of bytes B, G, R, A: every colour type and depth becomes 8-bit
// channels, images without transparency get alpha 0xFF, and a file gamma is
// corrected for a 2.2 display.
class CPngLoader : public IImageLoader {
 public:
  CPngLoader();
  ~CPngLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override { return size_; }
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  // Only colour types with an alpha channel count; transparency from a tRNS
  // chunk does not.
  bool HasAlpha() override { return has_alpha_; }
  SharedString GetFormatName() override { return u"PNG"; }
  SharedString GetFilter() override { return u"*.png"; }

  // Defined where libpng is included, to keep its headers out of this one.
  struct Reader;
  struct ReadState;

 private:
  std::unique_ptr<Reader> reader_;
  std::unique_ptr<ReadState> read_state_;
  std::unique_ptr<CMemoryPlane> image_;
  PlaneSize size_{0, 0};
  bool has_alpha_ = false;
};

}  // namespace Orvex

#pragma once

#include "codecs/image_loader.h"

namespace Orvex {

// Writes planes as uncompressed bottom-up bitmap files: 8-bit planes as
// 8-bit bitmaps with a grey colour table, every other depth as 24 bits.
class CBmpSaver : public IImageSaver {
 public:
  CBmpSaver() = default;

  // Parts of the rectangle outside the plane are written black; an empty
  // rectangle is an error, as no bitmap can describe it. The file is
  // replaced whole or not at all (see WriteFileReplacing).
  void Save(const SharedString& file_name, const CPlane& plane, const PlaneRect& rect) override;
};

}  // namespace Orvex

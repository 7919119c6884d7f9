#pragma once

#include <cstdint>
#include <memory>

#include "codecs/image_loader.h"

namespace Orvex {

// Whatever the system's picture decoder reads (GIF, ICO, WMF, EMF, ...):
// the picture object draws itself into the destination's device context,
// so the destination needs DIB storage.
class COleLoader : public IImageLoader {
 public:
  COleLoader();
  ~COleLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  // The picture's size at the screen's resolution.
  PlaneSize GetImageSize() override;
  // Clears the picture's rectangle first: transparent parts of an icon or
  // a metafile's background must not show what the plane held before.
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  bool HasAlpha() override { return false; }
  SharedString GetFormatName() override;
  SharedString GetFilter() override { return u"*.bmp;*.ico;*.jpg;*.jpeg;*.jpe;*.png;*.gif"; }

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Orvex

#pragma once

#include <memory>

#include "imaging/plane32.h"

class X11SharedImage;

// A 32-bit plane whose pixels are a shared image's memory: what is drawn
// into it is what the server sees once the image becomes a pixmap. Only
// for images whose pixels are laid out as the plane's (X11PixelFormat::
// TakesPlaneRows). The plane's size cannot exceed the image's.
class X11SharedPlane : public Orvex::CPlane32 {
 public:
  explicit X11SharedPlane(std::shared_ptr<X11SharedImage> image);

  X11SharedImage& Image() const { return *image_; }

 private:
  std::shared_ptr<X11SharedImage> image_;
};

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
  // owner: kept as long as the plane, and let go before the image: what
  // holds the connection the image is attached on.
  X11SharedPlane(std::shared_ptr<X11SharedImage> image, std::shared_ptr<void> owner);

 private:
  std::shared_ptr<void> owner_;
};

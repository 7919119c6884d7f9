#pragma once

#include <cstdint>
#include <optional>

#include "foundation/shared_string.h"
#include "imaging/plane_geometry.h"

namespace Orvex {
class CPlane32;
}  // namespace Orvex

// What a wallpaper change needs from the desktop it runs on. The one-shot
// start needs nothing else; each platform's desktop implements it.
class IDesktop {
 public:
  IDesktop() = default;
  IDesktop(const IDesktop&) = delete;
  IDesktop& operator=(const IDesktop&) = delete;
  virtual ~IDesktop() = default;

  // Both throw the library's OS error when the system refuses.
  // path names the bitmap file, already written; pixels, when given, are
  // the same picture, for a desktop that can take them without reading the
  // file back.
  virtual void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) = 0;
  virtual void RemoveWallpaper() = 0;
  // The current display mode's size; nothing when it cannot be read.
  virtual std::optional<Orvex::PlaneSize> GetScreenSize() = 0;
  // The system colour of the desktop background, red in the low byte.
  virtual uint32_t GetDesktopColor() = 0;
  // An error box with an OK button, owned by the program's window if any.
  virtual void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) = 0;
};

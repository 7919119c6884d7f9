#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/monitors.h"
#include "foundation/shared_string.h"
#include "imaging/plane32.h"
#include "imaging/plane_geometry.h"

// One monitor's share of a wallpaper made for several monitors.
struct MonitorWallpaper {
  Monitor monitor;
  // The monitor's own bitmap, beside the composed one; empty unless the
  // desktop asked for such files (WantsMonitorFiles).
  Orvex::SharedString path;
};

// A wallpaper made for several monitors: one picture of the box around
// them all, each monitor's part at the monitor's place.
struct ComposedWallpaper {
  // The composed bitmap, already written.
  Orvex::SharedString path;
  // The same picture, for a desktop that can take it without reading the
  // file back.
  const Orvex::CPlane32* pixels = nullptr;
  // The virtual-desktop rectangle the picture covers. A desktop that tiles
  // (TilesComposedPicture) gets the picture turned so that the virtual
  // origin is its top-left corner.
  Orvex::PlaneRect box{};
  std::vector<MonitorWallpaper> monitors;
};

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
  // A plane of the given size to draw the next wallpaper into, where the
  // desktop can take its pixels from there without a copy when that plane
  // is then given to SetWallpaper. Null (the default) when it cannot: the
  // change then draws into a plane of its own. Given that plane,
  // SetWallpaper must not read the file, which is written meanwhile.
  virtual std::unique_ptr<Orvex::CPlane32> OfferWallpaperPlane(const Orvex::PlaneSize& size) {
    static_cast<void>(size);
    return nullptr;
  }
  // The current display mode's size; nothing when it cannot be read.
  virtual std::optional<Orvex::PlaneSize> GetScreenSize() = 0;
  // The monitors, in virtual-desktop pixels; none when they cannot be
  // learnt. By default one monitor of GetScreenSize's size at the origin.
  virtual MonitorList GetMonitors();
  // Sets a wallpaper made for several monitors. By default as SetWallpaper
  // with the composed picture.
  virtual void SetComposedWallpaper(const ComposedWallpaper& wallpaper);
  // Whether the desktop sets a file per monitor: each monitor's part is
  // then also written to a bitmap of its own.
  virtual bool WantsMonitorFiles() const { return false; }
  // Whether the desktop repeats the picture from the virtual origin, as a
  // tiled wallpaper does: the composed picture is then turned to match.
  virtual bool TilesComposedPicture() const { return false; }
  // The name of the monitor under the mouse pointer, as GetMonitors names
  // it; empty when it cannot be told (the commands then act on the
  // primary's picture).
  virtual Orvex::SharedString MonitorUnderPointer() { return {}; }
  // The system colour of the desktop background, red in the low byte.
  virtual uint32_t GetDesktopColor() = 0;
  // An error box with an OK button, owned by the program's window if any.
  virtual void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) = 0;
};

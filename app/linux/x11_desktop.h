#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/desktop.h"
#include "foundation/exceptions.h"
#include "imaging/plane_geometry.h"

struct _XDisplay;

// Ends a connection to the X server.
struct X11DisplayCloser {
  void operator()(_XDisplay* display) const;
};
// The one owner of a connection to the X server.
using X11Display = std::unique_ptr<_XDisplay, X11DisplayCloser>;

// The desktop cannot be used at all: no display to connect to, or a screen
// whose pixels this program cannot produce.
class DesktopUnavailableException : public Orvex::RuntimeException {
 public:
  using Orvex::RuntimeException::RuntimeException;
};

// How the pixels of a wallpaper reach the X server.
enum class X11Transfer {
  // Converted straight into a shared memory segment that becomes the
  // wallpaper's pixmap, when the server is on this machine and offers such
  // pixmaps; otherwise as kSharedMemoryWhereOffered.
  kSharedPixmapWhereOffered,
  // Through a shared memory segment when the server is on this machine and
  // offers it, otherwise through the connection.
  kSharedMemoryWhereOffered,
  // Always through the connection.
  kConnectionOnly,
};

// The desktop of an X session without a desktop program of its own: the
// wallpaper is the root window's background pixmap, published through the
// root properties that compositors, terminals and docks read.
class X11Desktop : public IDesktop {
 public:
  // display_name: as for XOpenDisplay; null takes $DISPLAY. Connects at
  // once, so that a missing display or an unusable screen is reported
  // before any work is done (DesktopUnavailableException).
  explicit X11Desktop(const char* display_name = nullptr,
                      X11Transfer transfer = X11Transfer::kSharedPixmapWhereOffered);
  ~X11Desktop() override;

  // Makes the picture the root window's background, centred on black when
  // its size differs from the screen's: the given pixels, or without them
  // the bitmap file read back. The pixmap
  // outlives the program, as a wallpaper must; the one it replaces is freed
  // when this program's convention shows it was left behind the same way.
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override;
  // The root window spans every monitor: the composed picture goes onto it
  // at the box's place, black where it does not reach.
  void SetComposedWallpaper(const ComposedWallpaper& wallpaper) override;
  // Back to a black root window without a published pixmap.
  void RemoveWallpaper() override;
  // On the usual 32-bit screen, where the server makes pixmaps of shared
  // memory and the plane covers the screen: a plane in such memory, which
  // SetWallpaper then makes the pixmap as it is, without a copy or a
  // conversion. Null elsewhere.
  std::unique_ptr<Orvex::CPlane32> OfferWallpaperPlane(const Orvex::PlaneSize& size) override;
  std::optional<Orvex::PlaneSize> GetScreenSize() override;
  // RandR's monitors, asked afresh each time; one monitor of the screen's
  // size where RandR lists none.
  MonitorList GetMonitors() override;
  // A bare root window has no colour setting of its own; black is what it
  // shows once the wallpaper is removed.
  uint32_t GetDesktopColor() override { return 0; }
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override;

  // How the last wallpaper's pixels reached the server.
  X11Transfer LastTransfer() const { return last_transfer_; }

 private:
  struct Offer;

  // Shows the offered plane through its own pixmap; false, with nothing
  // done, when the screen no longer matches it.
  bool PutOffered(Offer& offer, const std::optional<Orvex::PlaneRect>& origin);
  // origin: where the picture's top-left corner goes; centred without one.
  void Put(const Orvex::SharedString& path, const Orvex::CPlane32* pixels,
           const std::optional<Orvex::PlaneRect>& origin);

  std::optional<std::string> display_name_;
  X11Display display_;
  X11Transfer transfer_;
  X11Transfer last_transfer_ = X11Transfer::kConnectionOnly;
  // The plane last offered, with the connection its memory is attached on;
  // both go with the plane.
  std::weak_ptr<Offer> offer_;
};

#pragma once

#include <memory>
#include <optional>

#include "app/linux/x11_desktop.h"
#include "imaging/plane_geometry.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/Xlib.h>

#include "app/linux/x11_error_trap.h"
#include "app/linux/x11_handles.h"
#include "app/linux/x11_shared_image.h"

namespace Orvex {
class CPlane32;
}  // namespace Orvex

class X11PixelFormat;

// The start of every error a failed change of the X11 wallpaper reports.
inline constexpr char16_t kX11SetFailed[] = u"壁紙の設定に失敗";

// A wallpaper's pixmap and how its pixels got there.
struct X11WallpaperPixmap {
  // Our side of the shared memory the pixels went through, if any: the
  // caller lets it go once the server has been asked to paint, so that the
  // two happen at the same time.
  std::unique_ptr<X11SharedImage> shared;
  X11Pixmap pixmap;
  X11Transfer transfer;
};

// A pixmap of the screen's size with the plane on black, its pixels sent the fastest way that
// transfer allows: converted straight into a shared pixmap, through bands of shared memory, or
// through the connection. The plane's top-left corner goes to `origin` in root-window pixels, or
// the plane is centred without one; what falls outside the screen is cut.
// Throws Orvex::RuntimeException (kX11SetFailed : ...) when the server
// refuses; nothing is left on the server then.
X11WallpaperPixmap DrawWallpaperPixmap(Display* display, const XWindowAttributes& root,
                                       const X11PixelFormat& format, const Orvex::CPlane32& plane,
                                       X11Transfer transfer, X11ErrorTrap& trap,
                                       std::optional<Orvex::PlaneRect> origin = std::nullopt);

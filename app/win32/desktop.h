#pragma once

#include <cstdint>
#include <optional>

#include "app/desktop.h"
#include "foundation/error_reporting.h"
#include "foundation/shared_string.h"

// The Windows desktop as the wallpaper cycle sees it: the system's
// wallpaper parameter, the display mode, the desktop colour and message
// boxes. Used as it is by the one-shot start, which has no tray window.
class Win32Desktop : public IDesktop {
 public:
  // owner: the window that owns the error boxes; null for none.
  explicit Win32Desktop(Orvex::WindowHandle owner = nullptr) : owner_(owner) {}

  // Writes the path to the user profile and tells every window about the
  // change. Throws Win32Exception when the system refuses.
  // The system reads the file itself; the pixels are not needed.
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override;
  void RemoveWallpaper() override;
  std::optional<Orvex::PlaneSize> GetScreenSize() override;
  uint32_t GetDesktopColor() override;
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override;

  // The wallpaper the system reports now (empty when there is none).
  static Orvex::SharedString CurrentWallpaper();

 private:
  Orvex::WindowHandle owner_;
};

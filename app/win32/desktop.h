#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "app/config_store.h"
#include "app/desktop.h"
#include "foundation/error_reporting.h"
#include "foundation/shared_string.h"

// The Windows desktop as the wallpaper cycle sees it: the system's
// wallpaper parameter, the display mode, the monitors, the desktop colour
// and message boxes. Used as it is by the one-shot start, which has no tray
// window.
//
// A picture made for several monitors is one bitmap tiled from the primary
// monitor's top-left corner: the only way every supported Windows version
// maps one bitmap onto the whole virtual desktop. The user's own style is
// kept in the settings file meanwhile and put back by the next change that
// shows one picture.
class Win32Desktop : public IDesktop {
 public:
  // Makes the empty store of the settings file that keeps the user's style.
  using StoreFactory = std::function<ConfigStore()>;

  // owner: the window that owns the error boxes; null for none.
  explicit Win32Desktop(Orvex::WindowHandle owner = nullptr,
                        StoreFactory store_factory = ProgramStore)
      : owner_(owner), store_factory_(std::move(store_factory)) {}

  // Writes the path to the user profile and tells every window about the
  // change. Throws Win32Exception when the system refuses.
  // The system reads the file itself; the pixels are not needed.
  // The style is left alone unless a composed picture changed it before.
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override;
  void RemoveWallpaper() override;
  std::optional<Orvex::PlaneSize> GetScreenSize() override;
  MonitorList GetMonitors() override;
  Orvex::SharedString MonitorUnderPointer() override;
  void SetComposedWallpaper(const ComposedWallpaper& wallpaper) override;
  bool TilesComposedPicture() const override { return true; }
  uint32_t GetDesktopColor() override;
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override;

  // The wallpaper the system reports now (empty when there is none).
  static Orvex::SharedString CurrentWallpaper();

  // The registry's TileWallpaper and WallpaperStyle texts; nothing for a
  // value that is not there.
  struct WallpaperStyle {
    std::optional<Orvex::SharedString> tile;
    std::optional<Orvex::SharedString> style;
    friend bool operator==(const WallpaperStyle&, const WallpaperStyle&) = default;
  };
  static WallpaperStyle CurrentWallpaperStyle();
  // Writes both values, deleting those given as nothing. Throws
  // Win32Exception. The desktop follows at the next wallpaper change.
  static void ApplyWallpaperStyle(const WallpaperStyle& style);

 private:
  static ConfigStore ProgramStore() { return ConfigStore(); }
  // Keeps the user's style in the settings file, unless it is kept already.
  void SaveUserStyle();
  // Puts the kept style back and forgets it; nothing when none is kept.
  void RestoreUserStyle();

  Orvex::WindowHandle owner_;
  StoreFactory store_factory_;
};

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/monitors.h"
#include "imaging/plane32.h"
#include "imaging/plane_geometry.h"

struct ComposedWallpaper;

// One desktop's way of showing a picture. Failures throw
// Orvex::RuntimeException (a command that failed, a setting refused).
class WallpaperBackend {
 public:
  WallpaperBackend() = default;
  WallpaperBackend(const WallpaperBackend&) = delete;
  WallpaperBackend& operator=(const WallpaperBackend&) = delete;
  virtual ~WallpaperBackend() = default;

  // file: the bitmap's absolute path; pixels: the same picture, or null.
  virtual void Show(const std::string& file, const Orvex::CPlane32* pixels) = 0;
  // The desktop's own "no picture".
  virtual void Remove() = 0;
  // Whether the desktop keeps pictures by their path, so that a new one
  // must arrive under another name than the one on show.
  virtual bool ReadsTheFile() const { return true; }
  // The screen size when this desktop knows it better than the X server.
  virtual std::optional<Orvex::PlaneSize> ScreenSize() { return std::nullopt; }
  // A plane for the next picture that Show takes without a copy, as
  // IDesktop::OfferWallpaperPlane; none by default.
  virtual std::unique_ptr<Orvex::CPlane32> OfferPlane(const Orvex::PlaneSize& size) {
    static_cast<void>(size);
    return nullptr;
  }
  // The desktop's own background colour, red in the low byte, where it has
  // a setting for one.
  virtual std::optional<uint32_t> BackgroundColor() { return std::nullopt; }
  // The monitors, where this desktop knows them better than the X server.
  virtual std::optional<MonitorList> Monitors() { return std::nullopt; }
  // Whether the desktop takes a file per monitor: ShowComposed then finds
  // them in the wallpaper's monitors.
  virtual bool WantsMonitorFiles() const { return false; }
  // A wallpaper made for several monitors. file: the composed bitmap's
  // absolute path, as Show gets it; the monitors' own files, when asked
  // for, are in `wallpaper`. By default the composed picture as Show shows
  // it.
  virtual void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper);
};

// Makes the backend a user chose by its name ("gnome", "kde", ...; the
// list is in wallpaper_backend.cpp); null for any other name.
std::unique_ptr<WallpaperBackend> MakeWallpaperBackend(const std::string& name);

// Every name MakeWallpaperBackend takes, in the order of the list the
// settings document, separated by ", ".
std::string WallpaperBackendNameList();

std::unique_ptr<WallpaperBackend> MakeGnomeWallpaper();
std::unique_ptr<WallpaperBackend> MakeCinnamonWallpaper();
std::unique_ptr<WallpaperBackend> MakeMateWallpaper();
std::unique_ptr<WallpaperBackend> MakePlasmaWallpaper();
std::unique_ptr<WallpaperBackend> MakeXfceWallpaper();
std::unique_ptr<WallpaperBackend> MakeLxqtWallpaper();
std::unique_ptr<WallpaperBackend> MakeSwayWallpaper();
std::unique_ptr<WallpaperBackend> MakeHyprlandWallpaper();
std::unique_ptr<WallpaperBackend> MakeSwaybgWallpaper();
// Reaps the swaybg processes this process started that have ended since,
// also those another process of ours ended when it replaced them. Each
// change of the wallpaper does it, whatever the backend, so that none
// stays a zombie while the resident program runs.
void ReapEndedSwaybg();
std::unique_ptr<WallpaperBackend> MakeX11Wallpaper();
// A user's command; each argument's "%f" becomes the file.
std::unique_ptr<WallpaperBackend> MakeCommandWallpaper(std::vector<std::string> argv);

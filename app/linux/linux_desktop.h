#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop.h"

class WallpaperBackend;
class X11Desktop;

// The environment as the detection reads it: a variable's value, or null.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The backend that fits the session: the first desktop named in
// XDG_CURRENT_DESKTOP (a ':' list, any case) that has one, then sway or
// Hyprland by their sockets, then any other Wayland compositor, then a bare
// X display. Empty when there is no graphical session at all.
std::string DetectWallpaperBackend(const EnvironmentLookup& environment);

// A user's command line split into arguments as a shell would split words
// (blanks separate, '...' and "..." group, a backslash outside single
// quotes takes the next character as it is), but nothing is expanded and
// no shell runs it. Throws Orvex::RuntimeException on an open quote.
std::vector<std::string> SplitShellWords(const std::string& command);

// The Linux desktop: whichever desktop the session runs, reached through
// its own backend.
class LinuxDesktop : public IDesktop {
 public:
  // backend_setting: empty to detect the desktop; a backend name (one that
  // MakeWallpaperBackend takes, in any case); or a command holding "%f", run for
  // each new wallpaper with "%f" replaced by the file. Throws
  // DesktopUnavailableException when nothing fits, naming what it tried.
  explicit LinuxDesktop(const Orvex::SharedString& backend_setting);
  LinuxDesktop(const Orvex::SharedString& backend_setting, const EnvironmentLookup& environment);
  ~LinuxDesktop() override;

  LinuxDesktop(LinuxDesktop&& other) noexcept;
  LinuxDesktop& operator=(LinuxDesktop&& other) noexcept;

  // The backend in use: its name, or "command".
  const std::string& BackendName() const { return backend_name_; }

  // A desktop that reads the file gets it under a name that is not on
  // show now: the written file is published under the older of two
  // sibling names, so the picture on show is never overwritten.
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override;
  void RemoveWallpaper() override;
  // The backend's, for a desktop that takes the pixels themselves.
  std::unique_ptr<Orvex::CPlane32> OfferWallpaperPlane(const Orvex::PlaneSize& size) override;
  std::optional<Orvex::PlaneSize> GetScreenSize() override;
  // The backend's own list where its desktop has one, else the X server's.
  MonitorList GetMonitors() override;
  // As SetWallpaper, for the composed file and each monitor's own.
  void SetComposedWallpaper(const ComposedWallpaper& wallpaper) override;
  bool WantsMonitorFiles() const override;
  // The desktop's own colour setting; black (what a bare root window and
  // the other desktops' removal show) where there is none.
  uint32_t GetDesktopColor() override;
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override;

 protected:
  // Called before each change, removal and size query, which then use the
  // backend this leaves in place: a desktop that follows a setting may
  // take another one here.
  virtual void BeforeUse() {}

 private:
  X11Desktop* Display();

  std::string backend_name_;
  std::unique_ptr<WallpaperBackend> backend_;
  std::unique_ptr<X11Desktop> display_;
  bool display_tried_ = false;
};

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/composed_render.h"
#include "app/config_store.h"
#include "app/desktop.h"
#include "app/monitor_assignment.h"
#include "app/tray_host.h"
#include "foundation/dir_observer.h"
#include "foundation/shared_string.h"

namespace Orvex {
class LoaderRegistry;
}  // namespace Orvex

// Picks the next image of the image folder and has it rendered as the
// wallpaper (RenderWallpaper), and keeps the suspension state and the
// change interval. Everything runs on the tray window's thread, one
// synchronous change at a time.
class WallpaperCycle {
 public:
  // Makes the empty store an operation fills and reads; every part of the
  // program that loads settings takes one, so that tests can point them all
  // at a file of their own.
  using StoreFactory = std::function<ConfigStore()>;
  // The default factory: the program's settings file (SettingsFilePath).
  static ConfigStore ProgramStore() { return ConfigStore(); }

  // store_factory makes the empty store each ChangeNow loads. tray: the
  // resident program's icon and timer; null for the one-shot start, which
  // has neither.
  WallpaperCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders,
                 StoreFactory store_factory = ProgramStore, ITrayHost* tray = nullptr);
  WallpaperCycle(const WallpaperCycle&) = delete;
  WallpaperCycle& operator=(const WallpaperCycle&) = delete;
  ~WallpaperCycle();

  // What the tray window does once it exists: shows the suspension state,
  // arms the timer and, unless told to wait, changes at once.
  void Start(const ConfigStore& store);

  // Fresh settings, their suspension and interval applied, then a change.
  void ChangeNow();
  void ChangeWallpaper(const ConfigStore& store);
  // After the monitors changed: the pictures on show fitted again to the
  // new layout, without moving on in the list. A monitor that stays keeps
  // its picture; a new one takes the next.
  void RefitToDisplays();
  // True when the suspension state changed (and the tray icon with it).
  bool UpdateSuspendState(const ConfigStore& store);
  void UpdateInterval(const ConfigStore& store);

  static Orvex::SharedString ImageFolder(const ConfigStore& store);
  // The tray tooltip for the suspension state.
  static Orvex::SharedString TrayTooltip(bool suspended);
  // Timer period for an interval in seconds: negative values give the
  // shortest period, very long ones the longest the system timer takes.
  static uint32_t TimerPeriod(int interval_seconds);

  const std::vector<Orvex::SharedString>& ImageList() const { return image_list_; }
  uint32_t ImagePosition() const { return image_position_; }
  // The picture on show; with a picture per monitor, the primary's.
  const Orvex::SharedString& CurrentSource() const { return current_source_; }
  // With a picture per monitor, what each monitor shows.
  const std::vector<MonitorSource>& MonitorSources() const { return monitor_sources_; }
  // Reads a picture's size without decoding it; tests may replace it.
  void SetSizeProbe(PictureSizeProbe probe) { probe_ = std::move(probe); }
  bool Suspended() const { return suspended_; }
  int IntervalSeconds() const { return interval_seconds_; }
  const Orvex::CDirObserver& Observer() const { return observer_; }

 private:
  void RefreshImageList(const Orvex::SharedString& folder);
  // The change in each of the MultiMonitor modes; `refit` keeps the
  // pictures on show.
  void ShowOnePicture(const ConfigStore& store, bool refit);
  void ShowPerMonitor(const ConfigStore& store, const MonitorList& monitors, bool refit);
  void ShowSpanned(const ConfigStore& store, const MonitorList& monitors, bool refit);
  void Show(const ConfigStore& store, bool refit);

  void ShowSuspendState();

  IDesktop& desktop_;
  ITrayHost* tray_;
  const Orvex::LoaderRegistry& loaders_;
  StoreFactory store_factory_;

  std::vector<Orvex::SharedString> image_list_;
  uint32_t image_position_ = 0;
  Orvex::SharedString current_source_;
  std::vector<MonitorSource> monitor_sources_;
  PictureSizeProbe probe_;
  Orvex::CDirObserver observer_;
  Orvex::SharedString watched_folder_;
  bool observer_started_ = false;
  bool suspended_ = false;
  int interval_seconds_ = 0;
};

// Shuffles the list in place with the process-wide engine (Fisher-Yates,
// front to back), so that every rebuild gives a new order.
void ShuffleImageList(std::vector<Orvex::SharedString>& list);

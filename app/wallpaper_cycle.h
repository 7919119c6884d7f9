#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/composed_render.h"
#include "app/config_store.h"
#include "app/cycle_state_file.h"
#include "app/desktop.h"
#include "app/exclude_list.h"
#include "app/monitor_assignment.h"
#include "app/picture_round.h"
#include "app/status_board.h"
#include "app/tray_host.h"
#include "foundation/dir_observer.h"
#include "foundation/shared_string.h"

namespace Orvex {
class LoaderRegistry;
}  // namespace Orvex

// Picks the next image of the image folder and has it rendered as the
// wallpaper (RenderWallpaper), and keeps the suspension state and the
// change interval. Everything runs on the tray window's thread, one
// synchronous change at a time (one that shows a box lets the next run in
// the box's event loop; see ReportError).
//
// The pictures come up in rounds (PictureRound), and the last changes are
// kept as a history to go back in. Both are kept beside the settings file
// after every change (CycleState), so that a new start continues the round;
// the pictures the user excluded (ExcludeList) never come up.
class WallpaperCycle {
 public:
  // Makes the empty store an operation fills and reads; every part of the
  // program that loads settings takes one, so that tests can point them all
  // at a file of their own.
  using StoreFactory = std::function<ConfigStore()>;
  // Told after every change that put a picture on show, with the settings
  // of that change and the picture (the primary's where monitors have
  // their own).
  using AfterChange =
      std::function<void(const ConfigStore& store, const Orvex::SharedString& picture)>;
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
  // Back one change in the history: the pictures shown then, fitted to the
  // screen as it is now. Nothing at the oldest change kept. The next change
  // then walks forward through the history before it continues the round.
  void ShowPrevious();
  // Adds the picture on show to the exclude list, takes it out of the round
  // and shows another in its place. `monitor` names the monitor whose
  // picture it is where monitors have their own (SourceOn); empty means
  // the primary's (or the one picture). The picture file itself is not
  // touched.
  void ExcludeCurrent(const Orvex::SharedString& monitor = {});
  // True when the suspension state changed (and the tray icon with it).
  bool UpdateSuspendState(const ConfigStore& store);
  void UpdateInterval(const ConfigStore& store);

  static Orvex::SharedString ImageFolder(const ConfigStore& store);
  // The tray tooltip for the suspension state.
  static Orvex::SharedString TrayTooltip(bool suspended);
  // Timer period for an interval in seconds: negative values give the
  // shortest period, very long ones the longest the system timer takes.
  static uint32_t TimerPeriod(int interval_seconds);

  // The round's pictures and the index of the one taken last.
  const std::vector<Orvex::SharedString>& ImageList() const { return round_.Pictures(); }
  uint32_t ImagePosition() const { return round_.Position(); }
  const PictureRound& Round() const { return round_; }
  // The changes kept to go back to, oldest first, and the one on show.
  const std::vector<ShownPictures>& History() const { return history_; }
  size_t HistoryPosition() const { return history_at_; }
  const ExcludeList& Excluded() const { return excluded_; }
  // The picture on show; with a picture per monitor, the primary's.
  const Orvex::SharedString& CurrentSource() const { return current_source_; }
  // With a picture per monitor, what each monitor shows.
  const std::vector<MonitorSource>& MonitorSources() const { return monitor_sources_; }
  // The picture on the named monitor where monitors have their own, else
  // (and for a name that shows none) the picture on show.
  const Orvex::SharedString& SourceOn(const Orvex::SharedString& monitor) const;
  // The state "/status" reports, as it is now.
  StatusFacts Facts() const;
  // Where the state is posted whenever a step of the cycle ends (a change,
  // a refit, going back, an exclusion, a new suspension state or interval),
  // however it ends; none by default.
  void SetStatusBoard(std::shared_ptr<StatusBoard> board) { status_board_ = std::move(board); }
  // Reads a picture's size without decoding it; tests may replace it.
  void SetSizeProbe(PictureSizeProbe probe) { probe_ = std::move(probe); }
  void SetAfterChange(AfterChange after_change) { after_change_ = std::move(after_change); }
  bool Suspended() const { return suspended_; }
  int IntervalSeconds() const { return interval_seconds_; }
  const Orvex::CDirObserver& Observer() const { return observer_; }

 private:
  // Posts the state to the status board when a step ends, however it ends.
  class PostWhenDone {
   public:
    explicit PostWhenDone(const WallpaperCycle& cycle) : cycle_(cycle) {}
    PostWhenDone(const PostWhenDone&) = delete;
    PostWhenDone& operator=(const PostWhenDone&) = delete;
    ~PostWhenDone() { cycle_.PostStatus(); }

   private:
    const WallpaperCycle& cycle_;
  };
  void PostStatus() const noexcept;
  // Fresh settings for a step; their image folder is the one reported.
  ConfigStore LoadSettings();

  // A box runs an event loop of its own, in which the timer, a second
  // start or the menu start further changes. A failure that comes back at
  // every tick (a folder that stays missing, a setting that cannot be read)
  // would open a box inside the box each time, each holding its stack and
  // handles until the user closed them all. While a box about a failure is
  // open, further failures are not shown; the changes go on, so that the
  // wallpaper changes again as soon as the cause is gone.
  void ReportError(const Orvex::SharedString& text);
  bool ErrorShown() const;
  void RefreshImageList(const ConfigStore& store, const Orvex::SharedString& folder);
  // The first build of the list: the round kept for this folder, if any.
  void RestoreState(const ConfigStore& store, const Orvex::SharedString& folder,
                    const std::vector<Orvex::SharedString>& pictures);
  void SaveState(const ConfigStore& store) const;
  // The change in each of the MultiMonitor modes; `keep` holds pictures to
  // show again (those on show for a refit, a history entry when going back
  // or forward): by monitor name, and with `by_order` a monitor without
  // one takes the entry in its place. True when something was shown.
  bool ShowOnePicture(const ConfigStore& store, const ShownPictures* keep);
  bool ShowPerMonitor(const ConfigStore& store, const MonitorList& monitors,
                      const ShownPictures* keep, bool by_order);
  bool ShowSpanned(const ConfigStore& store, const MonitorList& monitors,
                   const ShownPictures* keep);
  bool Show(const ConfigStore& store, const ShownPictures* keep, bool by_order);
  // What is on show now, as the history keeps it.
  ShownPictures OnShow() const;
  void Record();
  void Changed(const ConfigStore& store) const;
  // Moves through the history by `step` to the next entry that can still be
  // shown and shows it; false when there is none.
  bool WalkHistory(const ConfigStore& store, int step);
  bool Showable(const ShownPictures& entry) const;
  // A picture that can be shown again: not excluded, still there.
  bool Usable(const Orvex::SharedString& picture) const;
  // The first usable picture of `keep`, else the round's next.
  Orvex::SharedString KeptOrNext(const ShownPictures* keep);

  void ShowSuspendState();
  void ArmTimer();

  IDesktop& desktop_;
  ITrayHost* tray_;
  const Orvex::LoaderRegistry& loaders_;
  StoreFactory store_factory_;

  PictureRound round_;
  std::vector<ShownPictures> history_;
  size_t history_at_ = 0;
  ExcludeList excluded_;
  bool state_read_ = false;
  Orvex::SharedString current_source_;
  std::vector<MonitorSource> monitor_sources_;
  PictureSizeProbe probe_;
  AfterChange after_change_;
  Orvex::CDirObserver observer_;
  Orvex::SharedString watched_folder_;
  bool observer_started_ = false;
  bool suspended_ = false;
  // Set while ReportError's box is open.
  bool reporting_ = false;
  int interval_seconds_ = 0;
  // When the timer was last armed; it fires every TimerPeriod from then.
  std::optional<std::chrono::steady_clock::time_point> timer_armed_;
  // The image folder of the settings read last.
  Orvex::SharedString image_folder_;
  std::shared_ptr<StatusBoard> status_board_;
};

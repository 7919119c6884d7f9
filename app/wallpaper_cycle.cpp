#include "app/wallpaper_cycle.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "app/config_keys.h"
#include "app/kept_paths.h"
#include "app/wallpaper_render.h"
#include "codecs/opened_image.h"
#include "foundation/error_reporting.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/random.h"
#include "foundation/release_memory.h"
#include "imaging/plane_block_cache.h"

using Orvex::SharedString;

namespace {

constexpr int kBuildNumber = 15;
// How many changes the history keeps to go back to.
constexpr size_t kHistoryLength = 100;
// The longest period the system timer accepts.
constexpr int64_t kMaxTimerPeriod = 0x7FFFFFFF;

// The end of every change: the resident program then waits for minutes, and
// the C library would keep what the change freed (on Linux in the arenas of
// the resampling threads, tens of megabytes) for the whole time.
void ChangeEnded() { Orvex::ReleaseFreeMemory(); }

}  // namespace

WallpaperCycle::WallpaperCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders,
                               StoreFactory store_factory, ITrayHost* tray)
    : desktop_(desktop),
      tray_(tray),
      loaders_(loaders),
      store_factory_(std::move(store_factory)),
      probe_([&loaders](const SharedString& path) -> std::optional<Orvex::PlaneSize> {
        try {
          return Orvex::OpenedImage(loaders, std::make_shared<Orvex::CFileData>(path)).Size();
        } catch (const std::exception&) {
          return std::nullopt;
        }
      }) {}

WallpaperCycle::~WallpaperCycle() { observer_.Stop(); }

void WallpaperCycle::Start(const ConfigStore& store) {
  const PostWhenDone post(*this);
  image_folder_ = ImageFolder(store);
  suspended_ = store.GetBool(config_key::kSuspend);
  ShowSuspendState();
  interval_seconds_ = store.GetInt(config_key::kInterval);
  ArmTimer();
  if (!store.GetBool(config_key::kWaitFirst)) {
    ChangeWallpaper(store);
  }
}

void WallpaperCycle::ChangeNow() {
  const PostWhenDone post(*this);
  try {
    ConfigStore store = LoadSettings();
    UpdateSuspendState(store);
    UpdateInterval(store);
    ChangeWallpaper(store);
  } catch (const std::exception&) {
    // Said once: the box already open tells of it (see ReportError).
    if (ErrorShown()) return;
    throw;
  }
}

bool WallpaperCycle::ErrorShown() const { return reporting_ || Orvex::OpenErrorBoxes() > 0; }

void WallpaperCycle::ReportError(const SharedString& text) {
  if (ErrorShown()) return;
  reporting_ = true;
  try {
    desktop_.ShowError(u"エラー", text);
  } catch (...) {
    reporting_ = false;
    throw;
  }
  reporting_ = false;
}

bool WallpaperCycle::UpdateSuspendState(const ConfigStore& store) {
  const PostWhenDone post(*this);
  const bool suspend = store.GetBool(config_key::kSuspend);
  if (suspend == suspended_) {
    return false;
  }
  suspended_ = suspend;
  ShowSuspendState();
  return true;
}

void WallpaperCycle::ShowSuspendState() {
  if (tray_ != nullptr) {
    tray_->SetTrayIcon(suspended_ ? kSuspendedIconId : kRunningIconId, TrayTooltip(suspended_));
  }
}

void WallpaperCycle::UpdateInterval(const ConfigStore& store) {
  const PostWhenDone post(*this);
  const int interval = store.GetInt(config_key::kInterval);
  if (interval == interval_seconds_) {
    return;
  }
  interval_seconds_ = interval;
  ArmTimer();
}

void WallpaperCycle::ArmTimer() {
  if (tray_ == nullptr) return;
  tray_->SetChangeTimer(TimerPeriod(interval_seconds_));
  timer_armed_ = std::chrono::steady_clock::now();
}

StatusFacts WallpaperCycle::Facts() const {
  StatusFacts facts;
  facts.current = current_source_;
  facts.monitors = monitor_sources_;
  facts.suspended = suspended_;
  facts.timer_armed = timer_armed_;
  facts.timer_period_ms = TimerPeriod(interval_seconds_);
  facts.image_folder = image_folder_;
  facts.pictures = round_.Pictures().size();
  facts.shown = round_.Shown();
  facts.excluded = excluded_.Size();
  return facts;
}

void WallpaperCycle::PostStatus() const noexcept {
  if (!status_board_) return;
  // The report can wait for the next step; the step must not fail for it.
  try {
    status_board_->Post(Facts());
  } catch (...) {
  }
}

ConfigStore WallpaperCycle::LoadSettings() {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  image_folder_ = ImageFolder(store);
  return store;
}

const SharedString& WallpaperCycle::SourceOn(const SharedString& monitor) const {
  for (const MonitorSource& shown : monitor_sources_) {
    if (!monitor.IsEmpty() && shown.monitor == monitor) return shown.source;
  }
  return current_source_;
}

SharedString WallpaperCycle::ImageFolder(const ConfigStore& store) {
  return Orvex::MakeAbsoluteToExecutable(
      Orvex::EnsureTrailingSeparator(store.GetString(config_key::kImageDir)));
}

SharedString WallpaperCycle::TrayTooltip(bool suspended) {
  return SharedString::Format(u"Pelmora%s build-%d", suspended ? u" [一時停止中]" : u"",
                              kBuildNumber);
}

uint32_t WallpaperCycle::TimerPeriod(int interval_seconds) {
  // Computed wide: seconds times 1000 overflows an int long before the
  // timer's own limit.
  const int64_t ms = int64_t{interval_seconds} * 1000;
  return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, kMaxTimerPeriod));
}

void WallpaperCycle::ChangeWallpaper(const ConfigStore& store) {
  const PostWhenDone post(*this);
  image_folder_ = ImageFolder(store);
  if (store.GetBool(config_key::kSuspend)) {
    return;
  }
  const SharedString folder = ImageFolder(store);
  if (!Orvex::IsDirectory(folder)) {
    ReportError(SharedString(u"画像フォルダ '") + folder + u"' が見つかりません");
    return;
  }
  RefreshImageList(store, folder);
  if (round_.Pictures().empty()) {
    return;
  }
  // After going back, a change first walks forward again, as a browser's
  // forward button does; then the round continues.
  if (!WalkHistory(store, 1) && Show(store, nullptr, false)) {
    Record();
    Changed(store);
  }
  SaveState(store);
  ChangeEnded();
}

void WallpaperCycle::ShowPrevious() {
  const PostWhenDone post(*this);
  ConfigStore store = LoadSettings();
  if (store.GetBool(config_key::kSuspend)) return;
  const SharedString folder = ImageFolder(store);
  if (Orvex::IsDirectory(folder)) RefreshImageList(store, folder);
  if (WalkHistory(store, -1)) SaveState(store);
  ChangeEnded();
}

void WallpaperCycle::ExcludeCurrent(const SharedString& monitor) {
  const PostWhenDone post(*this);
  ConfigStore store = LoadSettings();
  const SharedString picture = SourceOn(monitor);
  if (picture.IsEmpty()) return;
  ExcludeList::Add(ExcludeList::PathFor(store.FilePath()), store.LockName(),
                   watched_folder_.IsEmpty() ? ImageFolder(store) : watched_folder_, picture);
  excluded_.Insert(picture);
  round_.Remove(picture);
  // The other monitors keep their pictures; the excluded one is no longer
  // one that can be kept, so its monitor takes the next.
  if (!store.GetBool(config_key::kSuspend) && !round_.Pictures().empty()) {
    const ShownPictures keep = OnShow();
    if (Show(store, &keep, false)) {
      if (history_.empty()) {
        Record();
      } else {
        history_[history_at_] = OnShow();
      }
      Changed(store);
    }
  }
  SaveState(store);
  ChangeEnded();
}

void WallpaperCycle::RefitToDisplays() {
  const PostWhenDone post(*this);
  ConfigStore store = LoadSettings();
  if (store.GetBool(config_key::kSuspend) || round_.Pictures().empty()) return;
  const ShownPictures keep = OnShow();
  if (!Show(store, &keep, false)) return;
  // A new monitor's picture belongs to the change on show.
  if (history_.empty()) {
    Record();
  } else {
    history_[history_at_] = OnShow();
  }
  SaveState(store);
  ChangeEnded();
}

bool WallpaperCycle::Show(const ConfigStore& store, const ShownPictures* keep, bool by_order) {
  bool shown = false;
  const MultiMonitorChoice mode = ReadMultiMonitorChoice(store);
  if (mode != MultiMonitorChoice::kSame) {
    const MonitorList monitors = OrderFromPrimary(desktop_.GetMonitors());
    if (monitors.empty()) {
      ReportError(SharedString(kNoScreenSize));
    } else if (mode == MultiMonitorChoice::kPerMonitor) {
      shown = ShowPerMonitor(store, monitors, keep, by_order);
    } else {
      shown = ShowSpanned(store, monitors, keep);
    }
  } else if (store.GetBool(config_key::kResize) && !desktop_.GetScreenSize()) {
    // Said once, where the render would fail quietly on every picture.
    ReportError(SharedString(kNoScreenSize));
  } else {
    shown = ShowOnePicture(store, keep);
  }
  // The resident program waits long between changes: the pixel buffers a
  // change recycled among its own planes are given back, not kept for the
  // next one.
  Orvex::PlaneBlockCache::Instance().Flush();
  return shown;
}

bool WallpaperCycle::Usable(const SharedString& picture) const {
  return !picture.IsEmpty() && !excluded_.Contains(picture) && Orvex::Exists(picture);
}

SharedString WallpaperCycle::KeptOrNext(const ShownPictures* keep) {
  if (keep != nullptr) {
    for (const MonitorSource& shown : *keep) {
      if (Usable(shown.source)) return shown.source;
    }
  }
  const std::optional<uint32_t> at = round_.TakeNext();
  return at ? round_.Pictures()[*at] : SharedString();
}

bool WallpaperCycle::ShowOnePicture(const ConfigStore& store, const ShownPictures* keep) {
  const SharedString picture = KeptOrNext(keep);
  if (picture.IsEmpty()) return false;
  current_source_ = picture;
  monitor_sources_.clear();
  // A file that cannot be shown only costs its turn: the next change takes
  // the next entry, and nobody is interrupted by a message.
  try {
    RenderWallpaper(store, current_source_, loaders_, desktop_);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool WallpaperCycle::ShowPerMonitor(const ConfigStore& store, const MonitorList& monitors,
                                    const ShownPictures* keep, bool by_order) {
  const auto take = [this](const Monitor& monitor) {
    const std::optional<uint32_t> at = round_.TakeNextForMonitor(monitor.IsPortrait(), probe_);
    return at ? round_.Pictures()[*at] : SharedString();
  };
  std::vector<SharedString> pictures;
  for (size_t i = 0; i < monitors.size(); ++i) {
    SharedString kept;
    if (keep != nullptr) {
      for (const MonitorSource& shown : *keep) {
        if (shown.monitor == monitors[i].name && Usable(shown.source)) kept = shown.source;
      }
      if (kept.IsEmpty() && by_order && i < keep->size() && Usable((*keep)[i].source)) {
        kept = (*keep)[i].source;
      }
    }
    pictures.push_back(kept.IsEmpty() ? take(monitors[i]) : kept);
  }
  // Each broken picture is replaced by the next; after a whole lap of the
  // list there is nothing new left to try.
  size_t tries = 0;
  const ReplacementPicture replacement =
      [&](const Monitor& monitor) -> std::optional<SharedString> {
    if (++tries >= round_.Pictures().size()) return std::nullopt;
    return take(monitor);
  };
  try {
    monitor_sources_ =
        RenderPerMonitorWallpaper(store, monitors, pictures, replacement, loaders_, desktop_);
    for (const MonitorSource& shown : monitor_sources_) {
      if (!shown.source.IsEmpty()) {
        current_source_ = shown.source;
        break;
      }
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool WallpaperCycle::ShowSpanned(const ConfigStore& store, const MonitorList& monitors,
                                 const ShownPictures* keep) {
  const SharedString picture = KeptOrNext(keep);
  if (picture.IsEmpty()) return false;
  current_source_ = picture;
  monitor_sources_.clear();
  try {
    RenderSpannedWallpaper(store, monitors, current_source_, loaders_, desktop_);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

ShownPictures WallpaperCycle::OnShow() const {
  if (!monitor_sources_.empty()) return monitor_sources_;
  if (current_source_.IsEmpty()) return {};
  return {MonitorSource{SharedString(), current_source_}};
}

void WallpaperCycle::Record() {
  ShownPictures entry = OnShow();
  if (entry.empty()) return;
  history_.push_back(std::move(entry));
  if (history_.size() > kHistoryLength) {
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(
                                                            history_.size() - kHistoryLength));
  }
  history_at_ = history_.size() - 1;
}

void WallpaperCycle::Changed(const ConfigStore& store) const {
  if (after_change_) after_change_(store, current_source_);
}

bool WallpaperCycle::Showable(const ShownPictures& entry) const {
  return std::any_of(entry.begin(), entry.end(),
                     [this](const MonitorSource& shown) { return Usable(shown.source); });
}

bool WallpaperCycle::WalkHistory(const ConfigStore& store, int step) {
  if (history_.empty()) return false;
  const auto n = static_cast<std::ptrdiff_t>(history_.size());
  for (auto at = static_cast<std::ptrdiff_t>(history_at_) + step; at >= 0 && at < n; at += step) {
    const ShownPictures entry = history_[static_cast<size_t>(at)];
    if (!Showable(entry)) continue;
    history_at_ = static_cast<size_t>(at);
    if (Show(store, &entry, true)) Changed(store);
    return true;
  }
  // Nothing ahead can be shown any more: the round continues from here.
  if (step > 0) history_.resize(history_at_ + 1);
  return false;
}

void WallpaperCycle::RefreshImageList(const ConfigStore& store, const SharedString& folder) {
  // The user may edit the exclude list: it is read at every change, and a
  // list that changed rebuilds the round.
  ExcludeList excluded = ExcludeList::Read(ExcludeList::PathFor(store.FilePath()), folder);
  const bool exclusions_changed = !(excluded == excluded_);
  excluded_ = std::move(excluded);
  bool new_folder = false;
  if (!observer_started_ || !Orvex::EqualsIgnoreCase(watched_folder_, folder)) {
    observer_.Stop();
    observer_.Start(folder, true);
    watched_folder_ = folder;
    observer_started_ = true;
    new_folder = true;
  }
  const int changes = observer_.TakeChangeCount();
  if (!new_folder && !round_.Pictures().empty() && changes == 0 && !exclusions_changed) return;
  std::vector<SharedString> pictures = Orvex::ListEntries(watched_folder_, -1);
  pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                [this](const SharedString& p) { return excluded_.Contains(p); }),
                 pictures.end());
  if (!state_read_) {
    state_read_ = true;
    RestoreState(store, folder, pictures);
  } else if (new_folder) {
    round_.Start(std::move(pictures));
  } else {
    round_.Rebuild(pictures);
  }
}

void WallpaperCycle::RestoreState(const ConfigStore& store, const SharedString& folder,
                                  const std::vector<SharedString>& pictures) {
  std::optional<CycleState> state = ReadCycleState(CycleStatePath(store.FilePath()));
  // A round kept for another folder is of no use here; the history is.
  if (state && PathKey(Orvex::EnsureTrailingSeparator(state->image_folder)) == PathKey(folder) &&
      round_.Restore(std::move(state->round), state->position, state->shown)) {
    round_.Rebuild(pictures);
  } else {
    round_.Start(pictures);
  }
  if (!state || state->history.empty()) return;
  history_ = std::move(state->history);
  history_at_ = state->history_at;
  if (history_.size() > kHistoryLength) {
    const size_t dropped = history_.size() - kHistoryLength;
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(dropped));
    history_at_ = history_at_ >= dropped ? history_at_ - dropped : 0;
  }
  // What the last run showed is on show: it can be opened or excluded
  // before the first change.
  if (current_source_.IsEmpty()) {
    const ShownPictures& on_show = history_[history_at_];
    current_source_ = on_show.front().source;
    if (on_show.size() > 1 || !on_show.front().monitor.IsEmpty()) monitor_sources_ = on_show;
  }
}

void WallpaperCycle::SaveState(const ConfigStore& store) const {
  if (!state_read_) return;
  CycleState state;
  state.image_folder = watched_folder_;
  state.round = round_.Pictures();
  state.position = round_.Position();
  state.shown = round_.Shown();
  state.history = history_;
  state.history_at = static_cast<uint32_t>(history_at_);
  // Losing the state costs no more than a repeat or two after the next
  // start; a box on every change for a folder that cannot be written would
  // cost far more.
  try {
    WriteCycleState(CycleStatePath(store.FilePath()), store.LockName(), state);
  } catch (const std::exception&) {
  }
}

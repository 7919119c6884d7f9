#pragma once

#include <string>
#include <vector>

#include "app/change_hook.h"
#include "app/config_store.h"
#include "app/desktop.h"
#include "app/tray_commands.h"
#include "app/tray_host.h"
#include "app/wallpaper_cycle.h"
#include "foundation/shared_string.h"

namespace Orvex {
class LoaderRegistry;
}  // namespace Orvex

// What a second start asks of the resident program.
enum class ResidentRequest {
  kNone,
  // "/next": a change now, as a plain second start has.
  kNext,
  // "/previous": back one change in the history.
  kPrevious,
  // "/exclude": never show the picture on show again.
  kExclude,
  // "/status": the resident program's state as text.
  kStatus,
};

// What this start is to do once the command line has been applied.
struct StartRequest {
  // "/once": a first instance changes the wallpaper once and exits.
  bool once = false;
  // "/suspend" or "/resume" was given: the settings file has been changed,
  // and the process only tells a resident instance, never becomes one.
  bool state_switch = false;
  // The last of "/next", "/previous", "/exclude" and "/status": the start
  // only hands it to the resident program, and fails when none runs.
  ResidentRequest resident = ResidentRequest::kNone;
};

// The line a second start sends the resident program for the request
// ("notify" for kNext and for a start without one).
const char* ResidentMessage(ResidentRequest request);
// The request of a line a second start sent; kNone for a line not known.
ResidentRequest ResidentRequestOfMessage(const std::string& message);
// The tray command that carries out the request; 0 for kNone and
// kStatus.
int ResidentCommandId(ResidentRequest request);
// What a start that has a request for the resident program says when
// there is none.
inline constexpr char16_t kNoResidentCaption[] = u"エラー";
inline constexpr char16_t kNoResidentText[] =
    u"常駐しているPelmoraが見つかりません。\n先にPelmoraを起動してください。";

// The name of the lock held around the command-line pass, shared with
// every read-and-maybe-write of the settings (SettingsLockName).
Orvex::SharedString StartUpLockName();

// Applies the switches among the arguments (the program itself not
// included) in their order, under the lock of the given name: "/suspend"
// (the wallpaper removed first when RemoveOnSuspend is set and the program
// was not yet suspended), "/resume", "/once", and the requests for the
// resident program ("/next", "/previous", "/exclude", "/status"), which
// change nothing here. Switches are whole,
// case-sensitive words; anything else is ignored. The file is read as it
// is, without defaults, so "/suspend" throws the store's read error when
// Suspend (or the RemoveOnSuspend it needs) is not in the file.
StartRequest ApplyCommandLine(
    const std::vector<Orvex::SharedString>& arguments, IDesktop& desktop,
    const Orvex::SharedString& lock_name,
    WallpaperCycle::StoreFactory store_factory = WallpaperCycle::ProgramStore);

// Whether any argument is one of the switches ApplyCommandLine acts on; a
// start without one is a plain start.
bool HasStartSwitch(const std::vector<Orvex::SharedString>& arguments);

// Registers every loader of the platform (RegisterImageLoaders), the Susie
// plug-ins of the settings' SpiDir first, and returns those settings, loaded
// with their defaults (a missing file is created with them). The plug-in
// folder is read only here, so a new one takes effect at the next start.
ConfigStore RegisterLoadersFromSettings(Orvex::LoaderRegistry& loaders,
                                        const WallpaperCycle::StoreFactory& store_factory);

// The resident program's change cycle and the tray commands on it, for the
// tray window of any desktop, once its loaders are registered.
// launcher: the system's start of the OnChange command; none runs without
// one.
struct ResidentCycle {
  ResidentCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders, ITrayHost& tray,
                ITrayShell& shell, const WallpaperCycle::StoreFactory& store_factory,
                HookLauncher launcher = {});

  ChangeHook hook;
  WallpaperCycle cycle;
  TrayCommands commands;
};

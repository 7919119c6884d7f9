#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "app/config_store.h"
#include "app/desktop.h"
#include "app/monitors.h"
#include "foundation/shared_string.h"

namespace Orvex {
class LoaderRegistry;
}  // namespace Orvex

// What a monitor shows after a change: the monitor's name and the picture
// file, empty when none of the pictures tried could be shown there.
struct MonitorSource {
  Orvex::SharedString monitor;
  Orvex::SharedString source;
};

// The picture to try next for a monitor whose picture could not be shown;
// nothing when there are no more to try.
using ReplacementPicture = std::function<std::optional<Orvex::SharedString>(const Monitor&)>;

// Each monitor its own picture, fitted to the monitor's size as the
// settings ask, in one bitmap of the box around all monitors (the rest in
// the desktop's colour), saved as SaveFile and made the wallpaper.
// pictures[i] is the first picture for monitors[i]; one that cannot be
// shown is replaced as `replacement` says, and a monitor left without any
// shows the desktop's colour. Throws, leaving the wallpaper alone, when no
// monitor got a picture.
std::vector<MonitorSource> RenderPerMonitorWallpaper(
    const ConfigStore& store, const MonitorList& monitors,
    const std::vector<Orvex::SharedString>& pictures, const ReplacementPicture& replacement,
    const Orvex::LoaderRegistry& loaders, IDesktop& desktop);

// One picture fitted to the box around all monitors, saved and set as
// above. Throws when the picture cannot be shown.
void RenderSpannedWallpaper(const ConfigStore& store, const MonitorList& monitors,
                            const Orvex::SharedString& source, const Orvex::LoaderRegistry& loaders,
                            IDesktop& desktop);

// Where a monitor's own bitmap goes: beside the composed one, its name
// followed by the monitor's (with anything but letters, digits, '-' and
// '_' as '_'), or by its place in the list when it has no name.
Orvex::SharedString MonitorFilePath(const Orvex::SharedString& composed_path,
                                    const Monitor& monitor, size_t index);

#pragma once

#include <string>
#include <vector>

#include "imaging/plane_geometry.h"

// KDE Plasma 5 and 6 change wallpapers through a script that plasmashell
// runs on request over the session bus.

// The script that shows the file on every desktop with the image plugin.
std::string PlasmaShowScript(const std::string& file);
// One screen's picture: the screen's rectangle in the layout and the file.
struct PlasmaScreenPicture {
  Orvex::PlaneRect rect;
  std::string file;
};

// The script that shows on each desktop the picture of the screen it is
// on, found by the screen's rectangle; a desktop on a screen that none of
// them covers (or on none) gets `fallback`.
std::string PlasmaShowPerScreenScript(const std::vector<PlasmaScreenPicture>& pictures,
                                      const std::string& fallback);
// The script that leaves every desktop its plain colour.
std::string PlasmaRemoveScript();

// The command that hands the script to plasmashell with the given D-Bus
// tool ("qdbus6", "qdbus", "gdbus" or "dbus-send").
std::vector<std::string> PlasmaScriptCommand(const std::string& tool, const std::string& script);

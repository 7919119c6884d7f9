#pragma once

#include <string>
#include <vector>

// KDE Plasma 5 and 6 change wallpapers through a script that plasmashell
// runs on request over the session bus.

// The script that shows the file on every desktop with the image plugin.
std::string PlasmaShowScript(const std::string& file);
// The script that leaves every desktop its plain colour.
std::string PlasmaRemoveScript();

// The command that hands the script to plasmashell with the given D-Bus
// tool ("qdbus6", "qdbus", "gdbus" or "dbus-send").
std::vector<std::string> PlasmaScriptCommand(const std::string& tool, const std::string& script);

#pragma once

#include <optional>
#include <string>

#include "app/monitors.h"

// GNOME Shell's compositor describes the monitors over the session bus
// (org.gnome.Mutter.DisplayConfig). It is the one place to learn them in a
// session without an X server, and on X it knows the same.

// The logical monitors in a reply to GetCurrentState as `gdbus call` prints
// it: each one's rectangle in the layout's pixels, the primary flag and its
// first connector's name. Nothing when the text holds no such reply or no
// monitor in it can be measured.
std::optional<MonitorList> MutterMonitors(const std::string& current_state);

// Asks the running compositor; nothing when none answers.
std::optional<MonitorList> QueryMutterMonitors();

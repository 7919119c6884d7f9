#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Settings of the GNOME family of desktops, written with gsettings so that
// whichever settings backend the session uses takes them.

// Sets each key of the schema to its value (GVariant text).
void SetGSettings(const std::string& schema,
                  const std::vector<std::pair<std::string, std::string>>& values);

// The colour a key holds as "#rrggbb" (or "#rrrrggggbbbb"), red in the low
// byte; nothing when it cannot be read.
std::optional<uint32_t> GetGSettingsColor(const std::string& schema, const std::string& key);

// Whether the schema is installed and has the key.
bool HasGSettingsKey(const std::string& schema, const std::string& key);

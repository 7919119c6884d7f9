#include <algorithm>
#include <cctype>
#include <sstream>
#include <utility>
#include <vector>

#include "app/linux/mutter_monitors.h"
#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_quoting.h"
#include "foundation/posix/run_command.h"

// The GNOME family of desktops keep the wallpaper in GSettings, written with
// gsettings so that whichever settings backend the session uses takes them.
// They differ only in the schema and a few keys.

namespace {

struct GSettingsDesktop {
  const char* schema;
  // The key that names the picture, and whether it takes a URI rather than
  // a plain path.
  const char* picture_key;
  bool picture_is_uri;
  // A second key that gets the same picture where the schema has it; null
  // for none.
  const char* dark_picture_key;
  // The key and value that leave the desktop its background colour alone.
  std::pair<const char*, const char*> remove;
  // Whether the desktop's compositor tells the monitors over the session
  // bus (GNOME Shell's does); the others are asked through X.
  bool asks_mutter;
};

// GNOME, Unity and Budgie. Since GNOME 42 the dark style shows a picture of
// its own, so both keys get the file where the second one exists.
constexpr GSettingsDesktop kGnome = {
    "org.gnome.desktop.background", "picture-uri", true, "picture-uri-dark",
    {"picture-options", "'none'"},  true};
constexpr GSettingsDesktop kCinnamon = {
    "org.cinnamon.desktop.background", "picture-uri", true, nullptr,
    {"picture-options", "'none'"},     false};
// MATE takes a plain path, not a URI, and has no style without a picture:
// an empty file name is its colour alone.
constexpr GSettingsDesktop kMate = {
    "org.mate.background", "picture-filename", false, nullptr, {"picture-filename", "''"}, false};

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Sets each key of the schema to its value (GVariant text).
void SetGSettings(const std::string& schema, const KeyValues& values) {
  for (const auto& [key, value] : values) {
    Orvex::RunCommandChecked({"gsettings", "set", schema, key, value});
  }
}

// The colour a key holds as "#rrggbb" (or "#rrrrggggbbbb"), red in the low
// byte; nothing when it cannot be read.
std::optional<uint32_t> GetGSettingsColor(const std::string& schema, const std::string& key) {
  Orvex::CommandResult value;
  try {
    value = Orvex::RunCommand({"gsettings", "get", schema, key});
  } catch (const std::exception&) {
    return std::nullopt;
  }
  const size_t hash = value.output.find('#');
  if (value.exit_code != 0 || hash == std::string::npos) return std::nullopt;
  std::string digits;
  for (size_t i = hash + 1;
       i < value.output.size() && std::isxdigit(static_cast<unsigned char>(value.output[i])); ++i) {
    digits += value.output[i];
  }
  // Each channel has the same number of digits; the first two are its top byte.
  if (digits.empty() || digits.size() % 3 != 0 || digits.size() > 12) return std::nullopt;
  const size_t width = digits.size() / 3;
  uint32_t color = 0;
  for (size_t channel = 0; channel < 3; ++channel) {
    std::string top = digits.substr(channel * width, std::min<size_t>(width, 2));
    if (top.size() == 1) top += top;
    color |= static_cast<uint32_t>(std::stoul(top, nullptr, 16)) << (8 * channel);
  }
  return color;
}

// Whether the schema is installed and has the key.
bool HasGSettingsKey(const std::string& schema, const std::string& key) {
  const Orvex::CommandResult keys = Orvex::RunCommand({"gsettings", "list-keys", schema});
  if (keys.exit_code != 0) return false;
  std::istringstream lines(keys.output);
  for (std::string line; std::getline(lines, line);) {
    if (line == key) return true;
  }
  return false;
}

class GSettingsWallpaper : public WallpaperBackend {
 public:
  explicit GSettingsWallpaper(const GSettingsDesktop& desktop) : desktop_(desktop) {}

  void Show(const std::string& file, const Orvex::CPlane32*) override {
    SetPicture(file, "'stretched'");
  }
  // The composed picture covers the box around all monitors, which is what
  // these desktops span a picture over: each monitor shows its own part,
  // pixel for pixel.
  void ShowComposed(const std::string& file, const ComposedWallpaper&) override {
    SetPicture(file, "'spanned'");
  }
  void Remove() override {
    SetGSettings(desktop_.schema, {{desktop_.remove.first, desktop_.remove.second}});
  }
  std::optional<uint32_t> BackgroundColor() override {
    return GetGSettingsColor(desktop_.schema, "primary-color");
  }
  std::optional<MonitorList> Monitors() override {
    if (!desktop_.asks_mutter) return std::nullopt;
    return QueryMutterMonitors();
  }
  // The box around the monitors, as an X screen is: without an X server
  // (a Wayland-only session) the compositor is the only one to ask.
  std::optional<Orvex::PlaneSize> ScreenSize() override {
    const std::optional<MonitorList> monitors = Monitors();
    return monitors ? BoundingBoxSize(*monitors) : std::nullopt;
  }

 private:
  void SetPicture(const std::string& file, const char* options) {
    const std::string picture = GVariantString(desktop_.picture_is_uri ? FileUri(file) : file);
    KeyValues values = {{desktop_.picture_key, picture}};
    if (desktop_.dark_picture_key && HasGSettingsKey(desktop_.schema, desktop_.dark_picture_key)) {
      values.emplace_back(desktop_.dark_picture_key, picture);
    }
    values.emplace_back("picture-options", options);
    SetGSettings(desktop_.schema, values);
  }

  const GSettingsDesktop& desktop_;
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeGnomeWallpaper() {
  return std::make_unique<GSettingsWallpaper>(kGnome);
}

std::unique_ptr<WallpaperBackend> MakeCinnamonWallpaper() {
  return std::make_unique<GSettingsWallpaper>(kCinnamon);
}

std::unique_ptr<WallpaperBackend> MakeMateWallpaper() {
  return std::make_unique<GSettingsWallpaper>(kMate);
}

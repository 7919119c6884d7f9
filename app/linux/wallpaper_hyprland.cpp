#include "app/linux/wallpaper_hyprland.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

namespace {

// One monitor of the list: its members' values as written, for those that
// are plain numbers or words; strings, objects and arrays are skipped.
using Members = std::map<std::string, std::string>;

void SkipBlanks(const std::string& json, size_t& at) {
  while (at < json.size() &&
         (json[at] == ' ' || json[at] == '\t' || json[at] == '\n' || json[at] == '\r')) {
    ++at;
  }
}

// Moves past a string that starts at `at`; its text, escapes kept as they
// are (member names never need them).
std::string SkipString(const std::string& json, size_t& at) {
  const size_t start = ++at;
  while (at < json.size() && json[at] != '"') at += json[at] == '\\' ? 2 : 1;
  const std::string text = json.substr(start, std::min(at, json.size()) - start);
  ++at;
  return text;
}

// Moves past one value; a scalar's text, empty for anything else.
std::string SkipValue(const std::string& json, size_t& at) {
  SkipBlanks(json, at);
  if (at >= json.size()) return {};
  if (json[at] == '"') {
    SkipString(json, at);
    return {};
  }
  if (json[at] == '{' || json[at] == '[') {
    int depth = 0;
    do {
      if (json[at] == '"') {
        SkipString(json, at);
        continue;
      }
      if (json[at] == '{' || json[at] == '[') ++depth;
      if (json[at] == '}' || json[at] == ']') --depth;
      ++at;
    } while (at < json.size() && depth > 0);
    return {};
  }
  const size_t start = at;
  while (at < json.size() &&
         std::string_view(",}] \t\r\n").find(json[at]) == std::string_view::npos) {
    ++at;
  }
  return json.substr(start, at - start);
}

// The monitors of the list, each with its scalar members; what does not
// read as a list of objects ends the list there.
std::vector<Members> ReadMonitors(const std::string& json) {
  std::vector<Members> monitors;
  size_t at = 0;
  SkipBlanks(json, at);
  if (at >= json.size() || json[at] != '[') return monitors;
  ++at;
  for (;;) {
    SkipBlanks(json, at);
    if (at >= json.size() || json[at] != '{') return monitors;
    ++at;
    Members& members = monitors.emplace_back();
    for (;;) {
      SkipBlanks(json, at);
      if (at >= json.size()) return monitors;
      if (json[at] == '}') break;
      if (json[at] != '"') return monitors;
      const std::string name = SkipString(json, at);
      SkipBlanks(json, at);
      if (at >= json.size() || json[at] != ':') return monitors;
      ++at;
      members[name] = SkipValue(json, at);
      SkipBlanks(json, at);
      if (at < json.size() && json[at] == ',') ++at;
    }
    ++at;
    SkipBlanks(json, at);
    if (at < json.size() && json[at] == ',') ++at;
  }
}

long Number(const Members& members, const char* name) {
  const auto found = members.find(name);
  if (found == members.end() || found->second.empty()) return -1;
  char* end = nullptr;
  const long value = std::strtol(found->second.c_str(), &end, 10);
  return *end == '\0' ? value : -1;
}

// hyprctl answers "ok" to a request hyprpaper took, and its reason
// otherwise, with an exit code of 0 either way.
void RunHyprpaper(const std::vector<std::string>& request) {
  std::vector<std::string> argv = {"hyprctl", "hyprpaper"};
  argv.insert(argv.end(), request.begin(), request.end());
  std::string reply = Orvex::RunCommandChecked(argv);
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == ' ')) reply.pop_back();
  if (reply != "ok") {
    throw Orvex::RuntimeException(u"壁紙の設定に失敗 : hyprpaper : " +
                                  Orvex::GetDefaultEncoding().ToWide(reply.substr(0, 200)));
  }
}

// Hyprland's wallpaper is hyprpaper's: a picture is loaded, shown on every
// monitor (an empty monitor name), and the one it replaced let go.
class HyprlandWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    RunHyprpaper({"preload", file});
    RunHyprpaper({"wallpaper", "," + file});
    RunHyprpaper({"unload", "unused"});
  }
  void Remove() override { RunHyprpaper({"unload", "all"}); }

  std::optional<Orvex::PlaneSize> ScreenSize() override {
    Orvex::CommandResult monitors;
    try {
      monitors = Orvex::RunCommand({"hyprctl", "-j", "monitors"});
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (monitors.exit_code != 0) return std::nullopt;
    return HyprlandScreenSize(monitors.output);
  }
};

}  // namespace

std::optional<Orvex::PlaneSize> HyprlandScreenSize(const std::string& monitors_json) {
  std::optional<Orvex::PlaneSize> first;
  for (const Members& monitor : ReadMonitors(monitors_json)) {
    long width = Number(monitor, "width");
    long height = Number(monitor, "height");
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) continue;
    // Odd transforms turn the monitor by 90 or 270 degrees; the scale
    // leaves the mode's pixels as they are.
    if (Number(monitor, "transform") % 2 == 1) std::swap(width, height);
    const Orvex::PlaneSize size{static_cast<int32_t>(width), static_cast<int32_t>(height)};
    const auto focused = monitor.find("focused");
    if (focused != monitor.end() && focused->second == "true") return size;
    if (!first) first = size;
  }
  return first;
}

std::unique_ptr<WallpaperBackend> MakeHyprlandWallpaper() {
  return std::make_unique<HyprlandWallpaper>();
}

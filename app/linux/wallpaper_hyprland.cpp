#include "app/linux/wallpaper_hyprland.h"

#include <utility>
#include <vector>

#include "app/desktop.h"
#include "app/linux/logical_layout.h"
#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/json.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"

namespace {

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
    const std::optional<std::string> monitors = ListMonitors();
    return monitors ? HyprlandScreenSize(*monitors) : std::nullopt;
  }

  std::optional<MonitorList> Monitors() override {
    const std::optional<std::string> listed = ListMonitors();
    if (!listed) return std::nullopt;
    MonitorList monitors = HyprlandMonitors(*listed);
    if (monitors.empty()) return std::nullopt;
    return monitors;
  }
  bool WantsMonitorFiles() const override { return true; }

  // Every file is loaded before any is shown, so that the monitors change
  // together; a monitor name with a comma cannot be given to hyprpaper and
  // keeps what it shows.
  void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) override {
    std::vector<std::pair<std::string, std::string>> shown;
    for (const MonitorWallpaper& monitor : wallpaper.monitors) {
      const std::string name = Orvex::GetDefaultEncoding().ToMultiByte(monitor.monitor.name);
      if (monitor.path.IsEmpty() || name.empty() || name.find(',') != std::string::npos) continue;
      shown.emplace_back(name, Orvex::Detail::ToSystemPath(monitor.path));
    }
    if (shown.empty()) {
      Show(file, wallpaper.pixels);
      return;
    }
    for (const auto& [name, own] : shown) RunHyprpaper({"preload", own});
    for (const auto& [name, own] : shown) RunHyprpaper({"wallpaper", name + "," + own});
    RunHyprpaper({"unload", "unused"});
  }

 private:
  static std::optional<std::string> ListMonitors() {
    Orvex::CommandResult monitors;
    try {
      monitors = Orvex::RunCommand({"hyprctl", "-j", "monitors"});
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (monitors.exit_code != 0) return std::nullopt;
    return monitors.output;
  }
};

}  // namespace

std::optional<Orvex::PlaneSize> HyprlandScreenSize(const std::string& monitors_json) {
  const Orvex::JsonValue document = Orvex::JsonValue::Parse(monitors_json);
  std::optional<Orvex::PlaneSize> first;
  for (const Orvex::JsonValue& monitor : document.Items()) {
    int width = monitor["width"].ToInt(-1);
    int height = monitor["height"].ToInt(-1);
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) continue;
    // Odd transforms turn the monitor by 90 or 270 degrees; the scale
    // leaves the mode's pixels as they are.
    if (monitor["transform"].ToInt(-1) % 2 == 1) std::swap(width, height);
    const Orvex::PlaneSize size{width, height};
    if (monitor["focused"].ToBool()) return size;
    if (!first) first = size;
  }
  return first;
}

MonitorList HyprlandMonitors(const std::string& monitors_json) {
  const Orvex::JsonValue document = Orvex::JsonValue::Parse(monitors_json);
  std::vector<LogicalOutput> outputs;
  for (const Orvex::JsonValue& monitor : document.Items()) {
    if (monitor["disabled"].ToBool()) continue;
    LogicalOutput logical;
    logical.name = Orvex::GetDefaultEncoding().ToWide(monitor["name"].ToString());
    logical.scale = monitor["scale"].ToDouble(1);
    if (!(logical.scale > 0)) continue;
    // The mode's pixels, turned as the monitor is, make its logical size.
    double width = monitor["width"].ToDouble();
    double height = monitor["height"].ToDouble();
    if (monitor["transform"].ToInt(-1) % 2 == 1) std::swap(width, height);
    logical.x = monitor["x"].ToDouble();
    logical.y = monitor["y"].ToDouble();
    logical.width = width / logical.scale;
    logical.height = height / logical.scale;
    logical.focused = monitor["focused"].ToBool();
    outputs.push_back(std::move(logical));
  }
  return MonitorsFromLogicalLayout(outputs);
}

std::unique_ptr<WallpaperBackend> MakeHyprlandWallpaper() {
  return std::make_unique<HyprlandWallpaper>();
}

#include "app/linux/wallpaper_hyprland.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <utility>
#include <vector>

#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

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
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(monitors_json));
  std::optional<Orvex::PlaneSize> first;
  for (const QJsonValue& entry : document.array()) {
    const QJsonObject monitor = entry.toObject();
    int width = monitor.value(QLatin1String("width")).toInt(-1);
    int height = monitor.value(QLatin1String("height")).toInt(-1);
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) continue;
    // Odd transforms turn the monitor by 90 or 270 degrees; the scale
    // leaves the mode's pixels as they are.
    if (monitor.value(QLatin1String("transform")).toInt(-1) % 2 == 1) std::swap(width, height);
    const Orvex::PlaneSize size{width, height};
    if (monitor.value(QLatin1String("focused")).toBool()) return size;
    if (!first) first = size;
  }
  return first;
}

std::unique_ptr<WallpaperBackend> MakeHyprlandWallpaper() {
  return std::make_unique<HyprlandWallpaper>();
}

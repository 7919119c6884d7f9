#include "app/linux/kscreen_monitors.h"

#include <chrono>
#include <cmath>
#include <utility>

#include "foundation/encoding.h"
#include "foundation/json.h"
#include "foundation/posix/run_command.h"

namespace {

// KScreen's rotations: 1 none, 2 left, 4 upside down, 8 right.
constexpr int kRotatedLeft = 2;
constexpr int kRotatedRight = 8;

std::optional<Orvex::PlaneSize> SizeOf(const Orvex::JsonValue& size) {
  const int width = size["width"].ToInt();
  const int height = size["height"].ToInt();
  if (width <= 0 || height <= 0) return std::nullopt;
  return Orvex::PlaneSize{width, height};
}

// The output's current mode's size in device pixels; the output's own size
// where the mode is not listed.
std::optional<Orvex::PlaneSize> ModeSize(const Orvex::JsonValue& output) {
  const Orvex::JsonValue& current = output["currentModeId"];
  for (const Orvex::JsonValue& mode : output["modes"].Items()) {
    if (!current.IsUndefined() && mode["id"] == current) return SizeOf(mode["size"]);
  }
  return SizeOf(output["size"]);
}

bool IsPrimary(const Orvex::JsonValue& output) {
  // Plasma 5.24 and later number the outputs by priority, 1 the primary;
  // earlier ones mark it.
  const Orvex::JsonValue& priority = output["priority"];
  if (priority.IsNumber()) return priority.ToInt() == 1;
  return output["primary"].ToBool();
}

}  // namespace

std::optional<MonitorList> KScreenMonitors(const std::string& json) {
  // Warnings may come before the document, on lines of their own.
  const size_t start = json.starts_with('{') ? 0 : json.find("\n{");
  if (start == std::string::npos) return std::nullopt;
  const Orvex::JsonValue document = Orvex::JsonValue::Parse(std::string_view(json).substr(start));
  MonitorList list;
  for (const Orvex::JsonValue& output : document["outputs"].Items()) {
    if (!output["enabled"].ToBool() || !output["connected"].ToBool(true)) {
      continue;
    }
    std::optional<Orvex::PlaneSize> size = ModeSize(output);
    if (!size) continue;
    const int rotation = output["rotation"].ToInt(1);
    if (rotation == kRotatedLeft || rotation == kRotatedRight) {
      std::swap(size->width, size->height);
    }
    const double scale = output["scale"].ToDouble(1.0);
    if (scale > 0) {
      size->width = static_cast<int32_t>(std::lround(size->width / scale));
      size->height = static_cast<int32_t>(std::lround(size->height / scale));
    }
    const Orvex::JsonValue& pos = output["pos"];
    const int x = pos["x"].ToInt();
    const int y = pos["y"].ToInt();
    Monitor monitor;
    monitor.rect = {x, y, x + size->width, y + size->height};
    monitor.primary = IsPrimary(output);
    monitor.name = Orvex::GetDefaultEncoding().ToWide(output["name"].ToString());
    list.push_back(std::move(monitor));
  }
  if (list.empty()) return std::nullopt;
  return list;
}

std::optional<MonitorList> QueryKScreenMonitors() {
  if (!Orvex::IsProgramAvailable("kscreen-doctor")) return std::nullopt;
  Orvex::CommandResult reply;
  try {
    reply =
        Orvex::RunCommand({"kscreen-doctor", "-j"}, {std::chrono::milliseconds(5000), 1024 * 1024});
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (reply.exit_code != 0) return std::nullopt;
  return KScreenMonitors(reply.output);
}

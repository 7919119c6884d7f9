#include "app/linux/kscreen_monitors.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <chrono>
#include <cmath>
#include <utility>

#include "foundation/posix/run_command.h"

namespace {

// KScreen's rotations: 1 none, 2 left, 4 upside down, 8 right.
constexpr int kRotatedLeft = 2;
constexpr int kRotatedRight = 8;

std::optional<Orvex::PlaneSize> SizeOf(const QJsonValue& value) {
  const QJsonObject size = value.toObject();
  const int width = size.value(QLatin1String("width")).toInt();
  const int height = size.value(QLatin1String("height")).toInt();
  if (width <= 0 || height <= 0) return std::nullopt;
  return Orvex::PlaneSize{width, height};
}

// The output's current mode's size in device pixels; the output's own size
// where the mode is not listed.
std::optional<Orvex::PlaneSize> ModeSize(const QJsonObject& output) {
  const QJsonValue current = output.value(QLatin1String("currentModeId"));
  for (const QJsonValue& mode : output.value(QLatin1String("modes")).toArray()) {
    const QJsonValue id = mode.toObject().value(QLatin1String("id"));
    if (!current.isUndefined() && id.toVariant() == current.toVariant()) {
      return SizeOf(mode.toObject().value(QLatin1String("size")));
    }
  }
  return SizeOf(output.value(QLatin1String("size")));
}

bool IsPrimary(const QJsonObject& output) {
  // Plasma 5.24 and later number the outputs by priority, 1 the primary;
  // earlier ones mark it.
  const QJsonValue priority = output.value(QLatin1String("priority"));
  if (priority.isDouble()) return priority.toInt() == 1;
  return output.value(QLatin1String("primary")).toBool();
}

}  // namespace

std::optional<MonitorList> KScreenMonitors(const std::string& json) {
  // Warnings may come before the document, on lines of their own.
  const size_t start = json.starts_with('{') ? 0 : json.find("\n{");
  if (start == std::string::npos) return std::nullopt;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(json.substr(start)));
  MonitorList list;
  for (const QJsonValue& value : document.object().value(QLatin1String("outputs")).toArray()) {
    const QJsonObject output = value.toObject();
    if (!output.value(QLatin1String("enabled")).toBool() ||
        !output.value(QLatin1String("connected")).toBool(true)) {
      continue;
    }
    std::optional<Orvex::PlaneSize> size = ModeSize(output);
    if (!size) continue;
    const int rotation = output.value(QLatin1String("rotation")).toInt(1);
    if (rotation == kRotatedLeft || rotation == kRotatedRight) {
      std::swap(size->width, size->height);
    }
    const double scale = output.value(QLatin1String("scale")).toDouble(1.0);
    if (scale > 0) {
      size->width = static_cast<int32_t>(std::lround(size->width / scale));
      size->height = static_cast<int32_t>(std::lround(size->height / scale));
    }
    const QJsonObject pos = output.value(QLatin1String("pos")).toObject();
    const int x = pos.value(QLatin1String("x")).toInt();
    const int y = pos.value(QLatin1String("y")).toInt();
    Monitor monitor;
    monitor.rect = {x, y, x + size->width, y + size->height};
    monitor.primary = IsPrimary(output);
    monitor.name =
        Orvex::SharedString(output.value(QLatin1String("name")).toString().toStdU16String());
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

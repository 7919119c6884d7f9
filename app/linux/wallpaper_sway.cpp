#include "app/linux/wallpaper_sway.h"

#include <fcntl.h>

#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/linux/logical_layout.h"
#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/json.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"
#include "foundation/posix/unique_fd.h"

namespace {

// sway splits a command into words (quotes group and are dropped, a
// backslash keeps the next quote from counting and stays) and then expands
// the picture's path as a shell word would be. So every character the shell
// treats specially gets a backslash, which both steps keep, and the whole
// is quoted so that blanks stay inside the word.
std::string SwayPathWord(const std::string& path) {
  std::string word = "\"";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte >= 0x80 || c == '/' || c == '.' ||
                       c == '_' || c == '-';
    if (!plain) word += '\\';
    word += c;
  }
  return word + "\"";
}

std::vector<Orvex::JsonValue> JsonArray(const std::string& json) {
  return Orvex::JsonValue::Parse(json).Items();
}

// The reply to a command lists one result for each command it held.
bool Refused(const std::string& reply) {
  for (const Orvex::JsonValue& result : JsonArray(reply)) {
    const Orvex::JsonValue& success = result["success"];
    if (success.IsBool() && !success.ToBool()) return true;
  }
  return false;
}

void RunSway(const std::vector<std::string>& command) {
  std::vector<std::string> argv = {"swaymsg"};
  argv.insert(argv.end(), command.begin(), command.end());
  const Orvex::CommandResult result = Orvex::RunCommand(argv);
  // A refused command shows in the reply even where the exit code is 0.
  if (result.exit_code != 0 || Refused(result.output)) {
    throw Orvex::RuntimeException(u"壁紙の設定に失敗 : swaymsg : " +
                                  Orvex::GetDefaultEncoding().ToWide(result.output.substr(0, 200)));
  }
}

// sway answers success for a file it cannot read and shows nothing.
void CheckReadable(const std::string& file) {
  if (!Orvex::UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC))) {
    throw Orvex::Win32Exception(u"壁紙の設定に失敗 : " + Orvex::GetDefaultEncoding().ToWide(file));
  }
}

// The output names go into sway's command as quoted words, as the paths do.
std::string SwayOutputWord(const Orvex::SharedString& name) {
  return SwayPathWord(Orvex::GetDefaultEncoding().ToMultiByte(name));
}

// swaymsg's list of outputs; nothing when sway cannot be asked.
std::optional<std::string> SwayOutputs() {
  Orvex::CommandResult outputs;
  try {
    outputs = Orvex::RunCommand({"swaymsg", "-r", "-t", "get_outputs"});
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (outputs.exit_code != 0) return std::nullopt;
  return outputs.output;
}

class SwayWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    CheckReadable(file);
    RunSway({"output", "*", "bg", SwayPathWord(file), "stretch"});
  }
  void Remove() override { RunSway({"output", "*", "bg", "#000000", "solid_color"}); }

  std::optional<Orvex::PlaneSize> ScreenSize() override {
    const std::optional<std::string> outputs = SwayOutputs();
    return outputs ? SwayScreenSize(*outputs) : std::nullopt;
  }

  std::optional<MonitorList> Monitors() override {
    const std::optional<std::string> outputs = SwayOutputs();
    if (!outputs) return std::nullopt;
    MonitorList monitors = SwayMonitors(*outputs);
    if (monitors.empty()) return std::nullopt;
    return monitors;
  }
  bool WantsMonitorFiles() const override { return true; }

  // Each output its own file, all in one message, so that sway redraws the
  // outputs together; "fill" keeps a file of the output's own size as it is.
  void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) override {
    std::vector<std::string> command;
    for (const MonitorWallpaper& monitor : wallpaper.monitors) {
      if (monitor.path.IsEmpty()) continue;
      const std::string own = Orvex::Detail::ToSystemPath(monitor.path);
      CheckReadable(own);
      if (!command.empty()) command.push_back(",");
      for (const std::string& word : {std::string("output"), SwayOutputWord(monitor.monitor.name),
                                      std::string("bg"), SwayPathWord(own), std::string("fill")}) {
        command.push_back(word);
      }
    }
    if (command.empty()) {
      Show(file, wallpaper.pixels);
      return;
    }
    RunSway(command);
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeSwayWallpaper() { return std::make_unique<SwayWallpaper>(); }

std::optional<Orvex::PlaneSize> SwayScreenSize(const std::string& outputs_json) {
  std::optional<Orvex::PlaneSize> largest;
  for (const Orvex::JsonValue& output : JsonArray(outputs_json)) {
    const Orvex::JsonValue& mode = output["current_mode"];
    const int width = mode["width"].ToInt(-1);
    const int height = mode["height"].ToInt(-1);
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) continue;
    if (!largest || static_cast<int64_t>(width) * height >
                        static_cast<int64_t>(largest->width) * largest->height) {
      largest = Orvex::PlaneSize{width, height};
    }
  }
  return largest;
}

MonitorList SwayMonitors(const std::string& outputs_json) {
  std::vector<LogicalOutput> outputs;
  for (const Orvex::JsonValue& output : JsonArray(outputs_json)) {
    // Outputs that are off keep an old rectangle, or none.
    if (!output["active"].ToBool()) continue;
    const Orvex::JsonValue& rect = output["rect"];
    LogicalOutput logical;
    logical.name = Orvex::GetDefaultEncoding().ToWide(output["name"].ToString());
    logical.x = rect["x"].ToDouble();
    logical.y = rect["y"].ToDouble();
    logical.width = rect["width"].ToDouble();
    logical.height = rect["height"].ToDouble();
    logical.scale = output["scale"].ToDouble(1);
    logical.focused = output["focused"].ToBool();
    outputs.push_back(std::move(logical));
  }
  return MonitorsFromLogicalLayout(outputs);
}

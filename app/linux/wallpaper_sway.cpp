#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

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

void RunSway(const std::vector<std::string>& command) {
  std::vector<std::string> argv = {"swaymsg"};
  argv.insert(argv.end(), command.begin(), command.end());
  const Orvex::CommandResult result = Orvex::RunCommand(argv);
  // A refused command shows in the reply even where the exit code is 0.
  if (result.exit_code != 0 || result.output.find("\"success\": false") != std::string::npos) {
    throw Orvex::RuntimeException(u"壁紙の設定に失敗 : swaymsg : " +
                                  Orvex::GetDefaultEncoding().ToWide(result.output.substr(0, 200)));
  }
}

// The number after "key": at or after from; -1 when there is none.
long NumberAfter(const std::string& json, const std::string& key, size_t from) {
  const size_t at = json.find("\"" + key + "\":", from);
  if (at == std::string::npos) return -1;
  return std::strtol(json.c_str() + at + key.size() + 3, nullptr, 10);
}

class SwayWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    // sway answers success for a file it cannot read and shows nothing.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      throw Orvex::Win32Exception(u"壁紙の設定に失敗 : " +
                                  Orvex::GetDefaultEncoding().ToWide(file));
    }
    ::close(fd);
    RunSway({"output", "*", "bg", SwayPathWord(file), "stretch"});
  }
  void Remove() override { RunSway({"output", "*", "bg", "#000000", "solid_color"}); }

  // The largest output's mode: the wallpaper is stretched onto each.
  std::optional<Orvex::PlaneSize> ScreenSize() override {
    Orvex::CommandResult outputs;
    try {
      outputs = Orvex::RunCommand({"swaymsg", "-r", "-t", "get_outputs"});
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (outputs.exit_code != 0) return std::nullopt;
    std::optional<Orvex::PlaneSize> largest;
    for (size_t at = outputs.output.find("\"current_mode\""); at != std::string::npos;
         at = outputs.output.find("\"current_mode\"", at + 1)) {
      const long width = NumberAfter(outputs.output, "width", at);
      const long height = NumberAfter(outputs.output, "height", at);
      if (width <= 0 || height <= 0 || width > 65535 || height > 65535) continue;
      if (!largest || width * height > static_cast<long>(largest->width) * largest->height) {
        largest = Orvex::PlaneSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
      }
    }
    return largest;
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeSwayWallpaper() { return std::make_unique<SwayWallpaper>(); }

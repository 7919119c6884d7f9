#include "app/linux/wallpaper_backend.h"
#include "foundation/posix/run_command.h"

namespace {

// A command the user chose. The file name goes into the argument as it is,
// so names with blanks or quotes stay one argument.
class CommandWallpaper : public WallpaperBackend {
 public:
  explicit CommandWallpaper(std::vector<std::string> argv) : argv_(std::move(argv)) {}

  void Show(const std::string& file, const Orvex::CPlane32*) override {
    std::vector<std::string> argv = argv_;
    for (std::string& argument : argv) {
      for (size_t at = argument.find("%f"); at != std::string::npos;
           at = argument.find("%f", at + file.size())) {
        argument.replace(at, 2, file);
      }
    }
    Orvex::RunCommandChecked(argv);
  }
  // A command says only how to show a picture; the last one stays.
  void Remove() override {}

 private:
  std::vector<std::string> argv_;
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeCommandWallpaper(std::vector<std::string> argv) {
  return std::make_unique<CommandWallpaper>(std::move(argv));
}

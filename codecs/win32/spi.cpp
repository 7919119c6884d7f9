#include "codecs/win32/spi.h"

#include <cstring>
#include <exception>

#include "codecs/win32/spi_interface.h"
#include "foundation/fault_translation.h"
#include "foundation/file_system.h"

namespace Orvex {

namespace {

// Makes the plug-in folder the current directory while its libraries load,
// so that libraries they depend on are found beside them; the previous one
// comes back however loading ends.
class CurrentDirectorySwitch {
 public:
  explicit CurrentDirectorySwitch(const SharedString& folder) : previous_(GetCurrentDirectory()) {
    SetCurrentDirectory(folder);
  }
  CurrentDirectorySwitch(const CurrentDirectorySwitch&) = delete;
  CurrentDirectorySwitch& operator=(const CurrentDirectorySwitch&) = delete;
  ~CurrentDirectorySwitch() {
    try {
      SetCurrentDirectory(previous_);
    } catch (const std::exception&) {
      // The previous directory is gone; nothing better to return to.
    }
  }

 private:
  SharedString previous_;
};

}  // namespace

std::mutex& SpiCallLock() {
  static std::mutex lock;
  return lock;
}

CSpi::CSpi(const SharedString& folder) { SetFolder(folder); }

CSpi::~CSpi() { FreeAll(); }

void CSpi::FreeAll() {
  // In load order, as they were loaded.
  for (auto& plugin : plugins_) plugin.reset();
  plugins_.clear();
}

void CSpi::SetFolder(const SharedString& folder) {
  if (has_folder_ && EqualsIgnoreCase(folder, folder_)) return;
  folder_ = folder;
  has_folder_ = true;
  FreeAll();

  std::vector<SharedString> files;
  try {
    if (folder.IsEmpty() || !IsDirectory(folder)) return;
    files = ListFiles(EnsureTrailingSeparator(folder), 0);
  } catch (const std::exception&) {
    return;
  }
  if (files.empty()) return;

  std::unique_ptr<CurrentDirectorySwitch> directory;
  try {
    directory = std::make_unique<CurrentDirectorySwitch>(folder);
  } catch (const std::exception&) {
    // Plug-ins without neighbours still load.
  }
  for (const SharedString& file : files) {
    if (GetExtension(file) != SharedString(u"spi")) continue;
    try {
      plugins_.push_back(std::make_unique<CDll>(file, true));
    } catch (const std::exception&) {
      // Not a library, or one whose dependencies are missing.
    }
  }
}

bool CSpi::IsImportFilter(size_t index) const {
  try {
    auto* get_plugin_info = GetEntry<Spi::GetPluginInfoFn>(index, "GetPluginInfo");
    char version[8] = {};
    const int length = CallGuarded([&] { return get_plugin_info(0, version, 5); });
    return length >= 4 && version[2] == 'I';
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace Orvex

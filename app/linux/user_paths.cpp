#include "app/linux/user_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/config_store.h"
#include "app/user_paths.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

namespace {

// The XDG base directory rules: a variable that is unset, empty or relative
// counts as unset.
std::string AbsoluteValue(const EnvironmentLookup& environment, const char* name) {
  const char* value = environment(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string HomeFolder(const EnvironmentLookup& environment) {
  std::string home = AbsoluteValue(environment, "HOME");
  if (home.empty()) {
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
      home = entry->pw_dir;
    }
  }
  if (home.empty()) home = "/";
  return home;
}

// $variable/pelmora/, or the folder under the home folder that stands in
// for an unset variable.
SharedString XdgFolder(const EnvironmentLookup& environment, const char* variable,
                       const char* under_home) {
  std::string base = AbsoluteValue(environment, variable);
  if (base.empty()) base = HomeFolder(environment) + "/" + under_home;
  if (base.back() != '/') base += '/';
  return Orvex::FromUtf8(base + "pelmora/");
}

bool IsWritableFolder(const SharedString& folder) {
  return access(Orvex::ToUtf8(folder).c_str(), W_OK | X_OK) == 0;
}

}  // namespace

UserPaths FindUserPaths(const SharedString& executable, const EnvironmentLookup& environment) {
  UserPaths paths;
  const SharedString beside = Orvex::ChangeExtension(executable, u"cfg");
  const uint32_t attributes = Orvex::GetAttributes(beside);
  // Saving writes a new file beside the old one and renames it, so the
  // folder itself must be writable, not only the file.
  paths.portable = attributes != Orvex::kInvalidFileAttributes &&
                   (attributes & Orvex::kFileAttributeDirectory) == 0 &&
                   IsWritableFolder(Orvex::DirectoryPart(executable));
  paths.data_folder = XdgFolder(environment, "XDG_DATA_HOME", ".local/share");
  if (paths.portable) {
    paths.settings_file = beside;
    paths.lock_name = executable + u".cfg";
    paths.image_folder = u"./image/";
  } else {
    paths.settings_file = XdgFolder(environment, "XDG_CONFIG_HOME", ".config") + u"pelmora.cfg";
    paths.lock_name = paths.settings_file + u".lock";
    paths.image_folder = paths.data_folder + u"image/";
  }
  return paths;
}

UserPaths CurrentUserPaths() { return FindUserPaths(Orvex::GetExecutablePath(), std::getenv); }

void CreateDefaultFolders() {
  try {
    const UserPaths paths = CurrentUserPaths();
    if (paths.portable || Orvex::Exists(paths.settings_file)) return;
    if (!Orvex::IsDirectory(paths.image_folder)) Orvex::CreateDirectories(paths.image_folder);
  } catch (...) {
  }
}

SharedString SettingsFilePath() { return CurrentUserPaths().settings_file; }
SharedString SettingsLockName() { return CurrentUserPaths().lock_name; }
SharedString DefaultImageFolder() { return CurrentUserPaths().image_folder; }

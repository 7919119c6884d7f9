#pragma once

#include <functional>

#include "foundation/shared_string.h"

// Where the program's files go on this system. A copy of the program that
// has its settings file beside it, in a folder it may write to, keeps
// everything there as on Windows (a portable copy); an installed program
// follows the XDG base directories of the user.
struct UserPaths {
  bool portable = false;
  Orvex::SharedString settings_file;
  Orvex::SharedString lock_name;
  // Where the finished wallpaper files are written, with a trailing '/'.
  Orvex::SharedString data_folder;
  // The image folder a fresh settings file names.
  Orvex::SharedString image_folder;
};

// The value of an environment variable, or nullptr.
using EnvironmentLookup = std::function<const char*(const char*)>;

UserPaths FindUserPaths(const Orvex::SharedString& executable,
                        const EnvironmentLookup& environment);
// The paths of this process.
UserPaths CurrentUserPaths();

// Makes the default image folder when an installed program starts for the
// first time, so that its first change finds the folder its new settings
// name rather than an error. Best effort: a failure shows up later as the
// missing folder.
void CreateDefaultFolders();

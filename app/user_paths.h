#pragma once

#include "foundation/shared_string.h"

// Where the program keeps its settings. On Windows the settings file sits
// beside the executable; elsewhere it does when the program was set up that
// way (a portable copy), and otherwise in the user's configuration folder.

// The settings file: every ConfigStore made without a path reads this one.
Orvex::SharedString SettingsFilePath();

// The lock held around every read-and-maybe-write of the settings in several
// steps (the command-line pass, LoadWithDefaults); it follows the file.
Orvex::SharedString SettingsLockName();

// The image folder a fresh settings file names, with a trailing separator.
Orvex::SharedString DefaultImageFolder();

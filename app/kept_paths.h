#pragma once

#include "foundation/shared_string.h"

// How the files the program keeps beside its settings name pictures: a
// picture inside the image folder by its path below that folder, so that
// the files survive the folder being moved or renamed, any other by its
// full path.

// `picture` relative to `folder` (a folder path) when it lies inside it;
// otherwise `picture` as it is.
Orvex::SharedString PathForKeeping(const Orvex::SharedString& picture,
                                   const Orvex::SharedString& folder);
// The full path of a kept path, with native separators.
Orvex::SharedString PathFromKeeping(const Orvex::SharedString& kept,
                                    const Orvex::SharedString& folder);
// Equal spellings of one path are one key: without regard to case where the
// file system ignores it.
Orvex::SharedString PathKey(const Orvex::SharedString& path);
// A file beside the settings file: its name with another extension.
Orvex::SharedString BesideSettings(const Orvex::SharedString& settings_file,
                                   const char16_t* extension);

#pragma once

#include <string>
#include <utility>

// Desktops keep a picture by its path: a new picture under the same name
// would not be shown, and writing over the file on show could show a torn
// one. The wallpaper therefore takes turns between two sibling names of the
// written file ("dir/Pelmora-a.bmp" and "dir/Pelmora-b.bmp" beside
// "dir/Pelmora.bmp"); the one changed in the longest time is the one not on
// show.

// Gives the written file's contents the sibling name not on show (a hard
// link, or a copy where links are refused), replacing that name in one
// step; the path now holding them. Throws the library's OS error.
std::string PublishUnderFreshName(const std::string& written);

// The two sibling names, the first one used first.
std::pair<std::string, std::string> AlternateNames(const std::string& written);

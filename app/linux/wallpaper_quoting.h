#pragma once

#include <string>

// The texts the desktops' settings and scripts take a file name in. Each
// one keeps any byte of the name (blanks, quotes, non-ASCII) intact.

// "file://" and the absolute path, every byte outside the unreserved set
// and '/' percent-encoded.
std::string FileUri(const std::string& path);

// A GVariant string literal ('...'), as gsettings and gdbus parse values.
std::string GVariantString(const std::string& text);

// A string literal for a JavaScript program ("..."), safe for any bytes.
std::string ScriptString(const std::string& text);

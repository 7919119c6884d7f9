#pragma once

#include <string>
#include <string_view>

#include "foundation/shared_string.h"

// The text with every line ending in "\r\n", as consoles and Windows text
// files have them.
std::u16string WithCrLf(std::u16string_view text);

// The bytes a pipe or a file gets: the text with "\r\n" line ends in the
// ANSI code page, which console tools and scripts read. A character the
// code page cannot spell becomes '?'.
std::string StatusFileBytes(const Orvex::SharedString& text);

enum class StatusOutputResult {
  kWritten,
  // The process has no output and no console to attach to (a start from
  // the desktop).
  kNowhere,
  kFailed,
};

// Writes the text to the output this process was given; a GUI program
// started from a console has none of its own and writes to that console.
// A console takes the UTF-16 text as it is; anything else gets
// StatusFileBytes.
StatusOutputResult WriteStatusOutput(const Orvex::SharedString& text);

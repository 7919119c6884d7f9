#pragma once

#include <functional>
#include <utility>

#include "app/config_store.h"
#include "app/desktop.h"
#include "foundation/shared_string.h"

// The user's OnChange command, run after every change that put a picture on
// show: colour-scheme tools and the like follow the wallpaper with it.

// Starts the command of the setting for one change and returns without
// waiting for it; throws when it cannot be started. Each system supplies
// its own: it expands the placeholders (ExpandHookPlaceholders) as its
// command lines need and never runs the command through a shell.
using HookLauncher =
    std::function<void(const Orvex::SharedString& command, const Orvex::SharedString& picture,
                       const Orvex::SharedString& wallpaper)>;

// The text with every "%f" replaced by picture and every "%w" by wallpaper,
// in one pass: a path that itself holds "%w" stays as it is. With
// quote_blanks, a value that holds a blank and stands outside double quotes
// is put in double quotes, so that it stays one argument of a Windows
// command line.
Orvex::SharedString ExpandHookPlaceholders(const Orvex::SharedString& text,
                                           const Orvex::SharedString& picture,
                                           const Orvex::SharedString& wallpaper,
                                           bool quote_blanks = false);

// A Windows command line split into the program (without its quotes) and
// the rest, for a process start that takes them apart.
std::pair<Orvex::SharedString, Orvex::SharedString> SplitProgramFromCommandLine(
    const Orvex::SharedString& command_line);

// Runs OnChange through the launcher after each change. A command that
// cannot be started is said once in a box; the same value failing again
// stays quiet until the setting changes or the command starts again.
class ChangeHook {
 public:
  ChangeHook(HookLauncher launcher, IDesktop& desktop)
      : launcher_(std::move(launcher)), desktop_(desktop) {}

  // picture: the picture now on show (the primary's where monitors have
  // their own). Nothing without a launcher or with OnChange absent or
  // blank.
  void AfterChange(const ConfigStore& store, const Orvex::SharedString& picture);

 private:
  HookLauncher launcher_;
  IDesktop& desktop_;
  Orvex::SharedString last_failed_;
};

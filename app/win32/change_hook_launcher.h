#pragma once

#include "foundation/shared_string.h"

// Starts the OnChange command line: "%f" and "%w" replaced (a path with
// blanks put in quotes unless the command quotes it), run as a program
// without a console window and without waiting. Throws when it cannot be
// started.
void LaunchChangeHook(const Orvex::SharedString& command, const Orvex::SharedString& picture,
                      const Orvex::SharedString& wallpaper);

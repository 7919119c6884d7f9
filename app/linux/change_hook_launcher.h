#pragma once

#include "foundation/shared_string.h"

// Starts the OnChange command: split into words as a shell would split
// them, "%f" and "%w" replaced inside each word (so a path with blanks
// stays one argument), run without a shell and without waiting; the
// program's end is collected in the background. Throws when the command is
// malformed or cannot be started.
void LaunchChangeHook(const Orvex::SharedString& command, const Orvex::SharedString& picture,
                      const Orvex::SharedString& wallpaper);

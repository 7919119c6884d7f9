#pragma once

#include "foundation/shared_string.h"

namespace Orvex {

// Puts the file source in the place of target in one step: every reader
// sees either the old target or the whole new file, also after a crash or
// a power loss (source must have been flushed to disk). Throws Win32Exception
// with the target's name.
void ReplaceFileAtomically(const SharedString& source, const SharedString& target);

}  // namespace Orvex

#pragma once

#include "foundation/file_system.h"
#include "foundation/shared_string.h"

namespace Orvex {

// A file that comes with the program (a helper program, a module): in the
// package's private folder as seen from program_folder (which ends in a
// separator) when it is there, otherwise beside the program, as in a build
// tree or a portable copy.
inline SharedString CompanionFile(const SharedString& program_folder, const SharedString& name) {
  const SharedString installed = program_folder + FromUtf8(PELMORA_PRIVATE_FROM_BINDIR "/") + name;
  return Exists(installed) ? installed : program_folder + name;
}

}  // namespace Orvex

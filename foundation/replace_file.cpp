#include "foundation/replace_file.h"

#include "foundation/exceptions.h"
#include "foundation/file_system_primitives.h"

namespace Orvex {

void ReplaceFileAtomically(const SharedString& source, const SharedString& target) {
  if (!Detail::CommitReplacement(source, target)) {
    throw Win32Exception(target + u" への置き換えに失敗");
  }
}

}  // namespace Orvex

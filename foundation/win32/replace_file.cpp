#include "foundation/replace_file.h"

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex {

void ReplaceFileAtomically(const SharedString& source, const SharedString& target) {
  if (!MoveFileExW(Wide(source), Wide(target),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Win32Exception(target + u" への置き換えに失敗");
  }
}

}  // namespace Orvex

#include "foundation/replace_file.h"

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex {

void ReplaceFileAtomically(const SharedString& source, const SharedString& target) {
  // A reader that has the target open without delete sharing (a virus
  // scanner, an editor, a search indexer) blocks the replacement for a
  // moment; wait a little for it before giving up.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(Wide(source), Wide(target),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return;
    }
    const DWORD error = GetLastError();
    if (attempt >= 40 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                          error != ERROR_LOCK_VIOLATION)) {
      SetLastError(error);
      throw Win32Exception(target + u" への置き換えに失敗");
    }
    Sleep(25);
  }
}

}  // namespace Orvex

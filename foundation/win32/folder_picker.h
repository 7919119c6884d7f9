#pragma once

#include "foundation/shared_string.h"
#include "foundation/win32/com_usage.h"
#include "foundation/win32/win32.h"

namespace Orvex {

// The shell's folder chooser. COM is kept initialised while the object
// lives.
class CFolderPicker {
 public:
  // Throws RuntimeException when COM cannot be initialised.
  CFolderPicker(HWND owner, const SharedString& title, const SharedString& folder);
  CFolderPicker(const CFolderPicker&) = delete;
  CFolderPicker& operator=(const CFolderPicker&) = delete;

  // Opens at the nearest existing folder of Folder(); OK is offered only
  // on existing folders. True when the user chose one: Folder() is then its
  // path with a trailing separator.
  bool Show();

  const SharedString& Folder() const { return folder_; }

 private:
  static int CALLBACK Callback(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

  ComUsage com_;
  HWND owner_;
  SharedString title_;
  SharedString folder_;
};

}  // namespace Orvex

#pragma once

#include <cstdint>

#include "foundation/win32/msg_hooker.h"
#include "foundation/win32/window.h"

namespace Orvex {

// A modal dialog built from a dialog resource of the module. The concrete
// dialog handles its messages in OnMessage.
class CResourceDialogBase : public IMsgHooker {
 public:
  explicit CResourceDialogBase(uint16_t resource_id);

  // Shows the dialog owned by owner and returns the result it ended with;
  // the owner gets the foreground back afterwards. Throws Win32Exception
  // when the dialog cannot be created.
  intptr_t DoModal(HWND owner);

  // Ends the modal run with the given result.
  void EndDialog(intptr_t result);

  CWindow& Window() { return window_; }
  HWND Handle() const { return window_.Handle(); }

 protected:
  CWindow window_;

 private:
  uint16_t resource_id_;
};

}  // namespace Orvex

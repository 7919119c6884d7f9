#include "foundation/win32/resource_dialog.h"

namespace Orvex {
namespace {

// The cursor must be visible while the dialog is up, whatever the rest of
// the program did with it.
class ForcedCursor {
 public:
  ForcedCursor() {
    ShowCursor(TRUE);
    ShowCursor(TRUE);
  }
  ForcedCursor(const ForcedCursor&) = delete;
  ForcedCursor& operator=(const ForcedCursor&) = delete;
  ~ForcedCursor() {
    ShowCursor(FALSE);
    ShowCursor(FALSE);
  }
};

}  // namespace

CResourceDialogBase::CResourceDialogBase(uint16_t resource_id) : resource_id_(resource_id) {
  window_.SetKind(WindowKind::kModalDialog);
  window_.AddHooker(this);
}

intptr_t CResourceDialogBase::DoModal(HWND owner) {
  intptr_t result;
  {
    ForcedCursor cursor;
    CModalDialogParameter parameter;
    parameter.resource_id = resource_id_;
    parameter.owner = owner;
    result = window_.RunModalDialog(parameter);
  }
  if (owner) BringToForeground(owner);
  return result;
}

void CResourceDialogBase::EndDialog(intptr_t result) {
  window_.SetDialogResult(result);
  window_.Destroy();
}

}  // namespace Orvex

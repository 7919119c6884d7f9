#pragma once

#include <vector>

#include "foundation/shared_string.h"
#include "foundation/win32/msg_hooker.h"
#include "foundation/win32/window.h"

namespace Orvex {

// Tips shown when the pointer rests on a control of a dialog. The tip
// window goes with the dialog's WM_DESTROY.
class CDialogTooltip : public IMsgHooker {
 public:
  // dialog must have its window already (WM_INITDIALOG or later).
  explicit CDialogTooltip(CWindow& dialog);
  ~CDialogTooltip() override;

  // Does nothing when the dialog has no control with that id. "\r\n" in the
  // text breaks the line.
  void AddTool(int control_id, const SharedString& text);

  HWND TooltipWindow() const { return tooltip_; }

  bool OnMessage(SMessage& message) override;

 private:
  void DestroyTooltip();

  HWND dialog_;
  HWND tooltip_ = nullptr;
  // The tip window reads the texts from here while it lives.
  std::vector<SharedString> texts_;
};

}  // namespace Orvex

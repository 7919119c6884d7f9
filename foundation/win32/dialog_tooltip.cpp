#include "foundation/win32/dialog_tooltip.h"

#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <commctrl.h>
// clang-format on

namespace Orvex {
namespace {

constexpr int kMaxTipWidth = 384;
constexpr int kTipShowMilliseconds = 30000;

}  // namespace

CDialogTooltip::CDialogTooltip(CWindow& dialog) : dialog_(dialog.Handle()) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  if (tooltip_) {
    PostMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    PostMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kTipShowMilliseconds, 0));
  }
  dialog.AddHooker(this);
}

CDialogTooltip::~CDialogTooltip() { DestroyTooltip(); }

void CDialogTooltip::DestroyTooltip() {
  if (tooltip_) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  texts_.clear();
}

void CDialogTooltip::AddTool(int control_id, const SharedString& text) {
  HWND control = GetDlgItem(dialog_, control_id);
  if (!control || !tooltip_) return;
  texts_.push_back(text);
  TTTOOLINFOW tool = {};
  // The first record layout: every version of the tooltip control takes it.
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  wchar_t class_name[16] = {};
  GetClassNameW(control, class_name, 16);
  if (lstrcmpiW(class_name, L"Edit") == 0) tool.uFlags |= TTF_CENTERTIP;
  tool.hwnd = dialog_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(Wide(texts_.back()));
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool CDialogTooltip::OnMessage(SMessage& message) {
  if (message.id == WM_DESTROY) DestroyTooltip();
  return false;
}

}  // namespace Orvex

#pragma once

#include <functional>
#include <span>

class QMenu;

// One entry of the tray icon's menu; id 0 is a separator.
struct TrayMenuItem {
  int id;
  const char16_t* text;
};

// The tray icon's menu, top to bottom.
std::span<const TrayMenuItem> TrayMenuItems();

// Fills the menu with the items; choosing one runs the command with its
// identifier. No item is ever disabled or checked: suspend and resume are
// both always offered.
void FillTrayMenu(QMenu& menu, const std::function<void(int)>& run_command);

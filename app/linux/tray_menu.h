#pragma once

#include <functional>

class QMenu;

// Fills the menu with the items of kTrayMenuItems; choosing one runs the command with its
// identifier. No item is ever disabled or checked: suspend and resume are
// both always offered.
void FillTrayMenu(QMenu& menu, const std::function<void(int)>& run_command);

#pragma once

#include "foundation/shared_string.h"
#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <shellapi.h>
// clang-format on

// The program's icon in the notification area. It keeps the first, narrow
// version of the shell's record, which every shell takes.
class TrayIcon {
 public:
  TrayIcon(HWND owner, UINT callback_message);
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon();

  // Shows the icon resource of the executable (adds it the first time).
  // False when the shell refused; the icon is then as it was.
  bool SetIcon(int resource_id);
  // The tooltip in the system's narrow code page, cut to what the record
  // holds without splitting a character.
  void SetTip(const Orvex::SharedString& text);
  // True for the shell's "TaskbarCreated" message: the shell restarted and
  // a shown icon is added again.
  bool OnTaskbarCreated(UINT message);
  void Remove();

  bool Shown() const { return shown_; }
  const NOTIFYICONDATAA& Record() const { return record_; }

 private:
  NOTIFYICONDATAA record_ = {};
  Orvex::UniqueIcon icon_;  // the icon the record shows
  bool shown_ = false;
};

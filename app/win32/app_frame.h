#pragma once

#include "app/tray_commands.h"
#include "foundation/win32/app_frame_base.h"

// The program's start: the command line's switches, then either the
// resident tray window (first instance) or a notification of the resident
// instance.
class CAppFrame : public Orvex::CSingleAppFrameBase {
 public:
  using CSingleAppFrameBase::CSingleAppFrameBase;

  int Run() override;
};

// Has the resident instance of this program run a tray command; the
// default reloads its settings and changes the wallpaper. False when there
// is none.
bool NotifyResidentInstance(int command = kCmdNotify);

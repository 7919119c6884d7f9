#pragma once

#include "foundation/win32/app_frame_base.h"

// The program's start: the command line's switches, then either the
// resident tray window (first instance) or a notification of the resident
// instance.
class CAppFrame : public Orvex::CSingleAppFrameBase {
 public:
  using CSingleAppFrameBase::CSingleAppFrameBase;

  int Run() override;
};

// Tells the resident instance of this program to reload its settings and
// change the wallpaper. False when there is none.
bool NotifyResidentInstance();

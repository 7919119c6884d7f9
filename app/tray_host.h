#pragma once

#include <cstdint>

#include "foundation/shared_string.h"

inline constexpr int kRunningIconId = 101;
inline constexpr int kSuspendedIconId = 102;

// What the resident program's host gives the change cycle: the tray icon
// with its tooltip, and the timer that drives the changes. The tray window
// of each desktop implements it; the one-shot start has none.
class ITrayHost {
 public:
  ITrayHost() = default;
  ITrayHost(const ITrayHost&) = delete;
  ITrayHost& operator=(const ITrayHost&) = delete;
  virtual ~ITrayHost() = default;

  virtual void SetTrayIcon(int icon_id, const Orvex::SharedString& tooltip) = 0;
  // Re-arms the change timer with the given period.
  virtual void SetChangeTimer(uint32_t period_ms) = 0;
};

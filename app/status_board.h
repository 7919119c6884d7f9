#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "app/composed_render.h"
#include "foundation/shared_string.h"

// The resident program's state as "/status" reports it. The cycle runs on
// the tray window's thread, and one change of a large picture can take
// seconds there; "/status" is answered on a thread of its own from the copy
// the cycle last posted, so that it never waits for a change to end.
struct StatusFacts {
  // False until the cycle first posted: there is no resident state yet.
  bool posted = false;
  // The picture on show, and with a picture per monitor what each shows.
  Orvex::SharedString current;
  std::vector<MonitorSource> monitors;
  bool suspended = false;
  // When the change timer was last armed, and its period; none without one.
  std::optional<std::chrono::steady_clock::time_point> timer_armed;
  uint32_t timer_period_ms = 0;
  // The image folder of the settings the cycle last read, as a full path.
  Orvex::SharedString image_folder;
  size_t pictures = 0;
  uint32_t shown = 0;
  size_t excluded = 0;
};

// Whole seconds, rounded up, until the timer's next change; nothing while
// suspended or without a timer. The timer fires every period from when it
// was armed.
std::optional<int64_t> SecondsToNextChange(const StatusFacts& facts,
                                           std::chrono::steady_clock::time_point now);

// The last facts posted, safe to post and read from any thread.
class StatusBoard {
 public:
  void Post(StatusFacts facts);
  StatusFacts Read() const;

 private:
  mutable std::mutex mutex_;
  StatusFacts facts_;
};

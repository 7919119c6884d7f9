#pragma once

#include <chrono>

#include "app/status_board.h"
#include "foundation/shared_string.h"

// What "/status" answers: the resident program's state as lines in the
// settings file's "key = value" style, each ending in "\n":
//   Current            the picture on show (Current[NAME] for each monitor
//                      where monitors have their own pictures)
//   Suspend            true or false
//   NextChange(sec)    seconds until the timer's next change; empty while
//                      suspended
//   ImageDir           the image folder, as a full path
//   Pictures           the pictures in the round
//   Shown              how many of them this round has shown
//   Excluded           the pictures on the exclude list
// Empty for facts that were never posted.
Orvex::SharedString StatusReport(const StatusFacts& facts,
                                 std::chrono::steady_clock::time_point now);

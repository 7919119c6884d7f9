#pragma once

#include <memory>
#include <thread>

#include "app/status_board.h"
#include "foundation/win32/win32.h"

// Answers "/status" on a thread of its own. The resident window's thread
// can spend seconds in one change of a large picture, and a second start
// gives up after a few; this thread's message-only window takes the
// question at once and answers from what the cycle posted last (see
// status_channel.h for the exchange).
class StatusResponder {
 public:
  // Throws Orvex::Win32Exception when the window cannot be made.
  explicit StatusResponder(std::shared_ptr<const StatusBoard> board);
  StatusResponder(const StatusResponder&) = delete;
  StatusResponder& operator=(const StatusResponder&) = delete;
  ~StatusResponder();

  // The window a second start asks; the resident window names it.
  HWND Handle() const { return window_; }

 private:
  void Run(HANDLE ready);

  std::shared_ptr<const StatusBoard> board_;
  HWND window_ = nullptr;
  std::thread thread_;
};

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "foundation/posix/resident_instance.h"
#include "foundation/posix/unique_fd.h"

// Takes second starts off the resident program's socket on a thread of its
// own. The program's main thread can spend seconds in one change of a large
// picture; a question such as "status" is answered here meanwhile, from
// state that is safe to read on any thread, and every other line is handed
// on for the main thread to act on in its turn.
class ResidentListener {
 public:
  // The answer to a line that is answered here, or nothing for a line to
  // hand on. Runs on the listener's thread.
  using Answerer = std::function<std::optional<std::string>(const std::string& line)>;
  // Takes a line to act on, in the order the peers connected. Runs on the
  // listener's thread and must not wait for the main thread: it only
  // queues the line there.
  using Forwarder = std::function<void(std::string line)>;

  // Listens on instance's socket until destroyed; instance must outlive
  // this. Throws Orvex::Win32Exception when the thread cannot be set up.
  ResidentListener(ResidentInstance& instance, Answerer answer_here, Forwarder forward);
  ResidentListener(const ResidentListener&) = delete;
  ResidentListener& operator=(const ResidentListener&) = delete;
  // Stops taking peers and waits for the thread; peers not yet taken stay
  // queued on the socket.
  ~ResidentListener();

 private:
  void Run();
  // Takes the peers waiting now; false when none could be taken.
  bool Serve();

  ResidentInstance& instance_;
  Answerer answer_here_;
  Forwarder forward_;
  // Written to wake the thread when it is to end.
  Orvex::UniqueFd stop_;
  std::thread thread_;
};

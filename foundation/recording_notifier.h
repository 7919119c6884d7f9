#pragma once

#include <functional>
#include <vector>

#include "foundation/error_reporting.h"

namespace Orvex::Test {

// For tests: records every box instead of showing it, from construction to
// destruction, and answers each with OK.
class RecordingNotifier : public IUserNotifier {
 public:
  RecordingNotifier() : previous_(SetUserNotifier(this)) {}
  RecordingNotifier(const RecordingNotifier&) = delete;
  RecordingNotifier& operator=(const RecordingNotifier&) = delete;
  ~RecordingNotifier() override { SetUserNotifier(previous_); }

  int Notify(WindowHandle owner, unsigned flags, const SharedString& caption,
             const SharedString& text) override {
    owners.push_back(owner);
    flags_given.push_back(flags);
    captions.push_back(caption);
    texts.push_back(text);
    if (while_open) while_open();
    return kIdOk;
  }

  // Runs while a box is open, as the box's own event loop would run the
  // program's timers and messages.
  std::function<void()> while_open;

  std::vector<WindowHandle> owners;
  std::vector<unsigned> flags_given;
  std::vector<SharedString> captions;
  std::vector<SharedString> texts;

 private:
  IUserNotifier* previous_;
};

}  // namespace Orvex::Test

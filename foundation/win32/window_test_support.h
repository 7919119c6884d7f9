#pragma once

#include <functional>
#include <vector>

#include "foundation/error_reporting.h"
#include "foundation/win32/msg_hooker.h"

namespace Orvex::Test {

// Records every box instead of showing it.
class RecordingNotifier : public IUserNotifier {
 public:
  RecordingNotifier() : previous_(SetUserNotifier(this)) {}
  ~RecordingNotifier() override { SetUserNotifier(previous_); }
  int Notify(WindowHandle, unsigned, const SharedString& caption,
             const SharedString& text) override {
    captions.push_back(caption);
    texts.push_back(text);
    return kIdOk;
  }
  std::vector<SharedString> captions;
  std::vector<SharedString> texts;

 private:
  IUserNotifier* previous_;
};

// A hooker that runs a function for every message.
class FunctionHooker : public IMsgHooker {
 public:
  explicit FunctionHooker(std::function<bool(SMessage&)> handler) : handler_(std::move(handler)) {}
  bool OnMessage(SMessage& message) override { return handler_(message); }

 private:
  std::function<bool(SMessage&)> handler_;
};

}  // namespace Orvex::Test

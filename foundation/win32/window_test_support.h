#pragma once

#include <functional>
#include <vector>

#include "foundation/error_reporting.h"
#include "foundation/recording_notifier.h"
#include "foundation/win32/msg_hooker.h"

namespace Orvex::Test {

// A hooker that runs a function for every message.
class FunctionHooker : public IMsgHooker {
 public:
  explicit FunctionHooker(std::function<bool(SMessage&)> handler) : handler_(std::move(handler)) {}
  bool OnMessage(SMessage& message) override { return handler_(message); }

 private:
  std::function<bool(SMessage&)> handler_;
};

}  // namespace Orvex::Test

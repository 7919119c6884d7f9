#pragma once

#include <utility>

namespace Orvex {

// Runs its action when the scope it guards is left, by return or by
// exception: for state that must not outlive a call, such as "a dialog is
// open".
template <class Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ~ScopeExit() { action_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace Orvex

#include "app/status_board.h"

#include <algorithm>
#include <utility>

std::optional<int64_t> SecondsToNextChange(const StatusFacts& facts,
                                           std::chrono::steady_clock::time_point now) {
  if (facts.suspended || !facts.timer_armed) return std::nullopt;
  // A zero period fires as often as the system timer can.
  const auto period = std::chrono::milliseconds(std::max<uint32_t>(facts.timer_period_ms, 1));
  const auto since =
      std::max(now - *facts.timer_armed, std::chrono::steady_clock::duration::zero());
  const auto left = period - since % period;
  return std::chrono::ceil<std::chrono::seconds>(left).count();
}

void StatusBoard::Post(StatusFacts facts) {
  facts.posted = true;
  const std::lock_guard<std::mutex> lock(mutex_);
  facts_ = std::move(facts);
}

StatusFacts StatusBoard::Read() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return facts_;
}

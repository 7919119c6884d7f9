#include "foundation/win32/msg_hooker.h"

#include <algorithm>

namespace Orvex {

IMsgHooker::~IMsgHooker() {
  // Each Remove may delete its list, so walk a copy.
  const std::vector<MessageList*> lists = std::move(lists_);
  for (MessageList* list : lists) list->Remove(this);
}

void MessageList::Add(IMsgHooker* hooker) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  entries_.push_back({hooker, true});
  if (std::find(hooker->lists_.begin(), hooker->lists_.end(), this) == hooker->lists_.end()) {
    hooker->lists_.push_back(this);
  }
}

size_t MessageList::ActiveCount() const {
  return std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.active; });
}

void MessageList::Remove(IMsgHooker* hooker) {
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (Entry& entry : entries_) {
      if (entry.hooker == hooker) entry.active = false;
    }
    removals_pending_ = true;
    if (depth_ > 0) return;
  }
  ApplyRemovals();
}

void MessageList::ApplyRemovals() {
  bool empty;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (depth_ > 0 || !removals_pending_) return;
    std::erase_if(entries_, [](const Entry& e) { return !e.active; });
    removals_pending_ = false;
    empty = entries_.empty();
  }
  if (empty) delete this;
}

bool MessageList::Dispatch(SMessage& message) {
  // Restores the depth and erases what left, also when a hooker throws.
  struct Depth {
    explicit Depth(MessageList& list) : list(list) {
      list.lock_.lock();
      ++list.depth_;
    }
    ~Depth() {
      --list.depth_;
      list.lock_.unlock();
      list.ApplyRemovals();
    }
    MessageList& list;
  };

  MessageList* const previous = message.list;
  message.list = this;
  bool handled = false;
  {
    Depth depth(*this);
    // Hookers added while the message is on its way wait for the next one.
    const size_t count = entries_.size();
    for (size_t i = 0; i < count; ++i) {
      // Index, not iterator: a nested Add may reallocate the vector, and
      // nothing is erased while the depth is above zero.
      if (!entries_[i].active) continue;
      if (entries_[i].hooker->OnMessage(message)) handled = true;
    }
  }
  message.list = previous;
  return handled;
}

}  // namespace Orvex

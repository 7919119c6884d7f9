#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "foundation/win32/win32.h"

namespace Orvex {

class MessageList;

// One window message on its way through the hookers of a window.
struct SMessage {
  HWND window = nullptr;
  uint32_t id = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  // What the window procedure returns when a hooker handled the message.
  LRESULT result = 0;
  // The list dispatching the message right now.
  MessageList* list = nullptr;
};

// Receives the messages of the windows it is hooked into. A hooker may be
// destroyed at any time, also from inside its own OnMessage: it leaves every
// list it is in.
class IMsgHooker {
 public:
  IMsgHooker() = default;
  IMsgHooker(const IMsgHooker&) = delete;
  IMsgHooker& operator=(const IMsgHooker&) = delete;
  virtual ~IMsgHooker();

  // True when the hooker handled the message (message.result is then what
  // the window returns).
  virtual bool OnMessage(SMessage& message) = 0;

 private:
  friend class MessageList;
  std::vector<MessageList*> lists_;
};

// The hookers of one window in the order they were added. Every hooker sees
// every message, even after an earlier one handled it. Dispatch may nest on
// the window's thread (a handler that sends a message); hookers leaving
// during a dispatch are only marked and erased when the outermost dispatch
// is done. The list lives on the heap and deletes itself when its last
// hooker leaves.
class MessageList {
 public:
  static MessageList* Create() { return new MessageList; }
  MessageList(const MessageList&) = delete;
  MessageList& operator=(const MessageList&) = delete;

  void Add(IMsgHooker* hooker);
  // True when a hooker handled the message. What a hooker throws stops the
  // dispatch and passes on; the list stays consistent.
  bool Dispatch(SMessage& message);

  // Hookers still in the list (for tests).
  size_t ActiveCount() const;
  size_t EntryCount() const { return entries_.size(); }

 private:
  friend class IMsgHooker;
  struct Entry {
    IMsgHooker* hooker;
    bool active;
  };

  MessageList() = default;
  ~MessageList() = default;

  void Remove(IMsgHooker* hooker);
  // Erases what left while idle; may delete the list: nothing may touch it
  // afterwards.
  void ApplyRemovals();

  std::recursive_mutex lock_;
  std::vector<Entry> entries_;
  int depth_ = 0;
  bool removals_pending_ = false;
};

}  // namespace Orvex

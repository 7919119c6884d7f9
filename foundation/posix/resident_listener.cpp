#include "foundation/posix/resident_listener.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "foundation/exceptions.h"

namespace {

constexpr int kIdlePauseMs = 10;

}  // namespace

ResidentListener::ResidentListener(ResidentInstance& instance, Answerer answer_here,
                                   Forwarder forward)
    : instance_(instance),
      answer_here_(std::move(answer_here)),
      forward_(std::move(forward)),
      stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!stop_) throw Orvex::Win32Exception(u"イベントの作成に失敗");
  thread_ = std::thread([this] { Run(); });
}

ResidentListener::~ResidentListener() {
  const uint64_t one = 1;
  // An eventfd write of 1 only fails when the counter is full, and then
  // the thread is woken already.
  [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
  thread_.join();
}

void ResidentListener::Run() {
  pollfd watched[2] = {{instance_.ListeningFd(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
  for (;;) {
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    if (watched[0].revents & (POLLERR | POLLNVAL)) return;
    // Readable yet nothing taken (no descriptor left to accept with, for
    // one): a pause, so that the thread does not spin on it.
    if ((watched[0].revents & POLLIN) && !Serve()) poll(&watched[1], 1, kIdlePauseMs);
  }
}

bool ResidentListener::Serve() {
  std::vector<ResidentInstance::Message> messages;
  // A failure to take one round of peers leaves them for the next; the
  // listener itself must go on.
  try {
    messages = instance_.TakeMessages();
  } catch (const std::exception&) {
    return false;
  }
  for (ResidentInstance::Message& message : messages) {
    try {
      std::optional<std::string> answer = answer_here_(message.line);
      if (answer) {
        ResidentInstance::Answer(message, *answer);
      } else {
        // The peer only told; it does not wait for the act.
        message.peer.Reset();
        forward_(std::move(message.line));
      }
    } catch (const std::exception&) {
      // That peer goes without an answer; the others are still served.
    }
  }
  return !messages.empty();
}

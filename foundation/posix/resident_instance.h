#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/posix/unique_fd.h"

// One resident program per user and executable. The process that holds an
// flock on "<name>.lock" in a private folder is the resident one; it
// listens on the Unix socket "<name>.sock" beside it, and later starts of
// the same program send it one short line there instead of starting
// another tray icon.
//
// The private folder is $XDG_RUNTIME_DIR/pelmora/ (or /tmp/pelmora-<uid>/
// when the session has no runtime folder). It is made with mode 0700 and
// used only when it is a real folder owned by this user that nobody else
// can enter: anyone else who could put files there could plant a socket
// that receives our messages or a lock that keeps us from starting.
class ResidentInstance {
 public:
  // Messages longer than this are dropped.
  static constexpr size_t kMaxMessageBytes = 128;
  // Answers longer than this are neither sent nor taken.
  static constexpr size_t kMaxAnswerBytes = 256 * 1024;

  // One line from a peer, with the connection to it still open for an
  // answer; the connection closes when this goes.
  struct Message {
    std::string line;
    Orvex::UniqueFd peer;
  };

  // Becomes the resident instance of this executable in the default folder.
  // nullptr when another process already is; throws Orvex::Win32Exception
  // when the folder cannot be made safe or the socket cannot be set up.
  static std::unique_ptr<ResidentInstance> TryBecomeResident();
  // The same in the given folder, under the given name.
  static std::unique_ptr<ResidentInstance> TryBecomeResident(const std::string& folder,
                                                             const std::string& name);

  ResidentInstance(const ResidentInstance&) = delete;
  ResidentInstance& operator=(const ResidentInstance&) = delete;
  // Removes the socket, then gives up the lock.
  ~ResidentInstance();

  // Readable when peers are waiting to be taken (for a QSocketNotifier).
  int ListeningFd() const { return listener_.Get(); }

  // Accepts the connections waiting now and returns their messages, one
  // line each without its line end, in the order they connected. Peers of
  // another user, peers that send nothing within a short time, and
  // messages that are too long or hold control characters are dropped.
  // Never blocks for long: each peer gets a bounded time to speak.
  std::vector<Message> TakeMessages();

  // Writes the answer to the message's peer and closes the connection.
  // A peer that does not read is given up after a short time, so that it
  // cannot hold up the resident program; false then, and for an answer
  // longer than kMaxAnswerBytes, which is not sent at all.
  static bool Answer(Message& message, const std::string& answer);

  const std::string& SocketPath() const { return socket_path_; }

 private:
  ResidentInstance(Orvex::UniqueFd lock, Orvex::UniqueFd listener, std::string socket_path);

  Orvex::UniqueFd lock_;
  Orvex::UniqueFd listener_;
  std::string socket_path_;
};

// Sends one line to the resident instance of this executable (a second
// start: "notify" makes it reload its settings and change the wallpaper).
// False when no resident instance takes it. A resident instance that is
// still setting up its socket is waited for briefly.
//
// A start that wants to become resident calls TryBecomeResident first and,
// when that gives nullptr and NotifyResident then reports false (the
// resident one ended in between), tries TryBecomeResident once more.
bool NotifyResident(const std::string& message = "notify");
bool NotifyResident(const std::string& folder, const std::string& name, const std::string& message);

// Sends one line to the resident instance and returns what it answers
// (read until it closes the connection). Nothing when no resident instance
// takes the line, when it closes without answering, or when its answer
// does not come within the limit or is longer than kMaxAnswerBytes.
std::optional<std::string> AskResident(const std::string& message);
std::optional<std::string> AskResident(const std::string& folder, const std::string& name,
                                       const std::string& message,
                                       std::chrono::milliseconds limit = std::chrono::seconds(5));

// The private folder with its trailing '/' (not checked or made here), and
// the name this executable's lock and socket go by.
std::string ResidentFolder();
std::string ResidentName();

// Makes folder (mode 0700, its parent must exist) unless it exists, and
// throws Orvex::Win32Exception unless it is then a folder, not a symbolic
// link, owned by this user and closed to everyone else.
void EnsurePrivateFolder(const std::string& folder);

#include "foundation/posix/resident_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/shared_string.h"

using Orvex::UniqueFd;

namespace {

// A peer connects and writes its line at once; one that stays silent longer
// than this is dropped rather than holding up the resident program.
constexpr int kPeerTimeoutMs = 250;
// How long an answer may take to be written: a peer that does not read it
// is given up.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(500);
// A flood of connections is taken in portions; the rest wait for the next
// call, so the program stays responsive.
constexpr int kMaxPeersPerCall = 16;
// How long a second start waits for a resident instance that holds the lock
// but has not yet opened its socket, or whose queue of peers is full.
constexpr auto kStartingResidentWait = std::chrono::seconds(3);

Orvex::SharedString Text(const std::string& utf8) { return Orvex::FromUtf8(utf8); }

// Thrown for a check that failed rather than a call: no system text follows.
[[noreturn]] void ThrowUnsafe(const std::string& folder) {
  errno = 0;
  throw Orvex::Win32Exception(u"フォルダ '" + Text(folder) +
                              u"' は自分専用のフォルダではないため使用できません");
}

// The address of a socket file in folder (which ends in '/'). sun_path holds
// only a little over 100 bytes, and a runtime folder under a long home or
// build folder can need more: the file is then named through a descriptor
// of its folder, /proc/self/fd/N/file, which reaches the same file.
class SocketAddress {
 public:
  SocketAddress(const std::string& folder, const std::string& file) {
    address_.sun_family = AF_UNIX;
    if (Fill(folder + file)) return;
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    folder_.Reset(open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder_ && Fill("/proc/self/fd/" + std::to_string(folder_.Get()) + "/" + file)) return;
    errno = ENAMETOOLONG;
  }

  bool Valid() const { return valid_; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t Size() const { return sizeof address_; }

 private:
  bool Fill(const std::string& path) {
    if (path.size() >= sizeof address_.sun_path) return false;
    path.copy(address_.sun_path, path.size());
    valid_ = true;
    return true;
  }

  UniqueFd folder_;
  sockaddr_un address_{};
  bool valid_ = false;
};

// Waits until fd is ready for events or the deadline passes.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool IsPlainText(const std::string& line) {
  for (unsigned char c : line) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

// One line from a peer that has just connected: up to the first line end or
// the end of the stream, within the time limit and the size limit.
bool ReadMessage(int fd, std::string& line) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerTimeoutMs);
  std::string received;
  char buffer[ResidentInstance::kMaxMessageBytes + 2];
  for (;;) {
    const size_t newline = received.find('\n');
    if (newline != std::string::npos) {
      received.resize(newline);
      break;
    }
    if (received.size() > ResidentInstance::kMaxMessageBytes) return false;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      received.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd, POLLIN, deadline)) return false;
    } else if (errno != EINTR) {
      return false;
    }
  }
  if (received.empty() || received.size() > ResidentInstance::kMaxMessageBytes ||
      !IsPlainText(received)) {
    return false;
  }
  line = std::move(received);
  return true;
}

bool SendAll(int fd, const std::string& data, std::chrono::steady_clock::time_point deadline) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

enum class Delivery { kDelivered, kNoListener, kBusy, kFailed };

// connection, when given, receives the connection the line went out on.
Delivery TrySend(const std::string& folder, const std::string& file, const std::string& line,
                 UniqueFd* connection) {
  const SocketAddress address(folder, file);
  if (!address.Valid()) return Delivery::kFailed;
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return Delivery::kFailed;
  if (connect(fd.Get(), address.Get(), address.Size()) != 0) {
    if (errno == ENOENT || errno == ECONNREFUSED) return Delivery::kNoListener;
    // The queue of waiting peers is full: the resident program is busy.
    if (errno == EAGAIN) return Delivery::kBusy;
    return Delivery::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  if (!SendAll(fd.Get(), line, deadline)) return Delivery::kFailed;
  if (connection) *connection = std::move(fd);
  return Delivery::kDelivered;
}

// True while some process holds the resident lock. Only asked when the
// socket does not answer, so the brief shared hold taken here rarely meets
// a start that tries to become resident.
bool ResidentLockHeld(const std::string& lock_path) {
  UniqueFd fd(open(lock_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return false;
  while (flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) {
    if (errno != EINTR) return errno == EWOULDBLOCK;
  }
  return false;
}

// Everything the peer writes until it closes, within the deadline and the
// size limit.
std::optional<std::string> ReadToEnd(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string received;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      received.append(buffer, static_cast<size_t>(n));
      if (received.size() > ResidentInstance::kMaxAnswerBytes) return std::nullopt;
    } else if (n == 0) {
      return received;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd, POLLIN, deadline)) return std::nullopt;
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

// Hands the line to the resident instance, waiting briefly for one that is
// still setting up or busy.
bool Deliver(const std::string& folder, const std::string& name, const std::string& message,
             UniqueFd* connection) {
  if (message.empty() || message.size() > ResidentInstance::kMaxMessageBytes ||
      !IsPlainText(message)) {
    return false;
  }
  // Only a folder that passes the checks is trusted with the message.
  try {
    EnsurePrivateFolder(folder);
  } catch (const Orvex::Exception&) {
    return false;
  }
  const std::string line = message + '\n';
  const auto give_up = std::chrono::steady_clock::now() + kStartingResidentWait;
  for (;;) {
    const Delivery delivery = TrySend(folder, name + ".sock", line, connection);
    if (delivery == Delivery::kDelivered) return true;
    if (delivery == Delivery::kFailed || std::chrono::steady_clock::now() > give_up) return false;
    if (delivery == Delivery::kNoListener && !ResidentLockHeld(folder + name + ".lock")) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

void EnsurePrivateFolder(const std::string& folder) {
  // A trailing '/' would make the system follow a symbolic link in the last
  // step whatever O_NOFOLLOW says.
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    throw Orvex::Win32Exception(u"フォルダ '" + Text(folder) + u"' の作成に失敗");
  }
  // Checked on the opened folder itself, so that a symbolic link or a
  // folder swapped in after the check cannot pass it.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    if (errno == ELOOP || errno == ENOTDIR) ThrowUnsafe(folder);
    throw Orvex::Win32Exception(u"フォルダ '" + Text(folder) + u"' を開けません");
  }
  struct stat info;
  if (fstat(fd.Get(), &info) != 0) {
    throw Orvex::Win32Exception(u"フォルダ '" + Text(folder) + u"' を開けません");
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    ThrowUnsafe(folder);
  }
}

std::string ResidentFolder() {
  // A runtime folder named by a session that has since ended (a login
  // shell's stale variable) is no better than none.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info;
  if (runtime && runtime[0] == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode)) {
    std::string folder = runtime;
    if (folder.back() != '/') folder += '/';
    return folder + "pelmora/";
  }
  // /tmp is shared by every user: a folder of our own, told apart by the
  // user id and checked like the runtime one.
  return "/tmp/pelmora-" + std::to_string(geteuid()) + "/";
}

std::string ResidentName() {
  // The executable's full path decides which program this is: a copy in
  // another folder (a portable one beside its own settings) is resident on
  // its own. The hash keeps the socket path short.
  const std::string path = Orvex::ToUtf8(Orvex::GetExecutablePath());
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string("resident-") + hex;
}

std::unique_ptr<ResidentInstance> ResidentInstance::TryBecomeResident() {
  return TryBecomeResident(ResidentFolder(), ResidentName());
}

std::unique_ptr<ResidentInstance> ResidentInstance::TryBecomeResident(const std::string& folder,
                                                                      const std::string& name) {
  EnsurePrivateFolder(folder);
  const std::string lock_path = folder + name + ".lock";
  UniqueFd lock(open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock) throw Orvex::Win32Exception(u"'" + Text(lock_path) + u"' の作成に失敗");
  while (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return nullptr;
    if (errno != EINTR) throw Orvex::Win32Exception(u"'" + Text(lock_path) + u"' のロックに失敗");
  }

  // Only the lock holder touches the socket, so a socket found here was left
  // by a resident program that was killed: nobody listens on it any more.
  const std::string socket_path = folder + name + ".sock";
  const SocketAddress address(folder, name + ".sock");
  if (!address.Valid()) throw Orvex::Win32Exception(u"'" + Text(socket_path) + u"' の作成に失敗");
  if (unlink(socket_path.c_str()) != 0 && errno != ENOENT) {
    throw Orvex::Win32Exception(u"'" + Text(socket_path) + u"' の削除に失敗");
  }
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener || bind(listener.Get(), address.Get(), address.Size()) != 0 ||
      listen(listener.Get(), 64) != 0) {
    throw Orvex::Win32Exception(u"'" + Text(socket_path) + u"' の作成に失敗");
  }
  return std::unique_ptr<ResidentInstance>(
      new ResidentInstance(std::move(lock), std::move(listener), socket_path));
}

ResidentInstance::ResidentInstance(UniqueFd lock, UniqueFd listener, std::string socket_path)
    : lock_(std::move(lock)),
      listener_(std::move(listener)),
      socket_path_(std::move(socket_path)) {}

ResidentInstance::~ResidentInstance() {
  // While the lock is still ours: after it a successor may already have
  // made a socket of the same name.
  unlink(socket_path_.c_str());
  listener_.Reset();
  lock_.Reset();
}

std::vector<ResidentInstance::Message> ResidentInstance::TakeMessages() {
  std::vector<Message> messages;
  for (int i = 0; i < kMaxPeersPerCall; ++i) {
    UniqueFd peer(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!peer) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      break;  // nobody waiting (EAGAIN), or nothing more to be had now
    }
    // The folder keeps other users out; this also holds when it is reached
    // some other way (a process of root, a descriptor passed on).
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(peer.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        credentials.uid != geteuid()) {
      continue;
    }
    std::string line;
    if (ReadMessage(peer.Get(), line)) messages.push_back({std::move(line), std::move(peer)});
  }
  return messages;
}

bool ResidentInstance::Answer(Message& message, const std::string& answer) {
  UniqueFd peer = std::move(message.peer);
  if (!peer || answer.size() > kMaxAnswerBytes) return false;
  return SendAll(peer.Get(), answer, std::chrono::steady_clock::now() + kAnswerTimeout);
}

bool NotifyResident(const std::string& message) {
  return NotifyResident(ResidentFolder(), ResidentName(), message);
}

bool NotifyResident(const std::string& folder, const std::string& name,
                    const std::string& message) {
  return Deliver(folder, name, message, nullptr);
}

std::optional<std::string> AskResident(const std::string& message) {
  return AskResident(ResidentFolder(), ResidentName(), message);
}

std::optional<std::string> AskResident(const std::string& folder, const std::string& name,
                                       const std::string& message,
                                       std::chrono::milliseconds limit) {
  UniqueFd connection;
  if (!Deliver(folder, name, message, &connection)) return std::nullopt;
  // The end of the line tells the resident program that nothing more comes.
  shutdown(connection.Get(), SHUT_WR);
  std::optional<std::string> answer =
      ReadToEnd(connection.Get(), std::chrono::steady_clock::now() + limit);
  // A resident program that closes without a word did not understand.
  if (answer && answer->empty()) return std::nullopt;
  return answer;
}

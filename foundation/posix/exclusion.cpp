#include "foundation/exclusion.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "foundation/exceptions.h"
#include "foundation/posix/unique_fd.h"

namespace Orvex {
namespace {

// flock() excludes open files, not threads, and a second open of the same
// file in this process would wait for ourselves. So holds are counted per
// name within the process: the owning thread may take a name again (as with
// a Windows mutex), other threads wait here, and only the first hold opens
// and locks the file.
struct NameState {
  std::thread::id owner;
  int depth = 0;
  UniqueFd fd;
  int waiters = 0;
};

// Locks may be given back by static destructors: the table outlives them.
struct Holds {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::u16string, NameState> names;
};
Holds& Table() {
  static auto* holds = new Holds;
  return *holds;
}

std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info;
  if (runtime && runtime[0] == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode)) {
    return std::string(runtime) + '/';
  }
  // /tmp is shared by every user: keep ours apart by the user id.
  return "/tmp/pelmora-" + std::to_string(getuid()) + '-';
}

// A file name made from the lock name: readable where the name is plain, and
// made unique by a hash of the whole name, since the readable part is cut
// and loses characters.
std::string LockFileName(const SharedString& name) {
  const std::string utf8 = ToUtf8(name);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : utf8) hash = (hash ^ c) * 1099511628211ull;
  std::string readable;
  for (unsigned char c : utf8) {
    if (readable.size() >= 100) break;
    bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                 c == '.' || c == '-';
    readable += plain ? static_cast<char>(c) : '_';
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return readable + '-' + hex + ".lock";
}

UniqueFd OpenAndLock(const SharedString& name) {
  const std::string path = LockFolder() + LockFileName(name);
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) throw Win32Exception(u"'" + name + u"' の排他制御に失敗");
  while (flock(fd.Get(), LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    throw Win32Exception(u"'" + name + u"' の排他制御に失敗");
  }
  return fd;
}

}  // namespace

void CProcessExclusion::Lock() {
  Unlock();
  const auto self = std::this_thread::get_id();
  Holds& holds = Table();
  std::unique_lock lock(holds.mutex);
  NameState& state = holds.names[name_.Str()];
  if (state.depth > 0 && state.owner == self) {
    ++state.depth;
    held_ = true;
    return;
  }
  ++state.waiters;
  holds.changed.wait(lock, [&] { return state.depth == 0; });
  --state.waiters;
  state.owner = self;
  state.depth = 1;
  // Other threads of this process now wait on the table; the file lock may
  // take long, so it is taken without holding the table.
  lock.unlock();
  UniqueFd fd;
  try {
    fd = OpenAndLock(name_);
  } catch (...) {
    lock.lock();
    state.depth = 0;
    holds.changed.notify_all();
    throw;
  }
  lock.lock();
  state.fd = std::move(fd);
  held_ = true;
}

void CProcessExclusion::Unlock() {
  if (!held_) return;
  held_ = false;
  Holds& holds = Table();
  std::lock_guard lock(holds.mutex);
  auto it = holds.names.find(name_.Str());
  if (it == holds.names.end() || it->second.depth == 0) return;
  NameState& state = it->second;
  if (--state.depth > 0) return;
  state.fd.Reset();  // releases the file lock
  state.owner = {};
  if (state.waiters == 0) {
    holds.names.erase(it);
  } else {
    holds.changed.notify_all();
  }
}

}  // namespace Orvex

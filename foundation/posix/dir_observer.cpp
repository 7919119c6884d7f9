#include "foundation/dir_observer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "foundation/posix/unique_fd.h"

namespace Orvex::Detail {
namespace {

// Names, sizes, write times and attributes (mode, owner, times set on
// purpose) of anything in a watched folder, and the folder itself going
// away. Reading a file raises only IN_ACCESS / IN_OPEN / IN_CLOSE_NOWRITE,
// which stay out.
constexpr uint32_t kChangeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                 IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

// inotify watches one folder per descriptor, so a tree is watched folder by
// folder and follows folders that appear or go away.
class InotifyWatch final : public DirWatch {
 public:
  InotifyWatch(UniqueFd inotify, UniqueFd wake, bool subtree)
      : inotify_(std::move(inotify)), wake_(std::move(wake)), subtree_(subtree) {}

  bool AddRoot(const std::filesystem::path& root) {
    // The root may be a link to the image folder; below it links are not
    // followed, so that a link cycle cannot make the tree endless.
    const int wd = inotify_add_watch(inotify_.Get(), root.c_str(), kChangeMask | IN_ONLYDIR);
    if (wd < 0) return false;
    root_ = root;
    folders_[wd] = root;
    if (subtree_) AddBelow(root);
    return true;
  }

  WaitResult WaitForChange() override {
    for (;;) {
      pollfd fds[2] = {{wake_.Get(), POLLIN, 0}, {inotify_.Get(), POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return WaitResult::kFailed;
      }
      if (fds[0].revents != 0) return WaitResult::kWoken;
      if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return WaitResult::kFailed;
      if (fds[1].revents & POLLIN) {
        bool changed = false;
        if (!DrainEvents(changed)) return WaitResult::kFailed;
        if (changed) return WaitResult::kChanged;
      }
    }
  }

  // inotify stays armed between reads.
  bool Rearm() override { return true; }

  void Wake() override {
    const uint64_t one = 1;
    // Fails only when the counter is saturated, which still wakes.
    [[maybe_unused]] const ssize_t n = write(wake_.Get(), &one, sizeof one);
  }

 private:
  void AddBelow(const std::filesystem::path& folder) {
    std::error_code error;
    auto it = std::filesystem::recursive_directory_iterator(
        folder, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      std::error_code ignored;
      if (it->is_symlink(ignored) || !it->is_directory(ignored)) continue;
      const int wd = inotify_add_watch(inotify_.Get(), it->path().c_str(),
                                       kChangeMask | IN_ONLYDIR | IN_DONT_FOLLOW);
      // A folder we may not read or that is already gone is simply not
      // watched; the rest of the tree still is.
      if (wd >= 0) folders_[wd] = it->path();
    }
  }

  // Reads every queued event; false when reading failed for good.
  bool DrainEvents(bool& changed) {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
      const ssize_t n = read(inotify_.Get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
      }
      if (n == 0) return false;
      for (ssize_t offset = 0; offset < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        Handle(*event, changed);
      }
    }
  }

  void Handle(const inotify_event& event, bool& changed) {
    if (event.mask & IN_Q_OVERFLOW) {
      // Events were lost, so new folders may have gone unseen too.
      changed = true;
      if (subtree_) RescanAll();
      return;
    }
    if (event.mask & IN_IGNORED) {
      folders_.erase(event.wd);
      return;
    }
    if (event.mask & kChangeMask) changed = true;
    if (subtree_ && (event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO)) &&
        event.len > 0) {
      auto it = folders_.find(event.wd);
      if (it == folders_.end()) return;
      const std::filesystem::path folder = it->second / event.name;
      // Files may land in the new folder before its watch exists: they are
      // part of this change, and everything after it is seen.
      const int wd = inotify_add_watch(inotify_.Get(), folder.c_str(),
                                       kChangeMask | IN_ONLYDIR | IN_DONT_FOLLOW);
      if (wd >= 0) {
        folders_[wd] = folder;
        AddBelow(folder);
      }
    }
    if (subtree_ && (event.mask & IN_MOVE_SELF)) {
      // A folder moved inside the tree keeps its watch, but the path we
      // keep for it is stale; a folder moved out must stop counting.
      RescanAll();
    }
  }

  // Rebuilds the paths of every watch from the tree as it is now. Adding
  // a watch for a folder already watched returns its old descriptor.
  void RescanAll() {
    std::unordered_map<int, std::filesystem::path> previous;
    previous.swap(folders_);
    const int root_wd = inotify_add_watch(inotify_.Get(), root_.c_str(), kChangeMask | IN_ONLYDIR);
    if (root_wd < 0) {
      // The folder is gone from its path; keep what we had rather than
      // going blind to whatever of it is left.
      folders_.swap(previous);
      return;
    }
    folders_[root_wd] = root_;
    AddBelow(root_);
    for (const auto& [wd, path] : previous) {
      if (!folders_.contains(wd)) inotify_rm_watch(inotify_.Get(), wd);
    }
  }

  UniqueFd inotify_;
  UniqueFd wake_;
  bool subtree_;
  std::filesystem::path root_;
  std::unordered_map<int, std::filesystem::path> folders_;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::Open(const SharedString& folder, bool subtree) {
  if (folder.IsEmpty()) return nullptr;
  UniqueFd inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!inotify) return nullptr;
  UniqueFd wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake) return nullptr;
  auto watch = std::make_unique<InotifyWatch>(std::move(inotify), std::move(wake), subtree);
  if (!watch->AddRoot(std::filesystem::path(folder.Str()))) return nullptr;
  return watch;
}

}  // namespace Orvex::Detail

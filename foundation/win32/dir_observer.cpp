#include "foundation/dir_observer.h"

#include <utility>

#include "foundation/win32/unique_handle.h"
#include "foundation/win32/win32.h"

namespace Orvex::Detail {
namespace {

// Names of files and folders, attributes, sizes, write times and security;
// last-access times stay out, so reading an image is not a change.
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SECURITY;

class ChangeNotificationWatch final : public DirWatch {
 public:
  ChangeNotificationWatch(UniqueHandle<ChangeNotificationCloser> change, UniqueHandle<> stop)
      : change_(std::move(change)), stop_(std::move(stop)) {}

  WaitResult WaitForChange() override {
    // Closing a change handle does not reliably end a wait on it, so Stop
    // wakes the loop through an event of its own.
    const HANDLE handles[2] = {stop_.Get(), change_.Get()};
    switch (WaitForMultipleObjects(2, handles, FALSE, INFINITE)) {
      case WAIT_OBJECT_0:
        return WaitResult::kWoken;
      case WAIT_OBJECT_0 + 1:
        return WaitResult::kChanged;
      default:
        return WaitResult::kFailed;
    }
  }

  bool Rearm() override { return FindNextChangeNotification(change_.Get()) != FALSE; }

  void Wake() override { SetEvent(stop_.Get()); }

 private:
  UniqueHandle<ChangeNotificationCloser> change_;
  UniqueHandle<> stop_;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::Open(const SharedString& folder, bool subtree) {
  if (folder.IsEmpty()) return nullptr;
  // The wide call, so that a folder named outside the ANSI code page can be
  // watched too.
  UniqueHandle<ChangeNotificationCloser> change(
      FindFirstChangeNotificationW(Wide(folder), subtree ? TRUE : FALSE, kChangeFilter));
  if (!change) return nullptr;
  UniqueHandle<> stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop) return nullptr;
  return std::make_unique<ChangeNotificationWatch>(std::move(change), std::move(stop));
}

}  // namespace Orvex::Detail

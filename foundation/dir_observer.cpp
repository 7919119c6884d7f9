#include "foundation/dir_observer.h"

#include <utility>

#include "foundation/file_system.h"
#include "foundation/worker_thread_controller.h"

namespace Orvex {

CDirObserver::CDirObserver() = default;

CDirObserver::~CDirObserver() { Stop(); }

void CDirObserver::Start(const SharedString& folder, bool subtree) {
  Stop();
  change_count_.store(0);
  folder_ = folder;
  std::unique_ptr<Detail::DirWatch> watch =
      Detail::DirWatch::Open(RemoveTrailingSeparator(folder), subtree);
  if (!watch) return;
  watch_ = std::move(watch);
  running_.store(true);
  try {
    worker_ = WorkerThreadController::Acquire();
    worker_->Post([this] { WatchLoop(); });
  } catch (...) {
    running_.store(false);
    worker_.reset();
    watch_.reset();
    throw;
  }
}

void CDirObserver::Stop() {
  running_.store(false);
  if (watch_) watch_->Wake();
  // Dropping the controller waits for the loop to return. The handle is
  // closed only afterwards: closing it under a thread still waiting on it
  // could let that wait pick up an unrelated handle that reuses the value.
  worker_.reset();
  watch_.reset();
}

void CDirObserver::SetListener(std::shared_ptr<IDirObserverListener> listener) {
  std::lock_guard lock(listener_lock_);
  listener_ = std::move(listener);
}

void CDirObserver::WatchLoop() {
  while (running_.load()) {
    const Detail::DirWatch::WaitResult result = watch_->WaitForChange();
    if (result == Detail::DirWatch::WaitResult::kChanged) {
      change_count_.fetch_add(1);
      std::shared_ptr<IDirObserverListener> listener;
      {
        std::lock_guard lock(listener_lock_);
        listener = listener_;
      }
      if (listener) {
        try {
          listener->OnDirChanged(*this);
        } catch (...) {
          // A failing listener must not end the watch: the count still
          // tells the owner about later changes.
        }
      }
    }
    if (!running_.load()) return;
    // A broken notification would otherwise spin this thread; the owner
    // keeps its list until it starts the observer again.
    if (result == Detail::DirWatch::WaitResult::kFailed || !watch_->Rearm()) {
      running_.store(false);
      return;
    }
  }
}

}  // namespace Orvex

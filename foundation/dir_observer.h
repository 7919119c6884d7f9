#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "foundation/shared_string.h"

namespace Orvex {

class CDirObserver;
class WorkerThreadController;

// Told when an observed folder tree changed. Called on the observer's
// worker thread, never on the thread that started the observer.
class IDirObserverListener {
 public:
  IDirObserverListener(const IDirObserverListener&) = delete;
  IDirObserverListener& operator=(const IDirObserverListener&) = delete;
  virtual ~IDirObserverListener() = default;

  virtual void OnDirChanged(CDirObserver& observer) = 0;

 protected:
  IDirObserverListener() = default;
};

namespace Detail {

// The operating system's change notification on one folder (tree). Each
// platform implements it in its own dir_observer.cpp.
class DirWatch {
 public:
  enum class WaitResult { kChanged, kWoken, kFailed };

  DirWatch(const DirWatch&) = delete;
  DirWatch& operator=(const DirWatch&) = delete;
  virtual ~DirWatch() = default;

  // Null when the folder cannot be watched (missing, not a folder, no
  // rights, out of watches).
  static std::unique_ptr<DirWatch> Open(const SharedString& folder, bool subtree);

  // Blocks until something changed under the folder or Wake was called.
  virtual WaitResult WaitForChange() = 0;
  // Arms the notification for the next change; false when that failed.
  virtual bool Rearm() = 0;
  // Makes a pending or later WaitForChange return kWoken; safe from any
  // thread.
  virtual void Wake() = 0;

 protected:
  DirWatch() = default;
};

}  // namespace Detail

// Watches one folder tree and counts its changes (file and folder names,
// sizes, write times, attributes; not reads) so that whoever keeps a list
// of its files knows when the list is stale. The watching runs on a worker
// borrowed from the process-wide pool.
//
// Start, Stop, SetListener and destruction belong to the owner's thread;
// the count may be taken from any thread.
class CDirObserver {
 public:
  CDirObserver();
  CDirObserver(const CDirObserver&) = delete;
  CDirObserver& operator=(const CDirObserver&) = delete;
  ~CDirObserver();

  // Watches `folder` (and everything below it when `subtree`), with the
  // count reset to 0. A folder that cannot be watched leaves the observer
  // stopped without an error: the owner simply sees no changes.
  void Start(const SharedString& folder, bool subtree);
  // Ends the watch and returns once the worker has left it.
  void Stop();

  // The number of changes seen since the start or the last take, reset to
  // 0 in the same step so that none is lost in between.
  int TakeChangeCount() { return change_count_.exchange(0); }
  int PeekChangeCount() const { return change_count_.load(); }

  bool IsRunning() const { return running_.load(); }
  // The folder given to the last Start; empty before the first.
  const SharedString& GetFolder() const { return folder_; }

  void SetListener(std::shared_ptr<IDirObserverListener> listener);

 private:
  void WatchLoop();

  mutable std::mutex listener_lock_;
  std::shared_ptr<IDirObserverListener> listener_;
  SharedString folder_;
  std::unique_ptr<Detail::DirWatch> watch_;
  std::atomic<int> change_count_{0};
  std::atomic<bool> running_{false};
  std::shared_ptr<WorkerThreadController> worker_;
};

}  // namespace Orvex

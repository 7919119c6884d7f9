#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "foundation/factory.h"

namespace Orvex {

// A factory that recycles its objects: the shared pointer it hands out
// returns the object to the pool when the last holder lets go, and the
// next CreateInstance takes the most recently returned one. At most
// `capacity` idle objects are kept (a capacity of 0 or below keeps all).
// Objects still lent out when the pool goes away are destroyed on return.
template <class T>
class ObjectPool : public IFactory<T> {
 public:
  explicit ObjectPool(int capacity = -1) : state_(std::make_shared<State>()) {
    state_->capacity = capacity;
  }

  std::shared_ptr<T> CreateInstance() override {
    std::unique_ptr<T> object;
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->idle.empty()) {
        object = std::move(state_->idle.back());
        state_->idle.pop_back();
      }
    }
    if (!object) object = std::make_unique<T>();
    std::weak_ptr<State> pool = state_;
    return std::shared_ptr<T>(object.release(), [pool](T* p) { Release(pool, p); });
  }

  // Trims the idle list to its first (longest idle) n objects when n > 0.
  void SetCapacity(int n) {
    std::vector<std::unique_ptr<T>> surplus;
    {
      std::lock_guard lock(state_->mutex);
      state_->capacity = n;
      auto& idle = state_->idle;
      if (n > 0 && static_cast<size_t>(n) < idle.size()) {
        surplus.assign(std::make_move_iterator(idle.begin() + n),
                       std::make_move_iterator(idle.end()));
        idle.erase(idle.begin() + n, idle.end());
      }
    }
    // Destroyed outside the lock: stopping an object may take a while.
  }

  int GetCapacity() const {
    std::lock_guard lock(state_->mutex);
    return state_->capacity;
  }

  size_t IdleCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->idle.size();
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<T>> idle;
    int capacity = -1;
  };

  static void Release(const std::weak_ptr<State>& pool, T* p) {
    std::unique_ptr<T> object(p);
    if (std::shared_ptr<State> state = pool.lock()) {
      std::lock_guard lock(state->mutex);
      if (state->capacity <= 0 || state->idle.size() < static_cast<size_t>(state->capacity)) {
        try {
          state->idle.push_back(std::move(object));
        } catch (...) {
          // Out of memory for the list: the object is destroyed instead.
        }
      }
    }
    // An object the pool did not keep is destroyed here, outside the lock.
  }

  std::shared_ptr<State> state_;
};

}  // namespace Orvex

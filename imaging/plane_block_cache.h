#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace Orvex {

// Recycles the large pixel buffers of heap planes: a wallpaper change makes
// and drops several screen-sized buffers, and reusing them spares the heap.
// A cached block is handed out only for requests more than half its size,
// and the owner flushes the cache regularly, so it never holds much for long.
//
// Each block starts with a 4-byte header holding its usable capacity, so the
// memory handed out is 4-byte aligned (enough for 32-bit pixels).
class PlaneBlockCache {
 public:
  PlaneBlockCache() = default;
  PlaneBlockCache(const PlaneBlockCache&) = delete;
  PlaneBlockCache& operator=(const PlaneBlockCache&) = delete;
  ~PlaneBlockCache();

  // The one cache that all heap planes of the process share.
  static PlaneBlockCache& Instance();

  // A block of at least `bytes` usable bytes. Throws std::bad_alloc.
  uint8_t* Take(size_t bytes);
  // Returns a block from Take to the cache; null is ignored.
  void Give(uint8_t* block);
  // Frees every cached block.
  void Flush();

  // Counts one creation of heap storage; every fourth one flushes the cache.
  void CountCreate();

  // The usable size of a block from Take.
  static size_t CapacityOf(const uint8_t* block);

  size_t CachedBlockCount() const;
  size_t CachedBytes() const;

 private:
  static constexpr size_t kHeaderBytes = 4;

  mutable std::mutex mutex_;
  // Ordered by capacity; blocks of equal capacity keep their order of return.
  std::multimap<size_t, uint8_t*> free_blocks_;
  uint64_t create_count_ = 0;
};

}  // namespace Orvex

#include "imaging/plane_block_cache.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Orvex {

namespace {

uint8_t* HeaderOf(uint8_t* block) { return block - 4; }

}  // namespace

PlaneBlockCache::~PlaneBlockCache() { Flush(); }

PlaneBlockCache& PlaneBlockCache::Instance() {
  // Never destroyed: planes held by other static objects may still return
  // their blocks while the process exits.
  static PlaneBlockCache* cache = new PlaneBlockCache;
  return *cache;
}

size_t PlaneBlockCache::CapacityOf(const uint8_t* block) {
  uint32_t capacity;
  std::memcpy(&capacity, block - kHeaderBytes, sizeof capacity);
  return capacity;
}

uint8_t* PlaneBlockCache::Take(size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    auto it = free_blocks_.lower_bound(bytes);
    // Written as a difference so that huge requests cannot overflow 2 * bytes.
    if (it != free_blocks_.end() && it->first - bytes < bytes) {
      uint8_t* block = it->second;
      free_blocks_.erase(it);
      return block;
    }
  }
  // The header records the capacity in 32 bits; larger blocks cannot be
  // described and could not be addressed by a 32-bit process anyway.
  if (bytes > UINT32_MAX - 16) throw std::bad_alloc();
  const size_t total = (bytes + 11) & ~size_t{7};
  uint8_t* raw = static_cast<uint8_t*>(std::malloc(total));
  if (!raw) throw std::bad_alloc();
  const uint32_t capacity = static_cast<uint32_t>(total - kHeaderBytes);
  std::memcpy(raw, &capacity, sizeof capacity);
  return raw + kHeaderBytes;
}

void PlaneBlockCache::Give(uint8_t* block) {
  if (!block) return;
  const size_t capacity = CapacityOf(block);
  std::lock_guard lock(mutex_);
  free_blocks_.emplace(capacity, block);
}

void PlaneBlockCache::Flush() {
  std::multimap<size_t, uint8_t*> blocks;
  {
    std::lock_guard lock(mutex_);
    blocks.swap(free_blocks_);
  }
  for (auto& [capacity, block] : blocks) std::free(HeaderOf(block));
}

void PlaneBlockCache::CountCreate() {
  bool flush;
  {
    std::lock_guard lock(mutex_);
    flush = ++create_count_ % 4 == 0;
  }
  if (flush) Flush();
}

size_t PlaneBlockCache::CachedBlockCount() const {
  std::lock_guard lock(mutex_);
  return free_blocks_.size();
}

size_t PlaneBlockCache::CachedBytes() const {
  std::lock_guard lock(mutex_);
  size_t total = 0;
  for (const auto& entry : free_blocks_) total += entry.first;
  return total;
}

}  // namespace Orvex

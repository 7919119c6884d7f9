#include "imaging/plane_block_cache.h"

#include <gtest/gtest.h>

#include "imaging/plane32.h"

namespace Orvex {
namespace {

TEST(PlaneBlockCacheTest, NewBlocksAreRoundedUpWithRoomForTheirHeader) {
  PlaneBlockCache cache;
  uint8_t* block = cache.Take(100);
  // (100 + 11) rounded down to 8 is 104 bytes, 4 of them the header.
  EXPECT_EQ(PlaneBlockCache::CapacityOf(block), 100u);
  uint8_t* odd = cache.Take(101);
  EXPECT_EQ(PlaneBlockCache::CapacityOf(odd), 108u);
  odd[107] = 1;  // the whole capacity is usable
  cache.Give(block);
  cache.Give(odd);
  EXPECT_EQ(cache.CachedBlockCount(), 2u);
  cache.Flush();
  EXPECT_EQ(cache.CachedBlockCount(), 0u);
  EXPECT_EQ(cache.CachedBytes(), 0u);
}

TEST(PlaneBlockCacheTest, ReusesOnlyBlocksLessThanTwiceTheRequest) {
  PlaneBlockCache cache;
  uint8_t* block = cache.Take(1000);  // capacity 1004
  cache.Give(block);
  uint8_t* half = cache.Take(502);  // 1004 is twice 502: too wasteful
  EXPECT_NE(half, block);
  EXPECT_EQ(cache.CachedBlockCount(), 1u);
  uint8_t* larger = cache.Take(1005);
  EXPECT_NE(larger, block);
  uint8_t* reused = cache.Take(503);
  EXPECT_EQ(reused, block);
  EXPECT_EQ(cache.CachedBlockCount(), 0u);
  cache.Give(reused);
  reused = cache.Take(1004);  // exact capacity fits
  EXPECT_EQ(reused, block);
  for (uint8_t* b : {half, larger, reused}) cache.Give(b);
}

TEST(PlaneBlockCacheTest, TakesTheSmallestBlockThatFits) {
  PlaneBlockCache cache;
  uint8_t* large = cache.Take(4000);
  uint8_t* small = cache.Take(2500);
  uint8_t* tiny = cache.Take(100);
  cache.Give(large);
  cache.Give(tiny);
  cache.Give(small);
  uint8_t* first = cache.Take(2100);
  uint8_t* second = cache.Take(2100);
  EXPECT_EQ(first, small);
  EXPECT_EQ(second, large);
  EXPECT_EQ(cache.CachedBlockCount(), 1u);
  cache.Give(first);
  cache.Give(second);
}

TEST(PlaneBlockCacheTest, EveryFourthCreationFlushes) {
  PlaneBlockCache cache;
  cache.Give(cache.Take(64));
  cache.CountCreate();
  cache.CountCreate();
  cache.CountCreate();
  EXPECT_EQ(cache.CachedBlockCount(), 1u);
  cache.CountCreate();
  EXPECT_EQ(cache.CachedBlockCount(), 0u);
  cache.Give(cache.Take(64));
  for (int i = 0; i < 3; ++i) cache.CountCreate();
  EXPECT_EQ(cache.CachedBlockCount(), 1u);
  cache.CountCreate();
  EXPECT_EQ(cache.CachedBlockCount(), 0u);
}

TEST(PlaneBlockCacheTest, ImpossibleRequestsRaiseOutOfMemory) {
  PlaneBlockCache cache;
  EXPECT_THROW(cache.Take(SIZE_MAX), std::bad_alloc);
  EXPECT_THROW(cache.Take(SIZE_MAX - 5), std::bad_alloc);
}

TEST(PlaneBlockCacheTest, HeapPlanesRecycleTheirBuffersWhenResized) {
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{100, 100});
  uint8_t* first = PlaneBitsLock(plane).Row(0);
  // The old buffer goes back to the cache before the new one is taken, so
  // a slightly smaller size gets the same memory back.
  plane.SetSize(PlaneSize{90, 100});
  EXPECT_EQ(PlaneBitsLock(plane).Row(0), first);
  EXPECT_EQ(PlaneBitsLock(plane).Step(), 360);
}

}  // namespace
}  // namespace Orvex

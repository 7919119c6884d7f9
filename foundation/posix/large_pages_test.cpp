#include "foundation/large_pages.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace Orvex::Detail {
namespace {

TEST(LargePagesTest, PopulatedPagesAreMappedAndKeepWhatTheyHeld) {
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = 64;
  void* mapped =
      mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* bytes = static_cast<uint8_t*>(mapped);
  // One page already written; the rest never touched.
  for (size_t i = 0; i < page; ++i) bytes[5 * page + i] = static_cast<uint8_t>(i * 7 + 1);

  // A range that starts and ends inside a page still covers both.
  ASSERT_TRUE(PopulatePages(bytes + 100, pages * page - 200));

  std::vector<unsigned char> resident(pages);
  ASSERT_EQ(mincore(mapped, pages * page, resident.data()), 0);
  for (size_t p = 0; p < pages; ++p) EXPECT_TRUE(resident[p] & 1) << "page " << p;
  for (size_t i = 0; i < page; ++i) {
    ASSERT_EQ(bytes[5 * page + i], static_cast<uint8_t>(i * 7 + 1)) << i;
  }
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[pages * page - 1], 0);
  munmap(mapped, pages * page);
}

}  // namespace
}  // namespace Orvex::Detail

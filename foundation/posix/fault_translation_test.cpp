#include "foundation/fault_translation.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/exceptions.h"

namespace Orvex {
namespace {

TEST(PosixFaultTranslationTest, FaultInsideTheCLibrary) {
  // Through a pointer, so that the call really reaches the C library.
  void* (*volatile fill)(void*, int, size_t) = &std::memset;
  for (int round = 0; round < 2; ++round) {
    EXPECT_THROW(fill(nullptr, 0, 64), AccessViolationException);
  }
}

// A mapped file that shrinks under the reader raises a bus error, not a
// segmentation fault; to the user it is the same bad memory access.
TEST(PosixFaultTranslationTest, BusErrorOnATruncatedMapping) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const int fd = fileno(file);
  const long page = sysconf(_SC_PAGESIZE);
  ASSERT_EQ(ftruncate(fd, page), 0);
  void* mapping = mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  ASSERT_EQ(ftruncate(fd, 0), 0);
  const volatile char* bytes = static_cast<const char*>(mapping);
  EXPECT_THROW((void)bytes[0], AccessViolationException);
  munmap(mapping, page);
  std::fclose(file);
}

// A fault signal sent by another process is a request to die, not a fault
// of ours: throwing from wherever the program happened to be would be
// unsafe.
TEST(PosixFaultTranslationDeathTest, SignalFromAnotherProcessIsNotTranslated) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string command = "kill -SEGV " + std::to_string(getpid());
        try {
          if (std::system(command.c_str()) == 0) pause();
        } catch (...) {
          std::_Exit(3);
        }
        std::_Exit(4);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
}  // namespace Orvex

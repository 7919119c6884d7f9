#include "foundation/exclusion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include "foundation/process.h"
#include "foundation/system_test_support.h"

namespace Orvex {
namespace {

using namespace std::chrono_literals;
using Testing::WaitUntil;

// Takes the lock on another thread, so that a test can see whether it waits
// without hanging when something is wrong.
class LockAttempt {
 public:
  explicit LockAttempt(const SharedString& name) : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_, name] {
      CProcessExclusion exclusion(name);
      exclusion.Lock();
      state->locked = true;
      while (!state->release) std::this_thread::sleep_for(1ms);
    });
  }
  ~LockAttempt() {
    if (!thread_.joinable()) return;
    state_->release = true;
    // A lock that never came must not hang the test run.
    if (state_->locked) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }
  bool Locked() const { return state_->locked; }
  void Release() {
    state_->release = true;
    thread_.join();
  }

 private:
  struct State {
    std::atomic<bool> locked{false};
    std::atomic<bool> release{false};
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

SharedString UniqueLockName() { return FromUtf8(Testing::UniqueName("pelmora-test-lock")); }

TEST(ProcessExclusionTest, SpellingsOfOnePathShareOneName) {
  EXPECT_EQ(Detail::ExclusionName(u"C:\\Program Files\\Pelmora.exe.cfg"),
            SharedString(u"C:/Program Files/Pelmora.exe.cfg"));
  std::u16string long_name(300, u'x');
  EXPECT_EQ(Detail::ExclusionName(SharedString(long_name)).Length(), 259u);
  EXPECT_EQ(Detail::ExclusionName(SharedString(long_name + u"a")),
            Detail::ExclusionName(SharedString(long_name + u"b")));
}

TEST(ProcessExclusionTest, OtherThreadsWaitUntilTheHolderUnlocks) {
  const SharedString name = UniqueLockName();
  CProcessExclusion exclusion(name);
  exclusion.Lock();
  LockAttempt other(name);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(other.Locked());
  exclusion.Unlock();
  EXPECT_TRUE(WaitUntil([&] { return other.Locked(); }, 20s));
  // While the other thread holds it, it is not ours to take.
  LockAttempt third(name);
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(third.Locked());
  other.Release();
  EXPECT_TRUE(WaitUntil([&] { return third.Locked(); }, 20s));
}

TEST(ProcessExclusionTest, TheHoldingThreadMayTakeTheNameAgain) {
  const SharedString name = UniqueLockName();
  auto nested = std::make_shared<std::atomic<bool>>(false);
  std::thread([name, nested] {
    CProcessExclusion outer(name);
    outer.Lock();
    outer.Lock();  // a second Lock replaces the first hold
    CProcessExclusion inner(name);
    inner.Lock();
    inner.Unlock();
    *nested = true;
    outer.Unlock();
  }).detach();
  ASSERT_TRUE(WaitUntil([&] { return nested->load(); }, 20s));
  // Every hold is given back: another thread gets the lock.
  LockAttempt after(name);
  EXPECT_TRUE(WaitUntil([&] { return after.Locked(); }, 20s));
}

TEST(ProcessExclusionTest, TheGuardReleasesWhenAnExceptionLeavesItsScope) {
  const SharedString name = UniqueLockName();
  try {
    ProcessExclusionLock guard(name);
    throw std::runtime_error("leaving");
  } catch (const std::runtime_error&) {
  }
  LockAttempt after(name);
  EXPECT_TRUE(WaitUntil([&] { return after.Locked(); }, 20s));
}

// The helper takes the lock under the name written with backslashes; we ask
// with slashes. When it is killed while holding the lock, the lock is ours.
TEST(ProcessExclusionTest, ProcessesExcludeEachOtherAndADeadHolderReleases) {
  const std::string stem = Testing::UniqueName("pelmora-test-lock");
  const std::string marker = Testing::TemporaryPath(stem + ".held");
  ProcessStartInfo info;
  info.file = Testing::HelperProgramPath();
  info.use_shell = false;
  info.parameters = FromUtf8("hold \"dir\\" + stem + "\" \"" + marker + "\"");
  std::shared_ptr<Process> holder = StartProcess(info);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(marker); }, 60s));

  LockAttempt attempt(FromUtf8("dir/" + stem));
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(attempt.Locked());
  holder->Kill();
  EXPECT_TRUE(holder->WaitForExit(30000));
  EXPECT_TRUE(WaitUntil([&] { return attempt.Locked(); }, 30s));
  std::filesystem::remove(marker);
}

}  // namespace
}  // namespace Orvex

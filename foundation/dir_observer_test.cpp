#include "foundation/dir_observer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/test_environment.h"
#include "foundation/test_folder.h"

namespace Orvex {
namespace {

using std::chrono::milliseconds;
using Testing::FsPath;
using Testing::TestFolder;
namespace fs = std::filesystem;

// Notifications arrive asynchronously (and coarsely under emulation), so
// every expectation of a change polls with a generous limit.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

bool CountBecomesPositive(const CDirObserver& observer) {
  return WaitUntil([&] { return observer.PeekChangeCount() > 0; });
}

// Lets the notifications of what was just done arrive, then forgets them.
void Settle(CDirObserver& observer) {
  std::this_thread::sleep_for(milliseconds(300));
  observer.TakeChangeCount();
}

// Opens every folder of the tree, as the program's listing does.
void ListTree(const TestFolder& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(folder.Path()))) {
    (void)entry.is_directory();
  }
}

void MakeTree(const TestFolder& folder) {
  TestFolder::WriteBytes(folder / u"top.jpg", "top");
  TestFolder::WriteBytes(folder / u"a/b/deep.png", "deep image");
}

// One change made to a fresh tree under a fresh observer, so that nothing
// left over from the setting up can pass for it.
struct ChangeCase {
  const char* what;
  std::function<void(const TestFolder&)> change;
};

void ExpectEachChangeCounted(const std::vector<ChangeCase>& cases, bool list_first = false) {
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    MakeTree(folder);
    CDirObserver observer;
    observer.Start(folder.Path(), true);
    ASSERT_TRUE(observer.IsRunning());
    if (list_first) ListTree(folder);
    EXPECT_EQ(observer.PeekChangeCount(), 0);
    c.change(folder);
    EXPECT_TRUE(CountBecomesPositive(observer));
  }
}

void MakeReadOnly(const SharedString& path) {
  fs::permissions(FsPath(path),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

TEST(DirObserverTest, ChangesInTheFolderAreCounted) {
  ExpectEachChangeCounted({
      {"create", [](const TestFolder& f) { TestFolder::WriteBytes(f / u"new.bmp", "x"); }},
      {"create a folder", [](const TestFolder& f) { fs::create_directory(FsPath(f / u"c")); }},
      {"rename",
       [](const TestFolder& f) { fs::rename(FsPath(f / u"top.jpg"), FsPath(f / u"t.jpg")); }},
      {"move into a subfolder",
       [](const TestFolder& f) { fs::rename(FsPath(f / u"top.jpg"), FsPath(f / u"a/top.jpg")); }},
      {"delete", [](const TestFolder& f) { fs::remove(FsPath(f / u"top.jpg")); }},
      {"delete a folder tree", [](const TestFolder& f) { fs::remove_all(FsPath(f / u"a")); }},
      {"resize", [](const TestFolder& f) { fs::resize_file(FsPath(f / u"top.jpg"), 1); }},
      {"rewrite in place",
       [](const TestFolder& f) { TestFolder::WriteBytes(f / u"top.jpg", "other data"); }},
      {"make read-only", [](const TestFolder& f) { MakeReadOnly(f / u"top.jpg"); }},
  });
}

TEST(DirObserverTest, ChangesDeepInTheTreeAreCounted) {
  // Wine reports changes below the folder only in subfolders this process
  // has opened since the start. The program lists the tree right after
  // starting the observer, so the test does the same there.
  ExpectEachChangeCounted(
      {
          {"create", [](const TestFolder& f) { TestFolder::WriteBytes(f / u"a/b/new.bmp", "x"); }},
          {"create a folder",
           [](const TestFolder& f) { fs::create_directory(FsPath(f / u"a/c")); }},
          {"rename",
           [](const TestFolder& f) {
             fs::rename(FsPath(f / u"a/b/deep.png"), FsPath(f / u"a/b/d.png"));
           }},
          {"delete", [](const TestFolder& f) { fs::remove(FsPath(f / u"a/b/deep.png")); }},
          {"resize", [](const TestFolder& f) { fs::resize_file(FsPath(f / u"a/b/deep.png"), 2); }},
          {"rewrite in place",
           [](const TestFolder& f) { TestFolder::WriteBytes(f / u"a/b/deep.png", "other data"); }},
          {"make read-only", [](const TestFolder& f) { MakeReadOnly(f / u"a/b/deep.png"); }},
      },
      Testing::RunsUnderWine());
}

TEST(DirObserverTest, ReadingFilesIsNotAChange) {
  TestFolder folder;
  MakeTree(folder);
  CDirObserver observer;
  observer.Start(folder.Path(), true);
  ASSERT_TRUE(observer.IsRunning());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(TestFolder::ReadBytes(folder / u"a/b/deep.png"), "deep image");
    EXPECT_EQ(TestFolder::ReadBytes(folder / u"top.jpg"), "top");
    ListTree(folder);
  }
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(observer.PeekChangeCount(), 0);

  // The observer was listening all along.
  TestFolder::WriteBytes(folder / u"a/b/new.png", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));
}

TEST(DirObserverTest, FoldersCreatedAfterTheStartAreWatchedToo) {
  // Under Wine a new subfolder is watched once this process has opened
  // it; the program relists the tree after every counted change, so the
  // test does the same there.
  TestFolder folder;
  const auto relist = [&] {
    if (Testing::RunsUnderWine()) ListTree(folder);
  };
  CDirObserver observer;
  observer.Start(folder.Path(), true);
  ASSERT_TRUE(observer.IsRunning());

  fs::create_directory(FsPath(folder / u"later"));
  ASSERT_TRUE(CountBecomesPositive(observer));
  Settle(observer);
  relist();
  TestFolder::WriteBytes(folder / u"later/image.jpg", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));

  // A whole tree appearing at once: its inner folders are watched as well.
  fs::create_directories(FsPath(folder / u"x/y/z"));
  ASSERT_TRUE(CountBecomesPositive(observer));
  Settle(observer);
  relist();
  TestFolder::WriteBytes(folder / u"x/y/z/image.jpg", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));

  // So is a folder moved in from outside.
  TestFolder outside;
  TestFolder::WriteBytes(outside / u"moved/inner/old.jpg", "x");
  fs::rename(FsPath(outside / u"moved"), FsPath(folder / u"moved"));
  ASSERT_TRUE(CountBecomesPositive(observer));
  Settle(observer);
  relist();
  TestFolder::WriteBytes(folder / u"moved/inner/new.jpg", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));
}

TEST(DirObserverTest, WithoutSubtreeOnlyTheFolderItselfCounts) {
  TestFolder folder;
  MakeTree(folder);
  CDirObserver observer;
  observer.Start(folder.Path(), false);
  ASSERT_TRUE(observer.IsRunning());
  fs::resize_file(FsPath(folder / u"a/b/deep.png"), 3);
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(observer.PeekChangeCount(), 0);
  TestFolder::WriteBytes(folder / u"new.jpg", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));
}

TEST(DirObserverTest, AFolderThatCannotBeWatchedLeavesItStoppedWithoutError) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"file.jpg", "x");
  for (const SharedString& path : {folder / u"missing/", folder / u"file.jpg", SharedString()}) {
    SCOPED_TRACE(ToUtf8(path));
    CDirObserver observer;
    EXPECT_NO_THROW(observer.Start(path, true));
    EXPECT_FALSE(observer.IsRunning());
    EXPECT_EQ(observer.GetFolder(), path);
    EXPECT_EQ(observer.TakeChangeCount(), 0);
    observer.Stop();
    observer.Stop();
  }

  // A failed start also ends the watch that ran before it.
  CDirObserver observer;
  observer.Start(folder.Path(), true);
  ASSERT_TRUE(observer.IsRunning());
  observer.Start(folder / u"missing/", true);
  EXPECT_FALSE(observer.IsRunning());
  TestFolder::WriteBytes(folder / u"new.jpg", "x");
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(observer.PeekChangeCount(), 0);
}

TEST(DirObserverTest, StopReturnsPromptlyAndEndsTheCounting) {
  TestFolder folder;
  CDirObserver observer;
  observer.Start(folder.Path(), true);
  ASSERT_TRUE(observer.IsRunning());
  std::this_thread::sleep_for(milliseconds(100));  // let the loop block
  const auto before = std::chrono::steady_clock::now();
  observer.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
  EXPECT_FALSE(observer.IsRunning());

  TestFolder::WriteBytes(folder / u"new.jpg", "x");
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(observer.PeekChangeCount(), 0);

  // Destroying a running observer stops it as well.
  for (int i = 0; i < 3; ++i) {
    CDirObserver running;
    running.Start(folder.Path(), true);
    EXPECT_TRUE(running.IsRunning());
  }
}

TEST(DirObserverTest, RemovingTheWatchedFolderCountsAndStopStillReturns) {
  TestFolder base;
  MakeTree(base);
  const SharedString folder = base / u"a/";
  CDirObserver observer;
  observer.Start(folder, true);
  ASSERT_TRUE(observer.IsRunning());
  ListTree(base);
  fs::remove_all(FsPath(folder));
  EXPECT_TRUE(CountBecomesPositive(observer));
  std::this_thread::sleep_for(milliseconds(200));
  const auto before = std::chrono::steady_clock::now();
  observer.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));

  // The same path, made again, can be watched anew.
  fs::create_directories(FsPath(folder));
  observer.Start(folder, true);
  EXPECT_EQ(observer.PeekChangeCount(), 0);
  TestFolder::WriteBytes(folder + SharedString(u"new.jpg"), "x");
  EXPECT_TRUE(CountBecomesPositive(observer));
}

TEST(DirObserverTest, StartingAgainResetsTheCount) {
  TestFolder folder;
  CDirObserver observer;
  observer.Start(folder.Path(), true);
  TestFolder::WriteBytes(folder / u"one.jpg", "x");
  ASSERT_TRUE(CountBecomesPositive(observer));
  std::this_thread::sleep_for(milliseconds(300));

  observer.Start(folder.Path(), true);
  EXPECT_TRUE(observer.IsRunning());
  EXPECT_EQ(observer.PeekChangeCount(), 0);
  TestFolder::WriteBytes(folder / u"two.jpg", "x");
  EXPECT_TRUE(CountBecomesPositive(observer));

  // Taking the count clears it; later changes count again.
  Settle(observer);
  EXPECT_EQ(observer.TakeChangeCount(), 0);
  fs::remove(FsPath(folder / u"one.jpg"));
  ASSERT_TRUE(CountBecomesPositive(observer));
  EXPECT_GT(observer.TakeChangeCount(), 0);
  EXPECT_EQ(observer.PeekChangeCount(), 0);
}

class RecordingListener : public IDirObserverListener {
 public:
  explicit RecordingListener(bool fail) : fail_(fail) {}
  void OnDirChanged(CDirObserver& observer) override {
    observer_ = &observer;
    thread_ = std::this_thread::get_id();
    calls_.fetch_add(1);
    if (fail_) throw std::runtime_error("listener failed");
  }
  std::atomic<int> calls_{0};
  std::atomic<CDirObserver*> observer_{nullptr};
  std::thread::id thread_;

 private:
  bool fail_;
};

TEST(DirObserverTest, TheListenerHearsOfEveryNotificationOnTheWorker) {
  for (const bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "throwing listener" : "listener");
    TestFolder folder;
    auto listener = std::make_shared<RecordingListener>(fail);
    CDirObserver observer;
    observer.SetListener(listener);
    observer.Start(folder.Path(), true);
    TestFolder::WriteBytes(folder / u"one.jpg", "x");
    ASSERT_TRUE(WaitUntil([&] { return listener->calls_.load() > 0; }));
    EXPECT_EQ(listener->observer_.load(), &observer);
    Settle(observer);
    listener->calls_.store(0);

    // A listener that throws does not end the watch.
    fs::remove(FsPath(folder / u"one.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return listener->calls_.load() > 0; }));
    EXPECT_TRUE(observer.IsRunning());
    observer.Stop();
    EXPECT_NE(listener->thread_, std::this_thread::get_id());
  }
}

TEST(DirObserverTest, WatchesFoldersNamedOutsideTheAnsiCodePage) {
  TestFolder base;
  // Hangul and a Latin letter with circumflex: neither is in code page 932.
  const SharedString folder = base / u"\uD55C\u0109/";
  fs::create_directories(FsPath(folder));
  CDirObserver observer;
  observer.Start(folder, true);
  ASSERT_TRUE(observer.IsRunning());
  TestFolder::WriteBytes(folder + SharedString(u"\uD55C.jpg"), "x");
  EXPECT_TRUE(CountBecomesPositive(observer));
}

}  // namespace
}  // namespace Orvex

#include "foundation/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "foundation/posix/scoped_file_size_limit.h"
#include "foundation/posix/unique_fd.h"
#include "foundation/test_folder.h"

namespace Orvex {
namespace {

using Testing::FsPath;
using Testing::TestFolder;
using Paths = std::vector<SharedString>;

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(PosixPathsTest, MakeAbsolute) {
  EXPECT_EQ(MakeAbsolute(u"img", u"/app"), u"/app/img");
  EXPECT_EQ(MakeAbsolute(u"..\\img/x", u"/app/sub/"), u"/app/img/x");
  EXPECT_EQ(MakeAbsolute(u"./a/./b", u"/app/"), u"/app/a/b");
  EXPECT_EQ(MakeAbsolute(u"/srv/p", u"/app/"), u"/srv/p");
  EXPECT_EQ(MakeAbsolute(u"D:/p", u"/app/"), u"D:/p");
  // Steps above the root stay at the root.
  EXPECT_EQ(MakeAbsolute(u"../../../x", u"/app/"), u"/x");
  // A name that merely ends in dots is a name, not a step.
  EXPECT_EQ(MakeAbsolute(u"v1./x", u"/app/"), u"/app/v1./x");
  EXPECT_EQ(MakeAbsolute(u"a../x", u"/app/"), u"/app/a../x");
  // A relative base has nothing above it: the path is given back.
  EXPECT_EQ(MakeAbsolute(u"../x", u"app/"), u"../x");
  EXPECT_EQ(ParentPath(u"/a/"), u"/");
  EXPECT_EQ(ParentPath(u"/"), u"");
  EXPECT_EQ(RemoveTrailingSeparator(u"/"), u"/");
}

TEST(PosixPathsTest, ExpandsPercentReferences) {
  setenv("PELMORA_TEST_DIR", "/home/ü", 1);
  unsetenv("PELMORA_UNSET");
  EXPECT_EQ(ExpandEnvironment(u"%PELMORA_TEST_DIR%/img"), u"/home/ü/img");
  // Names written on Windows may be in any case.
  EXPECT_EQ(ExpandEnvironment(u"%pelmora_test_dir%"), u"/home/ü");
  EXPECT_EQ(ExpandEnvironment(u"%PELMORA_UNSET%/x%"), u"%PELMORA_UNSET%/x%");
  EXPECT_EQ(ExpandEnvironment(u"%%PELMORA_TEST_DIR%"), u"%%PELMORA_TEST_DIR%");
  EXPECT_EQ(ExpandEnvironment(u"a%PELMORA_TEST_DIR%%PELMORA_TEST_DIR%b"), u"a/home/ü/home/üb");
  EXPECT_EQ(ExpandEnvironment(u"100%"), u"100%");
  EXPECT_EQ(MakeAbsolute(u"%PELMORA_TEST_DIR%/../x", u"/app/"), u"/home/ü/../x");
  EXPECT_EQ(MakeAbsolute(u"sub/%PELMORA_TEST_DIR%", u"/app/"), u"/app/sub//home/ü");
  unsetenv("PELMORA_TEST_DIR");
}

TEST(PosixPathsTest, ExecutableAndCurrentFolder) {
  const SharedString exe = GetExecutablePath();
  EXPECT_FALSE(IsRelative(exe));
  EXPECT_EQ(FileNamePart(exe), u"foundation_tests");
  EXPECT_EQ(GetExecutableDirectory(), DirectoryPart(exe));
  EXPECT_EQ(MakeAbsoluteToExecutable(u"x.cfg"), DirectoryPart(exe) + u"x.cfg");

  TestFolder folder;
  const SharedString current = GetCurrentDirectory();
  SetCurrentDirectory(folder.Path());
  EXPECT_EQ(EnsureTrailingSeparator(GetCurrentDirectory()),
            EnsureTrailingSeparator(
                SharedString(std::filesystem::canonical(FsPath(folder.Path())).u16string())));
  // An empty folder part is the current folder.
  TestFolder::WriteBytes(folder / u"here.txt", "x");
  EXPECT_EQ(ListFiles(u"", 0), Paths{u"here.txt"});
  SetCurrentDirectory(current);
  EXPECT_THROW(SetCurrentDirectory(folder / u"missing/"), Win32Exception);
}

// Text that never reached the disk must not pass for written settings.
TEST(PosixFilesTest, FullDiskIsAWriteFailure) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  EXPECT_THROW(WriteTextFile(u"/dev/full", u"Interval = 600"), IOException);
  CStdFile file(u"/dev/full", u"wb");
  file.Write("x", 1);  // buffered so far
  EXPECT_THROW(file.Flush(), IOException);
}

// A save that runs out of room leaves the settings as they were, and a
// save that succeeds leaves their permissions as they were.
TEST(PosixFilesTest, SavingIsAllOrNothing) {
  TestFolder folder;
  const SharedString name = folder / u"settings.cfg";
  WriteTextFile(name, u"Interval = 600");
  chmod(FsPath(name).c_str(), 0600);
  WriteTextFile(name, u"Interval = 300");
  struct stat st;
  ASSERT_EQ(stat(FsPath(name).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string before = TestFolder::ReadBytes(name);

  const bool threw = [&] {
    const Testing::ScopedFileSizeLimit limit(64);  // bytes per file
    try {
      WriteTextFile(name, SharedString(std::u16string(100, u'x')));
    } catch (const IOException& e) {
      EXPECT_EQ(std::string(e.what()), ToUtf8(name + u" への書き込みに失敗しました"));
      return true;
    }
    return false;
  }();

  EXPECT_TRUE(threw);
  EXPECT_EQ(TestFolder::ReadBytes(name), before);
  EXPECT_FALSE(TestFolder::FsExists(name + u".tmp"));
}

// A named pipe among the pictures would make the change wait for a writer
// for ever; only regular files and links to them are read.
TEST(PosixFilesTest, PicturesAreReadOnlyFromRegularFiles) {
  TestFolder folder;
  const SharedString picture = folder / u"good.jpg";
  TestFolder::WriteBytes(picture, "jpeg");
  const SharedString link = folder / u"link.jpg";
  ASSERT_EQ(symlink(FsPath(picture).c_str(), FsPath(link).c_str()), 0);
  EXPECT_EQ(CFileData(link).GetSize(), 4u);

  const SharedString pipe = folder / u"pipe.jpg";
  ASSERT_EQ(mkfifo(FsPath(pipe).c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&]() -> std::string {
    try {
      CFileData data(pipe);
    } catch (const IOException& e) {
      return e.what();
    }
    return "read";
  });
  if (read.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    // Let the stuck reader go: a writer that comes and goes ends its wait.
    close(open(FsPath(pipe).c_str(), O_WRONLY | O_NONBLOCK));
    read.wait();
    FAIL() << "opening a named pipe waited for a writer";
  }
  EXPECT_EQ(read.get(), ToUtf8(pipe + u" が開けませんでした"));
  EXPECT_THROW(CFileData(u"/dev/null"), IOException);
}

TEST(PosixFilesTest, ReadOnlySettingsAreRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write to any file";
  TestFolder folder;
  const SharedString name = folder / u"settings.cfg";
  WriteTextFile(name, u"kept");
  SetAttributes(name, kFileAttributeReadOnly);
  EXPECT_THROW(WriteTextFile(name, u"lost"), IOException);
  EXPECT_EQ(TestFolder::ReadBytes(name), std::string("\xFF\xFEk\0e\0p\0t\0", 10));
}

// One owner per descriptor: a move hands it on, moving onto a live one
// closes that first, and the last owner closes it once.
TEST(PosixFilesTest, DescriptorOwnership) {
  const auto is_open = [](int fd) { return fcntl(fd, F_GETFD) != -1; };
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  UniqueFd owner(std::move(read_end));
  EXPECT_FALSE(read_end);
  EXPECT_EQ(owner.Get(), ends[0]);
  errno = ENOENT;
  owner = std::move(write_end);
  EXPECT_EQ(errno, ENOENT);  // a cleanup keeps the error being reported
  EXPECT_FALSE(is_open(ends[0]));
  EXPECT_TRUE(is_open(ends[1]));
  UniqueFd& same = owner;
  owner = std::move(same);
  EXPECT_TRUE(is_open(ends[1]));
  { const UniqueFd last(std::move(owner)); }
  EXPECT_FALSE(is_open(ends[1]));
}

// Creates root/deep/<250 d>/<250 d>/... relative to open folders, deeper than
// any full path the system accepts.
void MakeTooDeepTree(const SharedString& root) {
  const std::string name(250, 'd');
  int fd = open(FsPath(root).c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < 20; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0777), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  close(fd);
}

void RemoveTooDeepTree(const SharedString& root) {
  const std::string name(250, 'd');
  std::vector<int> fds{open(FsPath(root).c_str(), O_RDONLY | O_DIRECTORY)};
  while (fds.back() >= 0) fds.push_back(openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
  fds.pop_back();
  while (!fds.empty()) {
    unlinkat(fds.back(), name.c_str(), AT_REMOVEDIR);
    close(fds.back());
    fds.pop_back();
  }
}

// A folder that cannot be read costs only itself. Works for root too: no
// one can open a folder by a name longer than the system allows.
TEST(PosixFileSystemTest, UnreadableFoldersAreSkipped) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"a.jpg", "x");
  TestFolder::WriteBytes(folder / u"z/b.png", "x");
  CreateDirectories(folder / u"deep/");
  MakeTooDeepTree(folder / u"deep/");
  const Paths files = ListFiles(folder.Path(), -1);
  RemoveTooDeepTree(folder / u"deep/");
  EXPECT_EQ(Sorted(files), Sorted({folder / u"a.jpg", folder / u"z/b.png"}));
}

TEST(PosixFileSystemTest, FoldersWithoutPermissionAreSkipped) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "permissions do not stop root from reading a folder; "
                    "UnreadableFoldersAreSkipped covers the skipping";
  }
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"a.jpg", "x");
  TestFolder::WriteBytes(folder / u"closed/hidden.png", "x");
  chmod(FsPath(folder / u"closed").c_str(), 0);
  const Paths entries = ListEntries(folder.Path(), -1);
  chmod(FsPath(folder / u"closed").c_str(), 0700);
  EXPECT_EQ(Sorted(entries), Sorted({folder / u"a.jpg", folder / u"closed/"}));
}

// A link to a folder is listed as that folder but deleted as a link.
TEST(PosixFileSystemTest, LinkedFolders) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"outside/keep.jpg", "x");
  CreateDirectories(folder / u"tree/");
  std::filesystem::create_directory_symlink(FsPath(folder / u"outside"),
                                            FsPath(folder / u"tree/link"));
  EXPECT_EQ(ListFiles(folder / u"tree/", -1), Paths{folder / u"tree/link/keep.jpg"});
  EXPECT_TRUE(IsDirectory(folder / u"tree/link/"));
  Delete(folder / u"tree/", true);
  EXPECT_FALSE(TestFolder::FsExists(folder / u"tree"));
  EXPECT_TRUE(TestFolder::FsExists(folder / u"outside/keep.jpg"));
}

// Links back up the tree are listed once, not followed round and round.
TEST(PosixFileSystemTest, LinkLoopsEnd) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"tree/x.jpg", "x");
  TestFolder::WriteBytes(folder / u"tree/sub/y.jpg", "y");
  for (const char16_t* link : {u"tree/up", u"tree/sub/top", u"tree/sub/again"}) {
    std::filesystem::create_directory_symlink(FsPath(folder / u"tree"), FsPath(folder / link));
  }
  EXPECT_EQ(Sorted(ListEntries(folder / u"tree/", -1)),
            Sorted({folder / u"tree/x.jpg", folder / u"tree/sub/", folder / u"tree/sub/y.jpg",
                    folder / u"tree/up/", folder / u"tree/sub/top/", folder / u"tree/sub/again/"}));
}

}  // namespace
}  // namespace Orvex

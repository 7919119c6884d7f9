#include "foundation/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "foundation/platform.h"
#include "foundation/test_folder.h"

namespace Orvex {
namespace {

using Testing::FsPath;
using Testing::TestFolder;
using Paths = std::vector<SharedString>;

std::string Narrow(const SharedString& text) { return GetDefaultEncoding().ToMultiByte(text); }

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

template <typename E, typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing thrown";
  return {};
}

// a.jpg, .hidden, .git/config, sub/b.png, sub/deep/c.bmp
class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* file :
         {u"a.jpg", u".hidden", u".git/config", u"sub/b.png", u"sub/deep/c.bmp"}) {
      TestFolder::WriteBytes(folder_ / file, "x");
    }
  }
  SharedString At(std::u16string_view relative) const { return folder_ / relative; }

  TestFolder folder_;
};

TEST_F(ListingTest, WholeTreeDepthFirstWithoutDotFolders) {
  const Paths entries = ListEntries(folder_.Path(), -1);
  EXPECT_EQ(Sorted(entries), Sorted({At(u"a.jpg"), At(u".hidden"), At(u"sub/"), At(u"sub/b.png"),
                                     At(u"sub/deep/"), At(u"sub/deep/c.bmp")}));
  // A folder's contents follow it directly.
  const auto sub = std::find(entries.begin(), entries.end(), At(u"sub/"));
  ASSERT_LE(sub + 4, entries.end());
  EXPECT_EQ(Sorted(Paths(sub + 1, sub + 4)),
            Sorted({At(u"sub/b.png"), At(u"sub/deep/"), At(u"sub/deep/c.bmp")}));

  EXPECT_EQ(Sorted(ListFiles(folder_.Path(), -1)),
            Sorted({At(u"a.jpg"), At(u".hidden"), At(u"sub/b.png"), At(u"sub/deep/c.bmp")}));
  EXPECT_EQ(Sorted(ListFolders(folder_.Path(), -1)), Sorted({At(u"sub/"), At(u"sub/deep/")}));
}

TEST_F(ListingTest, DepthLimitsTheLevels) {
  EXPECT_EQ(Sorted(ListEntries(folder_.Path(), 0)),
            Sorted({At(u"a.jpg"), At(u".hidden"), At(u"sub/")}));
  EXPECT_EQ(Sorted(ListFiles(folder_.Path(), 1)),
            Sorted({At(u"a.jpg"), At(u".hidden"), At(u"sub/b.png")}));
  EXPECT_EQ(ListFolders(At(u"sub/deep/"), -1), Paths{});
}

TEST_F(ListingTest, OnlyTheFolderPartOfTheArgumentCounts) {
  EXPECT_EQ(Sorted(ListEntries(At(u"sub"), 0)), Sorted(ListEntries(folder_.Path(), 0)));
  EXPECT_EQ(Sorted(ListFiles(At(u"sub/b.png"), 0)), Sorted({At(u"sub/b.png")}));
}

TEST_F(ListingTest, MissingFolderCannotBeSearched) {
  const SharedString missing = At(u"missing/");
  const std::string text = ErrorOf<Win32Exception>([&] { ListEntries(missing, -1); });
  EXPECT_EQ(text.rfind(Narrow(missing + u"* の検索に失敗"), 0), 0u) << text;
}

TEST(FileSystemTest, AttributesOfFilesAndFolders) {
  TestFolder folder;
  const SharedString file = folder / u"file.txt";
  TestFolder::WriteBytes(file, "x");
  EXPECT_TRUE(Exists(file));
  EXPECT_FALSE(IsDirectory(file));
  EXPECT_EQ(GetAttributes(file) & kFileAttributeDirectory, 0u);
  EXPECT_TRUE(Exists(folder.Path()));
  EXPECT_TRUE(IsDirectory(folder.Path()));
  EXPECT_TRUE(IsDirectory(RemoveTrailingSeparator(folder.Path())));
  EXPECT_FALSE(Exists(folder / u"missing"));
  EXPECT_FALSE(IsDirectory(folder / u"missing/"));
  EXPECT_EQ(GetAttributes(folder / u"missing"), kInvalidFileAttributes);

  SetAttributes(file, kFileAttributeReadOnly);
  EXPECT_NE(GetAttributes(file) & kFileAttributeReadOnly, 0u);
  SetAttributes(file, kFileAttributeNormal);
  EXPECT_EQ(GetAttributes(file) & kFileAttributeReadOnly, 0u);

  EXPECT_EQ(NearestExistingFolder(folder / u"missing/deeper/x.txt"), folder.Path());
  EXPECT_EQ(NearestExistingFolder(folder.Path()), folder.Path());
  EXPECT_EQ(NearestExistingFolder(u"missing-relative/x"), u"");
}

TEST(FileSystemTest, CreatesFoldersWithTheirParents) {
  TestFolder folder;
  CreateDirectories(folder / u"a/b/c/");
  EXPECT_TRUE(std::filesystem::is_directory(FsPath(folder / u"a/b/c")));
  CreateDirectories(folder / u"a/b/c/");  // already there
  CreateDirectories(folder / u"d/e/file.txt");
  EXPECT_TRUE(std::filesystem::is_directory(FsPath(folder / u"d/e")));
  EXPECT_FALSE(TestFolder::FsExists(folder / u"d/e/file.txt"));

  // A bare file name has no folder to make.
  const SharedString current = GetCurrentDirectory();
  SetCurrentDirectory(folder.Path());
  CreateDirectories(u"bare-name");
  SetCurrentDirectory(current);
  EXPECT_EQ(Sorted(ListEntries(folder.Path(), 0)), Sorted({folder / u"a/", folder / u"d/"}));

  // The first folder that cannot be made is named.
  TestFolder::WriteBytes(folder / u"file", "x");
  EXPECT_EQ(ErrorOf<IOException>([&] { CreateDirectories(folder / u"file/sub/"); }),
            Narrow(folder / u"file/" + u"の作成に失敗しました"));
}

TEST(FileSystemTest, CopiesFilesAndTrees) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"src/x.txt", "x");
  TestFolder::WriteBytes(folder / u"src/d/y.txt", "y");
  TestFolder::WriteBytes(folder / u"src/d/e/z.txt", "z");

  // Into a folder, under the file's own name; the folder is made first.
  Copy(folder / u"src/x.txt", folder / u"out/", false);
  EXPECT_EQ(TestFolder::ReadBytes(folder / u"out/x.txt"), "x");

  const SharedString src = folder / u"src/d/y.txt";
  const SharedString dst = folder / u"out/x.txt";
  EXPECT_EQ(ErrorOf<IOException>([&] { Copy(src, dst, false); }),
            Narrow(u"ファイルのコピーに失敗しました (" + src + u" → " + dst + u")"));
  EXPECT_EQ(TestFolder::ReadBytes(dst), "x");
  Copy(src, dst, true);
  EXPECT_EQ(TestFolder::ReadBytes(dst), "y");
  // A file copied over itself stays whole.
  EXPECT_THROW(Copy(dst, dst, true), IOException);
  EXPECT_EQ(TestFolder::ReadBytes(dst), "y");

  Copy(folder / u"src/", folder / u"tree/", false);
  EXPECT_EQ(Sorted(ListFiles(folder / u"tree/", -1)),
            Sorted({folder / u"tree/x.txt", folder / u"tree/d/y.txt", folder / u"tree/d/e/z.txt"}));
  EXPECT_EQ(TestFolder::ReadBytes(folder / u"tree/d/e/z.txt"), "z");

  const SharedString missing = folder / u"missing.txt";
  EXPECT_THROW(Copy(missing, folder / u"out/", true), IOException);
}

TEST(FileSystemTest, DeletesFilesAndTrees) {
  TestFolder folder;
  TestFolder::WriteBytes(folder / u"keep.txt", "k");
  TestFolder::WriteBytes(folder / u"tree/a.txt", "a");
  TestFolder::WriteBytes(folder / u"tree/.git/config", "c");
  TestFolder::WriteBytes(folder / u"tree/sub/b.txt", "b");

  Delete(folder / u"tree/a.txt", false);
  EXPECT_FALSE(TestFolder::FsExists(folder / u"tree/a.txt"));
  // Dot folders are inside the tree too, and a folder named without its
  // separator is that folder, not its parent's contents.
  Delete(folder / u"tree", false);
  EXPECT_FALSE(TestFolder::FsExists(folder / u"tree"));
  EXPECT_EQ(TestFolder::ReadBytes(folder / u"keep.txt"), "k");

  const SharedString missing = folder / u"missing.txt";
  EXPECT_EQ(ErrorOf<IOException>([&] { Delete(missing, true); }),
            Narrow(missing + u"の削除に失敗しました"));
}

TEST(FileSystemTest, ReadOnlyFilesNeedForce) {
  TestFolder folder;
  const SharedString file = folder / u"tree/locked.txt";
  TestFolder::WriteBytes(file, "x");
  SetAttributes(file, kFileAttributeReadOnly);
  EXPECT_EQ(ErrorOf<IOException>([&] { Delete(file, false); }),
            Narrow(file + u"の削除に失敗しました"));
  EXPECT_TRUE(TestFolder::FsExists(file));
  const SharedString tree = folder / u"tree/";
  EXPECT_THROW(Delete(tree, false), IOException);
  Delete(tree, true);
  EXPECT_FALSE(TestFolder::FsExists(tree));
}

// Names outside the Japanese ANSI code page must work like any other.
TEST(FileSystemTest, NamesOutsideTheCodePage) {
  TestFolder folder;
  const SharedString dir = folder / u"caf\u00e9/";
  const SharedString file = dir + u"\u00fcber\U0001F600\u65e5\u672c.txt";
  WriteTextFile(file, u"\u00e9");
  EXPECT_TRUE(Exists(file));
  EXPECT_EQ(ListEntries(folder.Path(), -1), (Paths{dir, file}));
  std::u16string text;
  ReadTextFile(file, text);
  EXPECT_EQ(text, u"\u00e9");
  {
    CApiFile api(file, 0, 1);
    EXPECT_EQ(api.GetSize(), 4u);
  }
  Copy(file, folder / u"copy-\u00e9.txt", false);
  EXPECT_TRUE(Exists(folder / u"copy-\u00e9.txt"));
  Delete(dir, false);
  EXPECT_FALSE(TestFolder::FsExists(dir));
}

// Past the classic 260-character limit of Windows.
TEST(FileSystemTest, LongPaths) {
  TestFolder folder;
  SharedString dir = folder.Path();
  for (int i = 0; i < 8; ++i) {
    dir =
        dir + SharedString(std::u16string(40, static_cast<char16_t>(u'a' + i))) + kNativeSeparator;
  }
  const SharedString file = dir + u"settings.cfg";
  ASSERT_GT(file.Length(), 360u);

  WriteTextFile(file, u"long");
  EXPECT_TRUE(IsDirectory(dir));
  EXPECT_TRUE(Exists(file));
  std::u16string text;
  ReadTextFile(file, text);
  EXPECT_EQ(text, u"long");
  {
    CApiFile api(file, 1, 1);
    api.Write("data", 4);
  }
  std::vector<uint8_t> bytes;
  ReadFileBytes(file, bytes);
  EXPECT_EQ(bytes.size(), 4u);
  EXPECT_EQ(ListFiles(folder.Path(), -1), Paths{file});
  Copy(file, dir + u"copy.cfg", false);
  EXPECT_TRUE(Exists(dir + u"copy.cfg"));
  const SharedString top =
      folder.Path() + SharedString(std::u16string(40, u'a')) + kNativeSeparator;
  Delete(top, false);
  EXPECT_FALSE(Exists(top));
}

}  // namespace
}  // namespace Orvex

#include <gtest/gtest.h>

#include "foundation/file_system.h"
#include "foundation/platform.h"

namespace Orvex {
namespace {

// Both separators are read alike on every system, so these Windows-style
// paths give the same answers everywhere.

TEST(PathsTest, PartsOfAPath) {
  EXPECT_EQ(LastSeparatorIndex(u"C:\\a/b\\c.txt"), 6);
  EXPECT_EQ(LastSeparatorIndex(u"name"), -1);
  EXPECT_EQ(DirectoryPart(u"C:\\a/b\\c.txt"), u"C:\\a/b\\");
  EXPECT_EQ(DirectoryPart(u"c.txt"), u"");
  EXPECT_EQ(FileNamePart(u"C:\\a/b\\c.txt"), u"c.txt");
  EXPECT_EQ(FileNamePart(u"c.txt"), u"c.txt");
  EXPECT_EQ(FileNamePart(u"C:\\a\\"), u"");
  EXPECT_EQ(FileTitle(u"C:\\a\\b.c.d"), u"b.c");
  EXPECT_EQ(FileTitle(u"C:\\a.d\\b"), u"b");
  EXPECT_EQ(Concat(u"C:\\a\\", u"b"), u"C:\\a\\b");
}

TEST(PathsTest, Extensions) {
  EXPECT_EQ(ExtensionDotIndex(u"C:\\a.d\\b"), -1);
  EXPECT_EQ(ExtensionDotIndex(u"C:\\a\\b.txt"), 6);
  EXPECT_EQ(GetExtension(u"X.JPG"), u"jpg");
  EXPECT_EQ(GetExtension(u"C:\\a.d\\b"), u"");
  EXPECT_EQ(GetExtension(u"archive.tar."), u"");

  EXPECT_EQ(ChangeExtension(u"C:\\a\\b.txt", u"cfg"), u"C:\\a\\b.cfg");
  EXPECT_EQ(ChangeExtension(u"C:\\a.d\\b", u"cfg"), u"C:\\a.d\\b.cfg");
  EXPECT_EQ(ChangeExtension(u"C:\\a\\b.txt", u""), u"C:\\a\\b");
  EXPECT_EQ(ChangeExtension(u"C:\\a.d\\b", u""), u"C:\\a.d\\b");
  // A name that only begins with a dot keeps it.
  EXPECT_EQ(ChangeExtension(u".profile", u"cfg"), u".profile.cfg");
  EXPECT_EQ(ChangeExtension(u".profile", u""), u".profile");
}

TEST(PathsTest, TrailingSeparatorsAndParents) {
  EXPECT_EQ(RemoveTrailingSeparator(u"C:\\"), u"C:\\");
  EXPECT_EQ(RemoveTrailingSeparator(u"C:/"), u"C:/");
  EXPECT_EQ(RemoveTrailingSeparator(u"C:\\a\\"), u"C:\\a");
  EXPECT_EQ(RemoveTrailingSeparator(u"C:\\a/"), u"C:\\a");
  EXPECT_EQ(RemoveTrailingSeparator(u"C:\\a"), u"C:\\a");
  EXPECT_EQ(RemoveTrailingSeparator(u""), u"");

  EXPECT_EQ(EnsureTrailingSeparator(u"C:\\a"), SharedString(u"C:\\a") + kNativeSeparator);
  EXPECT_EQ(EnsureTrailingSeparator(u"C:\\a/"), u"C:\\a/");
  EXPECT_EQ(EnsureTrailingSeparator(u""), u"");

  EXPECT_EQ(ParentPath(u"C:\\a\\b\\"), u"C:\\a\\");
  EXPECT_EQ(ParentPath(u"C:\\a\\b.txt"), u"C:\\a\\");
  EXPECT_EQ(ParentPath(u"C:\\a\\"), u"C:\\");
  EXPECT_EQ(ParentPath(u"C:\\"), u"");
  EXPECT_EQ(ParentPath(u"name"), u"");
  EXPECT_EQ(ParentPath(u""), u"");

  EXPECT_EQ(ContainingFolderName(u"C:\\a\\b\\c.txt"), u"b");
  EXPECT_EQ(ContainingFolderName(u"C:\\a\\b\\"), u"b");
  EXPECT_EQ(ContainingFolderName(u"C:\\c.txt"), u"");
  EXPECT_EQ(ContainingFolderName(u"c.txt"), u"");
}

TEST(PathsTest, CharactersAndCase) {
  const SharedString native = SharedString(u"C:") + kNativeSeparator + u"a" + kNativeSeparator +
                              u"b" + kNativeSeparator + u"c";
  EXPECT_EQ(NormalizeSeparators(u"C:/a\\b/c"), native);
  EXPECT_EQ(ReplaceChar(u"a-b-c", u'-', u'+'), u"a+b+c");
  EXPECT_EQ(ToLower(u"ABC.Jpg"), u"abc.jpg");
  EXPECT_EQ(ToLower(u"\U0001F600A"), u"\U0001F600a");  // surrogate pairs pass through
  EXPECT_TRUE(EqualsIgnoreCase(u"Photo.SPI", u"photo.spi"));
  EXPECT_FALSE(EqualsIgnoreCase(u"photo.spi", u"photo.sp"));
  EXPECT_TRUE(EndsWith(u"image.JPG", u".JPG"));
  EXPECT_FALSE(EndsWith(u"image.JPG", u".jpg"));
  EXPECT_FALSE(EndsWith(u"G", u".JPG"));
}

TEST(PathsTest, RelativeAndAbsolute) {
  EXPECT_TRUE(IsRelative(u""));
  EXPECT_TRUE(IsRelative(u"C:"));
  EXPECT_TRUE(IsRelative(u"img"));
  EXPECT_TRUE(IsRelative(u"..\\img"));
  EXPECT_TRUE(IsRelative(u"\\p"));
  EXPECT_FALSE(IsRelative(u"C:\\p"));
  EXPECT_FALSE(IsRelative(u"D:/p"));
  EXPECT_FALSE(IsRelative(u"C:p"));
  EXPECT_FALSE(IsRelative(u"\\\\server\\share"));
  EXPECT_FALSE(IsRelative(u"//server/share"));
  EXPECT_EQ(IsRelative(u"/usr/share"), kIsWindows);
}

TEST(PathsTest, ExpandedAbsolutePathsOnlyGetNativeSeparators) {
  const SharedString native =
      SharedString(u"D:") + kNativeSeparator + u"p" + kNativeSeparator + u"q";
  EXPECT_EQ(MakeAbsolute(u"D:/p/q", u"C:\\app\\"), native);
  EXPECT_EQ(MakeAbsolute(u"D:/p\\q", u""), native);
  // Without a base a relative path stays relative.
  EXPECT_EQ(MakeAbsolute(u"img/x", u""), SharedString(u"img") + kNativeSeparator + u"x");
}

}  // namespace
}  // namespace Orvex

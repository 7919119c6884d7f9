#include "foundation/files.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/test_folder.h"

namespace Orvex {
namespace {

using namespace std::string_view_literals;

using Testing::TestFolder;

std::string Narrow(const SharedString& text) { return GetDefaultEncoding().ToMultiByte(text); }

// The text of the IOException that f throws; fails the test if none is.
template <typename F>
std::string IOErrorOf(F f) {
  try {
    f();
  } catch (const IOException& e) {
    return e.what();
  }
  ADD_FAILURE() << "no IOException";
  return {};
}

std::u16string ReadText(const SharedString& name) {
  std::u16string text;
  ReadTextFile(name, text);
  return text;
}

TEST(FilesTest, ApiFileWritesSeeksAndReads) {
  TestFolder folder;
  const SharedString name = folder / u"data.bin";
  {
    CApiFile file(name, 1, 1);
    EXPECT_EQ(file.GetType(), 2);
    EXPECT_EQ(file.GetStream(), nullptr);
    file.Write("hello world", 11);
    file.Write("", 0);
    EXPECT_EQ(file.GetSize(), 11u);
    EXPECT_EQ(file.Tell(), 11);
    EXPECT_EQ(file.Seek(-5, 2), 6);
    char word[6] = {};
    file.Read(word, 5);
    EXPECT_STREQ(word, "world");
    EXPECT_EQ(file.Seek(2, 0), 2);
    EXPECT_EQ(file.Seek(1, 1), 3);
    file.Flush();
  }
  EXPECT_EQ(TestFolder::ReadBytes(name), "hello world");

  // Mode 1 starts the file anew.
  { CApiFile rewrite(name, 1, 0); }
  EXPECT_EQ(TestFolder::ReadBytes(name), "");
}

TEST(FilesTest, StdFileWritesSeeksAndReads) {
  TestFolder folder;
  const SharedString name = folder / u"data.bin";
  CStdFile file(name, u"w+b");
  EXPECT_EQ(file.GetType(), 1);
  EXPECT_NE(file.GetStream(), nullptr);
  file.Write("0123456789", 10);
  EXPECT_EQ(file.GetSize(), 10u);
  EXPECT_EQ(file.Tell(), 10);  // taking the size keeps the position
  EXPECT_EQ(file.Seek(-4, 2), 0);
  char tail[5] = {};
  file.Read(tail, 4);
  EXPECT_STREQ(tail, "6789");
}

// A read across the end: the buffered stream counts it as a failure, the
// OS file reads what is there.
TEST(FilesTest, ReadingPastTheEnd) {
  TestFolder folder;
  const SharedString name = folder / u"twenty.bin";
  TestFolder::WriteBytes(name, "abcdefghijklmnopqrst");
  char buffer[10] = {};

  CStdFile std_file(name, u"rb");
  std_file.Seek(15, 0);
  EXPECT_EQ(IOErrorOf([&] { std_file.Read(buffer, 10); }),
            Narrow(name + u" からの読み込みに失敗しました"));

  CApiFile api_file(name, 0, 0);
  api_file.Seek(15, 0);
  api_file.Read(buffer, 10);
  EXPECT_EQ(std::string(buffer, 5), "pqrst");
}

TEST(FilesTest, FailuresNameTheFile) {
  TestFolder folder;
  const SharedString missing = folder / u"missing.bin";
  EXPECT_EQ(IOErrorOf([&] { CApiFile(missing, 0, 0); }),
            Narrow(missing + u" のオープン・作成に失敗"));
  EXPECT_EQ(IOErrorOf([&] { CApiFile(missing, 2, 2); }),
            Narrow(missing + u" のオープン・作成に失敗"));
  EXPECT_EQ(IOErrorOf([&] { CStdFile(missing, u"rb"); }), Narrow(missing + u" が開けませんでした"));
  std::vector<uint8_t> bytes;
  EXPECT_EQ(IOErrorOf([&] { ReadFileBytes(missing, bytes); }),
            Narrow(missing + u" が開けませんでした"));
  EXPECT_EQ(IOErrorOf([&] { CFileData data(missing); }), Narrow(missing + u" が開けませんでした"));

  // A folder is not a file, whatever the system lets one open.
  const SharedString sub = folder / u"sub/";
  TestFolder::WriteBytes(sub + u"inside.bin", "x");
  EXPECT_EQ(IOErrorOf([&] { CApiFile(sub, 0, 0); }), Narrow(sub + u" のオープン・作成に失敗"));
  EXPECT_EQ(IOErrorOf([&] { CFileData data(sub); }), Narrow(sub + u" が開けませんでした"));
  const SharedString sub_name = RemoveTrailingSeparator(sub);
  EXPECT_EQ(IOErrorOf([&] { CFileData data(sub_name); }),
            Narrow(sub_name + u" が開けませんでした"));

  const SharedString existing = folder / u"existing.bin";
  TestFolder::WriteBytes(existing, "x");
  CStdFile read_only(existing, u"rb");
  EXPECT_EQ(IOErrorOf([&] { read_only.Write("abc", 3); }),
            Narrow(existing + u" への書き込みに失敗しました"));
  EXPECT_EQ(IOErrorOf([&] { read_only.Seek(-5, 0); }),
            Narrow(existing + u" のファイルポインタの設定に失敗しました"));
  CApiFile api(existing, 0, 0);
  EXPECT_EQ(IOErrorOf([&] { api.Write("abc", 3); }), Narrow(existing + u" への書き込みに失敗"));
  EXPECT_EQ(IOErrorOf([&] { api.Seek(-5, 0); }),
            Narrow(existing + u" のファイルポインタの設定に失敗"));
  // A negative count is refused, never taken as a huge one.
  char byte;
  EXPECT_EQ(IOErrorOf([&] { api.Read(&byte, -1); }), Narrow(existing + u" からの読み込みに失敗"));
  EXPECT_EQ(IOErrorOf([&] { read_only.Read(&byte, -1); }),
            Narrow(existing + u" からの読み込みに失敗しました"));
}

TEST(FilesTest, LongNameInAnErrorIsCut) {
  TestFolder folder;
  const SharedString missing = folder / std::u16string(600, u'n');
  const std::string text = IOErrorOf([&] { CApiFile(missing, 0, 0); });
  EXPECT_EQ(text.size(), 511u);
  EXPECT_EQ(text, Narrow(missing).substr(0, 511));
}

TEST(FilesTest, WriterExcludesEveryoneElse) {
  TestFolder folder;
  const SharedString name = folder / u"locked.bin";
  TestFolder::WriteBytes(name, "data");
  {
    CApiFile reader(name, 0, 0);
    CApiFile second_reader(name, 0, 1);
    CApiFile shared_reader(name, 2, 2);
    EXPECT_THROW(CApiFile(name, 1, 0), IOException);
  }
  {
    CApiFile writer(name, 1, 1);
    EXPECT_THROW(CApiFile(name, 0, 0), IOException);
    EXPECT_THROW(CApiFile(name, 2, 0), IOException);
  }
  CApiFile reader_again(name, 0, 0);
}

TEST(FilesTest, ReserveGrowsButNeverCuts) {
  TestFolder folder;
  const SharedString api_name = folder / u"api.bin";
  const SharedString std_name = folder / u"std.bin";
  {
    CApiFile api(api_name, 1, 1);
    CStdFile std_file(std_name, u"w+b");
    for (IFile* file : std::vector<IFile*>{&api, &std_file}) {
      file->Reserve(1024);
      EXPECT_EQ(file->GetSize(), 0u) << Narrow(file->GetName());
      file->Reserve(1025);
      EXPECT_EQ(file->GetSize(), 1025u) << Narrow(file->GetName());
      EXPECT_EQ(file->Tell(), 0) << Narrow(file->GetName());
      // A file already longer keeps all its bytes.
      const std::string data(3000, 'z');
      file->Write(data.data(), 3000);
      file->Seek(10, 0);
      file->Reserve(2000);
      EXPECT_EQ(file->GetSize(), 3000u) << Narrow(file->GetName());
      EXPECT_EQ(file->Tell(), 10) << Narrow(file->GetName());
    }
  }
  EXPECT_EQ(TestFolder::ReadBytes(api_name), std::string(3000, 'z'));
  EXPECT_EQ(TestFolder::ReadBytes(std_name), std::string(3000, 'z'));
}

TEST(FilesTest, ReadsWholeFiles) {
  TestFolder folder;
  const SharedString empty = folder / u"empty.bin";
  const SharedString binary = folder / u"binary.bin";
  TestFolder::WriteBytes(empty, "");
  TestFolder::WriteBytes(binary, std::string("\0\x01\xFF\0z", 5));

  std::vector<uint8_t> bytes{1, 2, 3};
  ReadFileBytes(empty, bytes);
  EXPECT_TRUE(bytes.empty());
  ReadFileBytes(binary, bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 1, 0xFF, 0, 'z'}));

  auto data = std::make_shared<CFileData>(binary);
  EXPECT_EQ(data->GetName(), binary);
  ASSERT_EQ(data->GetSize(), 5u);
  EXPECT_EQ(data->GetData()[2], 0xFF);
  EXPECT_EQ(CFileData(empty).GetSize(), 0u);

  // A photograph-sized file takes the large-page path; every byte, the
  // last ones included, must arrive.
  const SharedString large = folder / u"large.bin";
  std::string pattern(5 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 31 + (i >> 12));
  TestFolder::WriteBytes(large, pattern);
  const CFileData big(large);
  ASSERT_EQ(big.GetSize(), pattern.size());
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(big.GetData()), big.GetSize()), pattern);
}

TEST(FilesTest, TextFilesByByteOrderMark) {
  TestFolder folder;
  const SharedString name = folder / u"text.txt";
  auto read_bytes = [&](std::string_view bytes) {
    TestFolder::WriteBytes(name, bytes);
    return ReadText(name);
  };
  const auto ansi = [](std::string_view bytes) { return GetDefaultEncoding().ToWide(bytes).Str(); };

  EXPECT_EQ(read_bytes("\xFF\xFE\x41\x00"sv), u"A");
  EXPECT_EQ(read_bytes("\xFE\xFF\x00\x41"sv), u"A");
  EXPECT_EQ(read_bytes("\xFF\xFE\x42\x30\x3D\xD8\x00\xDE"sv), u"\u3042\U0001F600");
  EXPECT_EQ(read_bytes("\xFE\xFF\x30\x42"sv), u"\u3042");
  // Too short for a mark and text, odd-sized, or without a mark: narrow text.
  EXPECT_EQ(read_bytes("\xFF\xFE"sv), ansi("\xFF\xFE"sv));
  EXPECT_EQ(read_bytes("\xFF\xFE\x41"sv), ansi("\xFF\xFE\x41"sv));
  EXPECT_EQ(read_bytes("abc"sv), u"abc");
  EXPECT_EQ(read_bytes("abcd"sv), u"abcd");
  EXPECT_EQ(read_bytes(""sv), u"");
  const std::string narrow_japanese = GetDefaultEncoding().ToMultiByte(u"設定");
  EXPECT_EQ(read_bytes(narrow_japanese), u"設定");
}

TEST(FilesTest, TextFilesAreWrittenAsUtf16WithMark) {
  TestFolder folder;
  // The folder is made on the way.
  const SharedString name = folder / u"new/deeper/settings.cfg";
  WriteTextFile(name, u"");
  EXPECT_EQ(TestFolder::ReadBytes(name), "\xFF\xFE");

  WriteTextFile(name, u"A\u3042\r\n");
  EXPECT_EQ(TestFolder::ReadBytes(name), std::string("\xFF\xFE\x41\x00\x42\x30\r\0\n\0", 10));
  const std::u16string text = u"Interval = 600\r\nImageFolder = C:\\画像\\ü\U0001F600\r\n";
  WriteTextFile(name, SharedString(text));
  EXPECT_EQ(ReadText(name), text);
  EXPECT_FALSE(TestFolder::FsExists(name + u".tmp"));

  EXPECT_EQ(ReadText(name), text);
}

// A writer that gives up halfway, whatever it throws, leaves the old file
// as it was and nothing beside it; one that finishes replaces it under its
// own name.
TEST(FilesTest, ReplacingWritesAreWholeOrNothing) {
  TestFolder folder;
  const SharedString name = folder / u"wallpaper.bmp";
  TestFolder::WriteBytes(name, "old");
  const auto half_then = [](auto failure) {
    return [failure](const SharedString& path) {
      CApiFile file(path, 1, 1);
      file.Write("new", 2);
      throw failure;
    };
  };
  EXPECT_EQ(IOErrorOf([&] {
              WriteFileReplacing(name, u" への書き込みに失敗", half_then(IOException(u"x")));
            }),
            Narrow(name + u" への書き込みに失敗"));
  EXPECT_THROW(WriteFileReplacing(name, u"", half_then(std::bad_alloc())), std::bad_alloc);
  EXPECT_EQ(TestFolder::ReadBytes(name), "old");
  EXPECT_FALSE(TestFolder::FsExists(name + u".tmp"));

  WriteFileReplacing(name, u"",
                     [](const SharedString& path) { CApiFile(path, 1, 1).Write("new", 3); });
  EXPECT_EQ(TestFolder::ReadBytes(name), "new");
  EXPECT_FALSE(TestFolder::FsExists(name + u".tmp"));
}

}  // namespace
}  // namespace Orvex

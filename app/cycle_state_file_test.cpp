#include "app/cycle_state_file.h"

#include <gtest/gtest.h>

#include <string>

#include "app/exclude_list.h"
#include "foundation/files.h"
#include "foundation/test_folder.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

std::u16string Text(const SharedString& file) {
  std::u16string text;
  Orvex::ReadTextFile(file, text);
  return text;
}

// Pictures of the image folder are kept relative to it, others whole; a
// monitor's name comes back with its picture.
TEST(CycleStateFile, KeepsRoundAndHistoryWithPathsRelativeToTheFolder) {
  TestFolder temp;
  const SharedString folder = temp / u"画像/";
  CycleState state;
  state.image_folder = folder;
  state.round = {temp / u"画像/b.bmp", temp / u"画像/sub/a.bmp"};
  state.position = 1;
  state.shown = 2;
  state.history = {{MonitorSource{u"", temp / u"elsewhere.bmp"}},
                   {MonitorSource{u"DP-1", temp / u"画像/b.bmp"},
                    MonitorSource{u"HDMI 2", temp / u"画像/sub/a.bmp"}}};
  state.history_at = 0;
  const SharedString file = CycleStatePath(temp / u"pelmora.ini");
  EXPECT_EQ(file, temp / u"pelmora.state");
  WriteCycleState(file, temp / u"lock", state);

  const std::u16string text = Text(file);
  EXPECT_NE(
      text.find(u"Round = " +
                std::u16string((SharedString(u"sub") + Orvex::kNativeSeparator + u"a.bmp").View())),
      std::u16string::npos);
  EXPECT_NE(text.find(u"Picture[HDMI 2] = "), std::u16string::npos);

  const std::optional<CycleState> read = ReadCycleState(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->image_folder, folder);
  EXPECT_EQ(read->round, state.round);
  EXPECT_EQ(read->position, 1u);
  EXPECT_EQ(read->shown, 2u);
  ASSERT_EQ(read->history.size(), 2u);
  EXPECT_EQ(read->history[0][0].source, temp / u"elsewhere.bmp");
  EXPECT_TRUE(read->history[0][0].monitor.IsEmpty());
  EXPECT_EQ(read->history[1][1].monitor, SharedString(u"HDMI 2"));
  EXPECT_EQ(read->history[1][1].source, temp / u"画像/sub/a.bmp");
}

TEST(CycleStateFile, AnythingButAWholeStateIsNothing) {
  TestFolder temp;
  EXPECT_FALSE(ReadCycleState(temp / u"missing.state"));
  TestFolder::WriteBytes(temp / u"binary.state", std::string("\x00\xff\x13garbage", 10));
  EXPECT_FALSE(ReadCycleState(temp / u"binary.state"));

  const std::u16string head = u"PelmoraState = 1\r\nImageDir = /x/\r\n";
  EXPECT_TRUE(ParseCycleState(head + u"Position = 0\r\nShown = 0\r\n"));
  for (const std::u16string& damaged : {
           std::u16string(u"ImageDir = /x/\r\nPosition = 0\r\nShown = 0\r\n"),  // not ours
           head + u"Position = 0\r\n",                                          // cut short
           head + u"Position = -1\r\nShown = 0\r\n",
           head + u"Position = 0\r\nShown = 0\r\nRound\r\n",
           head + u"Position = 0\r\nShown = 0\r\nPicture = a.bmp\r\n",  // outside a change
           head + u"Position = 0\r\nShown = 0\r\nHistoryAt = 1\r\nChange = \r\nPicture = a\r\n",
           head + u"Position = 0\r\nShown = 0\r\nWhatever = 1\r\n",
           head + u"Position = 0\r\nShown = 0\r\nChange = \r\n",  // a change of nothing
       }) {
    EXPECT_FALSE(ParseCycleState(damaged)) << std::string(damaged.begin(), damaged.end());
  }
}

// The list names pictures of the folder relative to it, each once; a line
// for a picture elsewhere keeps its whole path.
TEST(ExcludeListFile, WritesRelativeLinesOnceAndReadsThemBack) {
  TestFolder temp;
  const SharedString folder = temp / u"images/";
  const SharedString file = ExcludeList::PathFor(temp / u"pelmora.ini");
  EXPECT_EQ(file, temp / u"pelmora.exclude");
  ExcludeList::Add(file, temp / u"lock", folder, folder + u"夏.bmp");
  ExcludeList::Add(file, temp / u"lock", folder, folder + u"夏.bmp");
  ExcludeList::Add(file, temp / u"lock", folder, temp / u"other.bmp");
  EXPECT_EQ(Text(file), u"夏.bmp\r\n" + std::u16string((temp / u"other.bmp").View()) + u"\r\n");

  const ExcludeList list = ExcludeList::Read(file, folder);
  EXPECT_EQ(list.Size(), 2u);
  EXPECT_TRUE(list.Contains(folder + u"夏.bmp"));
  EXPECT_TRUE(list.Contains(temp / u"other.bmp"));
  EXPECT_FALSE(list.Contains(temp / u"夏.bmp"));
  EXPECT_EQ(ExcludeList::Read(temp / u"missing.exclude", folder).Size(), 0u);
}

}  // namespace

#include "app/picture_round.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using Orvex::SharedString;

std::vector<SharedString> Names(const char16_t* prefix, int count) {
  std::vector<SharedString> names;
  for (int i = 0; i < count; ++i) names.push_back(SharedString::Format(u"%s%d", prefix, i));
  return names;
}

SharedString Take(PictureRound& round) { return round.Pictures()[*round.TakeNext()]; }

// Files come and go while a round is under way: what was shown does not come
// again in this round, what is gone never comes, and each new picture comes
// exactly once.
TEST(PictureRound, NoRepeatsWithinARoundAcrossRebuilds) {
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<SharedString> folder = Names(u"a", 10);
    PictureRound round;
    round.Start(folder);
    std::vector<SharedString> taken;
    for (int i = 0; i < 4; ++i) taken.push_back(Take(round));

    // One shown and one waiting picture go, three come.
    const SharedString gone_shown = taken[1];
    SharedString gone_waiting;
    for (const SharedString& p : folder) {
      if (std::find(taken.begin(), taken.end(), p) == taken.end()) gone_waiting = p;
    }
    std::erase(folder, gone_shown);
    std::erase(folder, gone_waiting);
    for (const SharedString& p : Names(u"new", 3)) folder.push_back(p);
    round.Rebuild(folder);
    EXPECT_EQ(round.Shown(), 3u);
    ASSERT_EQ(round.Pictures().size(), 11u);
    EXPECT_EQ(round.Pictures()[round.Position()], taken[3]);

    while (round.Shown() < round.Pictures().size()) taken.push_back(Take(round));
    const std::set<SharedString> distinct(taken.begin(), taken.end());
    EXPECT_EQ(distinct.size(), taken.size());
    EXPECT_EQ(distinct.count(gone_waiting), 0u);
    for (const SharedString& p : folder) EXPECT_EQ(distinct.count(p), 1u) << p.View().size();

    // The round is over: the next take opens a new one of all eleven.
    Take(round);
    EXPECT_EQ(round.Shown(), 1u);
  }
}

// A round never ends with the picture the next one begins with, so the
// same picture does not stay on for two changes.
TEST(PictureRound, RoundsFollowWithoutRepeatsAtTheirBorders) {
  for (const int count : {2, 3, 7}) {
    PictureRound round;
    round.Start(Names(u"p", count));
    SharedString last;
    for (int lap = 0; lap < 30; ++lap) {
      std::set<SharedString> this_round;
      for (int i = 0; i < count; ++i) {
        const SharedString p = Take(round);
        EXPECT_NE(p, last) << count;
        this_round.insert(p);
        last = p;
      }
      EXPECT_EQ(this_round.size(), static_cast<size_t>(count));
    }
  }
}

TEST(PictureRound, FewerThanTwoPictures) {
  PictureRound round;
  round.Start({});
  EXPECT_FALSE(round.TakeNext());
  EXPECT_FALSE(round.TakeNextForMonitor(true, nullptr));
  round.Rebuild({u"only"});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Take(round), SharedString(u"only"));
  EXPECT_TRUE(round.Remove(u"only"));
  EXPECT_FALSE(round.Remove(u"only"));
  EXPECT_FALSE(round.TakeNext());
}

// A portrait monitor looks ahead for a portrait picture, but only among the
// pictures the round has not shown: the shown portrait one does not come
// back before the round is over.
TEST(PictureRound, MonitorLookAheadStaysAmongTheWaiting) {
  const PictureSizeProbe probe = [](const SharedString& p) -> std::optional<Orvex::PlaneSize> {
    return p.View()[0] == u'P' ? Orvex::PlaneSize{9, 16} : Orvex::PlaneSize{16, 9};
  };
  PictureRound round;
  round.Start({u"P", u"L1", u"L2", u"L3"});
  std::vector<SharedString> taken;
  taken.push_back(round.Pictures()[*round.TakeNextForMonitor(true, probe)]);
  EXPECT_EQ(taken[0], SharedString(u"P"));
  for (int i = 0; i < 3; ++i) {
    taken.push_back(round.Pictures()[*round.TakeNextForMonitor(true, probe)]);
  }
  EXPECT_EQ(std::set<SharedString>(taken.begin(), taken.end()).size(), 4u);
  // A new round: the portrait picture is found again.
  EXPECT_EQ(round.Pictures()[*round.TakeNextForMonitor(true, probe)], SharedString(u"P"));
}

TEST(PictureRound, RestoreRefusesWhatIsNotARound) {
  PictureRound round;
  EXPECT_FALSE(round.Restore({u"a", u"b"}, 2, 0));
  EXPECT_FALSE(round.Restore({u"a", u"b"}, 0, 3));
  EXPECT_FALSE(round.Restore({u"a", u"a"}, 0, 0));
  EXPECT_TRUE(round.Pictures().empty());
  ASSERT_TRUE(round.Restore({u"a", u"b", u"c"}, 0, 1));
  EXPECT_EQ(Take(round), SharedString(u"b"));
  EXPECT_EQ(Take(round), SharedString(u"c"));
}

}  // namespace

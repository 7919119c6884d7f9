#include "app/monitors.h"

#include <gtest/gtest.h>

#include <map>

#include "app/monitor_assignment.h"

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;

namespace {

Monitor At(const char16_t* name, PlaneRect rect, bool primary = false) {
  return Monitor{rect, primary, SharedString(name)};
}

// Total area of disjoint rectangles.
int64_t Area(const std::vector<PlaneRect>& rects) {
  int64_t area = 0;
  for (const PlaneRect& r : rects) area += r.Width() * r.Height();
  return area;
}

TEST(MonitorsTest, BoxOrderAndUncoveredArea) {
  // A portrait monitor left of and above the primary, a small one right of it.
  const MonitorList monitors{
      At(u"right", {1920, 0, 3200, 1024}),
      At(u"portrait", {-1080, -300, 0, 1620}),
      At(u"main", {0, 0, 1920, 1080}, true),
  };
  const PlaneRect box = BoundingBox(monitors);
  EXPECT_EQ(box, (PlaneRect{-1080, -300, 3200, 1620}));

  const MonitorList ordered = OrderFromPrimary(monitors);
  ASSERT_EQ(ordered.size(), 3u);
  EXPECT_EQ(ordered[0].name, SharedString(u"main"));
  // Centres: portrait (-540, 660) is 1501 away, right (2560, 512) 1603.
  EXPECT_EQ(ordered[1].name, SharedString(u"portrait"));
  EXPECT_EQ(ordered[2].name, SharedString(u"right"));

  const std::vector<PlaneRect> uncovered = UncoveredByMonitors(box, monitors);
  int64_t covered = 0;
  for (const Monitor& m : monitors) covered += m.rect.Width() * m.rect.Height();
  EXPECT_EQ(Area(uncovered), box.Width() * box.Height() - covered);
  for (const PlaneRect& gap : uncovered) {
    EXPECT_FALSE(gap.IsEmpty());
    for (const Monitor& m : monitors) EXPECT_TRUE(Orvex::Intersect(gap, m.rect).IsEmpty());
  }

  // One monitor: nothing uncovered; none marked primary: the first leads.
  EXPECT_TRUE(UncoveredByMonitors({0, 0, 800, 600}, {At(u"a", {0, 0, 800, 600})}).empty());
  EXPECT_EQ(OrderFromPrimary({At(u"b", {800, 0, 1600, 600}), At(u"a", {0, 0, 800, 600})})[0].name,
            SharedString(u"b"));
  EXPECT_TRUE(BoundingBox({}).IsEmpty());
}

class AssignmentTest : public testing::Test {
 protected:
  // Pictures named "L…" are landscape, "P…" portrait, "S…" square, others unreadable.
  PictureSizeProbe probe = [this](const SharedString& path) -> std::optional<PlaneSize> {
    ++probes;
    const char16_t kind = path.IsEmpty() ? u'?' : path.CStr()[0];
    if (kind == u'L') return PlaneSize{400, 300};
    if (kind == u'P') return PlaneSize{300, 400};
    if (kind == u'S') return PlaneSize{300, 300};
    return std::nullopt;
  };
  int probes = 0;

  static std::vector<SharedString> List(std::initializer_list<const char16_t*> names) {
    std::vector<SharedString> list;
    for (const char16_t* name : names) list.emplace_back(name);
    return list;
  }
};

TEST_F(AssignmentTest, PortraitMonitorTakesTheNextPortraitAndSkippedPicturesKeepTheirOrder) {
  auto list = List({u"L0", u"L1", u"L2", u"P3", u"L4"});
  uint32_t position = 0;  // L0 was the last shown
  // The landscape primary takes the very next picture.
  EXPECT_EQ(TakeNextForMonitor(list, position, false, probe), 1u);
  EXPECT_EQ(list[1], SharedString(u"L1"));
  // The portrait monitor finds P3 two ahead; it moves up, L2 follows it.
  EXPECT_EQ(TakeNextForMonitor(list, position, true, probe), 2u);
  EXPECT_EQ(list, List({u"L0", u"L1", u"P3", u"L2", u"L4"}));
  // The next change goes on with the picture passed over.
  EXPECT_EQ(TakeNextForMonitor(list, position, false, probe), 3u);
  EXPECT_EQ(list[position], SharedString(u"L2"));
}

TEST_F(AssignmentTest, LookAheadIsBoundedAndWraps) {
  // The only portrait picture lies 17 ahead: too far, the next one is taken.
  std::vector<SharedString> list(20, SharedString(u"L"));
  list[17] = SharedString(u"P");
  uint32_t position = 0;
  EXPECT_EQ(TakeNextForMonitor(list, position, true, probe), 1u);
  EXPECT_EQ(probes, 16);
  EXPECT_EQ(list[17], SharedString(u"P"));
  // 16 ahead is still in reach, and the search wraps past the end.
  position = 19;  // next is index 0, sixteenth ahead is index 15
  list[17] = SharedString(u"L");
  list[15] = SharedString(u"P");
  EXPECT_EQ(TakeNextForMonitor(list, position, true, probe), 0u);
  EXPECT_EQ(list[0], SharedString(u"P"));
  EXPECT_EQ(list[15], SharedString(u"L"));

  // Unreadable and square pictures suit any monitor; so does anything
  // without a probe.
  auto mixed = List({u"x", u"Lz", u"S"});
  position = 2;
  EXPECT_EQ(TakeNextForMonitor(mixed, position, true, probe), 0u);
  EXPECT_EQ(TakeNextForMonitor(mixed, position, true, probe), 1u);  // Lz passed over for S
  EXPECT_EQ(mixed, List({u"x", u"S", u"Lz"}));
  EXPECT_EQ(TakeNextForMonitor(mixed, position, true, {}), 2u);
}

TEST_F(AssignmentTest, FewerPicturesThanMonitors) {
  auto one = List({u"P"});
  uint32_t position = 0;
  // Every monitor gets the one picture; nothing for an empty list.
  for (int monitor = 0; monitor < 3; ++monitor) {
    EXPECT_EQ(TakeNextForMonitor(one, position, monitor == 1, probe), 0u);
  }
  std::vector<SharedString> none;
  EXPECT_FALSE(TakeNextForMonitor(none, position, false, probe));
  // Two pictures, three monitors: the list simply goes round; no picture
  // is looked at twice in one search.
  auto two = List({u"L", u"P"});
  position = 1;
  probes = 0;
  EXPECT_EQ(TakeNextForMonitor(two, position, true, probe), 0u);
  EXPECT_LE(probes, 2);
  EXPECT_EQ(two, List({u"P", u"L"}));
}

}  // namespace

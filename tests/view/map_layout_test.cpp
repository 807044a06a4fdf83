#include "view/map_layout.h"

#include <gtest/gtest.h>

#include <vector>

using ui::Point;
using view::CellOutline;

namespace {

// A 500 x 500 map at (10, 20): k = 100, x0 = 60, y0 = 270. Pixels worked out from
// X = trunc(x0 + 0.5 + k(0.95 vx + cx)), Y = trunc(y0 + 0.5 - k(0.95 vy + cy)).
const ui::Rect kMap{10, 20, 510, 520};

CellOutline Outline(view::MapMode mode, int selected, int slot) {
  auto cells = view::LayoutCells(mode, selected);
  return view::OutlineOf(view::PlaceMap(kMap), cells.at(slot));
}

TEST(SensorMapLayout, CellOutlinesOfTheThreeModes) {
  struct Case {
    const char* name;
    view::MapMode mode;
    int selected, slot;
    std::vector<Point> vertices;  // 0..5
  };
  const Case cases[] = {
      {"19: sensor 1",
       view::kMode19,
       9,
       0,
       {{160, 42}, {208, 69}, {208, 124}, {160, 152}, {113, 124}, {113, 69}}},
      {"19: sensor 10",
       view::kMode19,
       9,
       9,
       {{260, 215}, {308, 243}, {308, 297}, {260, 325}, {213, 297}, {213, 243}}},
      {"19: sensor 19",
       view::kMode19,
       9,
       18,
       {{360, 388}, {408, 416}, {408, 471}, {360, 498}, {313, 471}, {313, 416}}},
      {"7: upper left",
       view::kMode7,
       9,
       0,
       {{177, 33}, {257, 79}, {257, 172}, {177, 218}, {96, 172}, {96, 79}}},
      {"7: selected",
       view::kMode7,
       9,
       3,
       {{260, 177}, {340, 224}, {340, 316}, {260, 363}, {180, 316}, {180, 224}}},
      {"7: lower right",
       view::kMode7,
       9,
       6,
       {{343, 322}, {424, 368}, {424, 461}, {343, 507}, {263, 461}, {263, 368}}},
      {"1",
       view::kMode1,
       4,
       0,
       {{260, 51}, {450, 160}, {450, 380}, {260, 489}, {70, 380}, {70, 160}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CellOutline o = Outline(c.mode, c.selected, c.slot);
    for (int v = 0; v < 6; ++v) EXPECT_EQ(o[v], c.vertices[v]) << "vertex " << v;
    EXPECT_EQ(o[6], o[0]);  // closed outline of seven points
  }
}

TEST(SensorMapLayout, ModesChooseTheirCells) {
  auto m19 = view::LayoutCells(view::kMode19, 9);
  ASSERT_EQ(m19.size(), 19u);
  for (int s = 0; s < 19; ++s) EXPECT_EQ(m19[s].sensor, s);
  EXPECT_DOUBLE_EQ(m19[9].centre.x, 2);  // sensor 10 in the middle
  EXPECT_DOUBLE_EQ(m19[9].centre.y, 0);

  // Sensor 1 selected: the three upper/left slots are empty, the rest show 1, 2, 4, 5.
  auto m7 = view::LayoutCells(view::kMode7, 0);
  std::vector<int> sensors;
  for (auto& c : m7) sensors.push_back(c.sensor);
  EXPECT_EQ(sensors, (std::vector<int>{-1, -1, -1, 0, 1, 3, 4}));

  auto m1 = view::LayoutCells(view::kMode1, 13);
  ASSERT_EQ(m1.size(), 1u);
  EXPECT_EQ(m1[0].sensor, 13);
  EXPECT_EQ(m1[0].hexagon, &view::SensorMapLayout::kHexagon1);
  // A selection out of range is clamped rather than read past the table.
  EXPECT_EQ(view::LayoutCells(view::kMode1, 99)[0].sensor, 18);
}

// Each neighbour relation must be mirrored in the opposite slot of the other row, and agree
// with the honeycomb distances of the 19-cell centres.
TEST(SensorMapLayout, NeighbourTableMatchesTheHoneycomb) {
  const int opposite[7] = {6, 5, 4, 3, 2, 1, 0};
  const auto& c = view::SensorMapLayout::kCentres19;
  for (int a = 0; a < 19; ++a) {
    EXPECT_EQ(view::NeighbourTable[a][view::kSelfSlot], a);
    int count = 0;
    for (int slot = 0; slot < 7; ++slot) {
      int b = view::NeighbourTable[a][slot];
      if (b < 0 || slot == view::kSelfSlot) continue;
      ++count;
      EXPECT_EQ(view::NeighbourTable[b][opposite[slot]], a) << a << " slot " << slot;
      double dx = c[b].x - c[a].x, dy = c[b].y - c[a].y;
      EXPECT_NEAR(dx * dx + dy * dy, 1.0, 1e-12) << a << "-" << b;
    }
    int expected = 0;
    for (int b = 0; b < 19; ++b) {
      double dx = c[b].x - c[a].x, dy = c[b].y - c[a].y;
      if (b != a && std::abs(dx * dx + dy * dy - 1) < 1e-9) ++expected;
    }
    EXPECT_EQ(count, expected) << a;
  }
  EXPECT_TRUE(view::IsNeighbourOf(9, 4));
  EXPECT_FALSE(view::IsNeighbourOf(9, 0));
  EXPECT_FALSE(view::IsNeighbourOf(9, -1));
}

TEST(SensorMapLayout, DecorationsOfACell) {
  CellOutline o = Outline(view::kMode19, 9, 9);  // vertices as in the table above
  // Visibility box: (X - 12, Y - 10)..(X - 2, Y) at vertex 2 = (308, 297).
  EXPECT_EQ(view::VisibilityBoxOf(o), (ui::Rect{296, 287, 306, 297}));
  // Curve rectangle: means of vertices 5, 0 = ((213+260)/2, (243+215)/2) and 2, 3.
  EXPECT_EQ(view::CurveRectOf(o), (ui::Rect{236, 229, 284, 311}));
  view::SelectorTriangle t = view::SelectorOf(o);
  EXPECT_EQ(t.baseLeft, (Point{236, 311}));
  EXPECT_EQ(t.baseRight, (Point{284, 311}));
  EXPECT_EQ(t.apex, (Point{260, 325}));
}

TEST(SensorMapLayout, StrictInsideExcludesEdges) {
  const Point tri[3] = {{0, 0}, {10, 0}, {0, 10}};
  EXPECT_TRUE(view::StrictlyInside(tri, 3, {2, 2}));
  EXPECT_FALSE(view::StrictlyInside(tri, 3, {5, 0}));    // on an edge
  EXPECT_FALSE(view::StrictlyInside(tri, 3, {0, 0}));    // a vertex
  EXPECT_FALSE(view::StrictlyInside(tri, 3, {8, 8}));    // outside
  const Point reversed[3] = {{0, 0}, {0, 10}, {10, 0}};  // either winding
  EXPECT_TRUE(view::StrictlyInside(reversed, 3, {2, 2}));
  EXPECT_FALSE(view::StrictlyInside(tri, 2, {0, 0}));  // degenerate polygon
}

TEST(Legend, StripesFromBottomToTop) {
  const ui::Rect legend{750, 0, 800, 600};
  struct Case {
    int i, top, bottom;
  };
  // top = trunc(600.5 - 600 (i+1)/256), bottom = trunc(600.5 - 600 i/256).
  const Case cases[] = {{0, 598, 600}, {1, 595, 598}, {127, 300, 302}, {255, 0, 2}};
  for (const Case& c : cases) {
    view::Stripe s = view::LegendStripe(legend, c.i);
    EXPECT_EQ(s.left, 753);
    EXPECT_EQ(s.right, 797);
    EXPECT_EQ(s.top, c.top) << c.i;
    EXPECT_EQ(s.bottom, c.bottom) << c.i;
  }
  // Consecutive stripes tile the legend without gaps.
  for (int i = 1; i < 256; ++i)
    EXPECT_EQ(view::LegendStripe(legend, i).bottom, view::LegendStripe(legend, i - 1).top);
}

}  // namespace

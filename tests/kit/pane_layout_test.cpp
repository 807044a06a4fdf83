// Splitter panes: where panes, bands and windows go, hits, and drags.
#include "app/kit/pane_layout.h"

#include <gtest/gtest.h>

using namespace kit;
using ui::Point;
using ui::Rect;

namespace {

struct FakeWindow : PaneWindow {
  bool live = true;
  Rect placed{-1, -1, -1, -1};
  bool IsLive() const override { return live; }
  void MoveTo(const Rect& r) override { placed = r; }
};

}  // namespace

TEST(PaneLayout, EachKindCutsItsPaneAndBand) {
  const Rect area{0, 0, 400, 300};
  struct Case {
    int kind;
    double fraction;
    Rect pane, rest, band;
  } cases[] = {
      // s = 200: band columns 198..202, pane right of it from 204, rest left up to 197.
      {1, 0.5, {204, 0, 400, 300}, {0, 0, 197, 300}, {198, 0, 203, 300}},
      {2, 0.5, {0, 0, 197, 300}, {204, 0, 400, 300}, {198, 0, 203, 300}},
      // s = 75 (0.25 * 300 + 0.5 truncated)
      {3, 0.25, {0, 0, 400, 72}, {0, 79, 400, 300}, {0, 73, 400, 78}},
      {4, 0.25, {0, 79, 400, 300}, {0, 0, 400, 72}, {0, 73, 400, 78}},
      // rounding: 400 * 0.3333 = 133.32 + 0.5 → 133
      {1, 0.3333, {137, 0, 400, 300}, {0, 0, 130, 300}, {131, 0, 136, 300}},
  };
  for (const auto& c : cases) {
    PaneNode n;
    n.kind = c.kind;
    n.fraction = c.fraction;
    LayoutNode(n, area);
    EXPECT_EQ(n.paneRect, c.pane) << c.kind;
    EXPECT_EQ(n.restRect, c.rest) << c.kind;
    EXPECT_EQ(n.bandRect, c.band) << c.kind;
    // 5-pixel band, 7 pixels between neighbouring panes.
    EXPECT_EQ(IsHorizontalSplitter(c.kind) ? n.bandRect.Height() : n.bandRect.Width(), 5);
  }
}

TEST(PaneLayout, ChainPlacesWindowsOnePixelInsideTheirPanes) {
  FakeWindow left, top, bottom, dead;
  dead.live = false;
  PaneNode a, b;
  a.kind = 2;  // left pane, the rest to the right
  a.fraction = 0.25;
  a.window = &left;
  a.next = &b;
  b.kind = 3;  // upper pane of the rest
  b.fraction = 0.5;
  b.window = &top;
  PaneHit hit = LayoutChain(&a, {0, 0, 400, 200}, nullptr);
  EXPECT_FALSE(hit.hit);
  EXPECT_EQ(a.paneRect, (Rect{0, 0, 97, 200}));
  EXPECT_EQ(left.placed, (Rect{1, 1, 96, 199}));
  EXPECT_EQ(b.paneRect, (Rect{104, 0, 400, 97}));
  EXPECT_EQ(top.placed, (Rect{105, 1, 399, 96}));
  EXPECT_EQ(b.restRect, (Rect{104, 104, 400, 200}));
  // The gap between the left window and the top window: 7 pixels of band and frames + 2.
  EXPECT_EQ(top.placed.left - left.placed.right, 9);
  b.window = &dead;
  LayoutChain(&a, {0, 0, 400, 200}, nullptr);
  EXPECT_EQ(dead.placed, (Rect{-1, -1, -1, -1}));
}

TEST(PaneLayout, HitInTheBandStopsThePassAndPicksTheCursor) {
  FakeWindow second;
  PaneNode a, b;
  a.kind = 1;
  a.fraction = 0.5;
  a.next = &b;
  b.kind = 4;
  b.fraction = 0.5;
  b.window = &second;
  struct Case {
    Point p;
    bool hit;
    int cursor;
    PaneNode* node;
  } cases[] = {
      {{198, 50}, true, kCursorVerticalSplitter, &a},  // left edge inclusive
      {{202, 50}, true, kCursorVerticalSplitter, &a},
      {{203, 50}, false, 0, nullptr},                    // right edge exclusive
      {{100, 98}, true, kCursorHorizontalSplitter, &b},  // b's band over the left rest (0..197)
      {{100, 10}, false, 0, nullptr},
  };
  for (const auto& c : cases) {
    CurrentDrag() = {};
    second.placed = {-1, -1, -1, -1};
    PaneHit hit = LayoutChain(&a, {0, 0, 400, 200}, &c.p);
    EXPECT_EQ(hit.hit, c.hit) << c.p.x << "," << c.p.y;
    EXPECT_EQ(hit.cursor, c.cursor);
    if (c.hit) {
      EXPECT_EQ(CurrentDrag().node, c.node);
      if (c.node == &a) {
        EXPECT_EQ(second.placed, (Rect{-1, -1, -1, -1}));  // later nodes untouched
      }
    }
  }
}

TEST(PaneLayout, DragMovesTheFractionWithinItsLimits) {
  PaneNode n;
  n.kind = 1;
  n.fraction = 0.5;
  SplitterDrag d;
  d.dragging = true;
  d.node = &n;
  d.startFraction = 0.5;
  d.area = {0, 0, 400, 200};
  d.start = {200, 100};
  struct Case {
    bool horizontal;
    Rect area;
    Point p;
    double fraction;
  } cases[] = {
      {false, {0, 0, 400, 200}, {300, 0}, 0.75},   {false, {0, 0, 400, 200}, {100, 0}, 0.25},
      {false, {0, 0, 400, 200}, {5000, 0}, 1.0},  // far past the edge
      {false, {0, 0, 400, 200}, {-5000, 0}, 0.01}, {true, {0, 0, 400, 200}, {0, 150}, 0.75},
      {false, {100, 0, 100, 200}, {300, 0}, 0.5},  // zero width: nothing changes
      {true, {0, 50, 400, 20}, {0, 300}, 0.5},     // negative height
  };
  for (const auto& c : cases) {
    d.horizontal = c.horizontal;
    d.area = c.area;
    EXPECT_DOUBLE_EQ(DraggedFraction(d, c.p), c.fraction) << c.p.x << "," << c.p.y;
  }
}

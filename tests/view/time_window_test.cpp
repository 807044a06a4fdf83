#include "view/time_window.h"

#include <gtest/gtest.h>

#include <cmath>

using view::TimeWindow;

namespace {

TEST(TimeWindow, CurveRowsOfTheThreeHosts) {
  // Two frames, centre 1, half-width 1: the first at the top, the second at the middle.
  EXPECT_EQ(view::CurveRowViewer({1, 1}, 0, 100, 200), 100);
  EXPECT_EQ(view::CurveRowViewer({1, 1}, 1, 100, 200), 150);
  EXPECT_EQ(view::CurveRowViewer({1, 1}, 2, 100, 200), 200);
  // A half-width of 0 is treated as 1 instead of dividing by zero.
  EXPECT_EQ(view::CurveRowViewer({1, 0}, 1, 100, 200), 150);
  // Recording view: time upwards over lo..hi; a single-frame window does not divide by zero.
  EXPECT_EQ(view::CurveRowRecording(10, 20, 10, 100, 200), 200);
  EXPECT_EQ(view::CurveRowRecording(10, 20, 20, 100, 200), 100);
  EXPECT_EQ(view::CurveRowRecording(10, 10, 10, 100, 200), 200);
  // Thumbnails: all frames top to bottom.
  EXPECT_EQ(view::CurveRowAllFrames(5, 0, 0, 40), 0);
  EXPECT_EQ(view::CurveRowAllFrames(5, 4, 0, 40), 40);
  EXPECT_EQ(view::CurveRowAllFrames(1, 0, 0, 40), 0);
  EXPECT_EQ(view::CurveColumn(0.5, 10, 20), 15);
  EXPECT_EQ(view::CurveColumn(std::nan(""), 10, 20), 10);
}

TEST(TimeWindow, FrameUnderARowInvertsTheRowMapping) {
  const TimeWindow w{50, 10};
  for (int f = 40; f <= 60; ++f) {
    int y = view::CurveRowViewer(w, f, 100, 300);
    EXPECT_EQ(view::FrameAtRow(w, y, 100, 300, 100), f);
  }
  EXPECT_EQ(view::FrameAtRow(w, 100, 100, 300, 45), 40);  // clamped to the last frame
  EXPECT_EQ(view::FrameAtRow({2, 10}, 100, 100, 300, 45), 0);
  EXPECT_EQ(view::FrameAtRow(w, 150, 150, 150, 100), 40);  // flat rectangle
  EXPECT_EQ(view::FrameAtRow(w, 150, 100, 300, 0), 0);     // empty push
}

TEST(TimeWindow, ZoomKeepsTheCurrentFrameInPlace) {
  const int n = 400, gt = 100, gb = 500;
  const TimeWindow w{200, 200};
  const int p = 300;
  int y = *view::CurrentFrameRow(w, p, n, gt, gb);
  TimeWindow in = view::ZoomIn(w, p, n, gt, gb);
  EXPECT_EQ(in.halfWidth, 100);
  EXPECT_NEAR(*view::CurrentFrameRow(in, p, n, gt, gb), y, 2);
  TimeWindow out = view::ZoomOut(in, p, n, gt, gb);
  EXPECT_EQ(out.halfWidth, 200);
}

TEST(TimeWindow, ZoomLimits) {
  struct Case {
    const char* name;
    TimeWindow w;
    int n;
    bool zoomIn;
    int halfWidth;
  };
  const Case cases[] = {
      {"in at 1 stays 1", {5, 1}, 10, true, 1},
      {"in halves", {50, 40}, 100, true, 20},
      {"out doubles", {50, 10}, 100, false, 20},
      {"out capped at n/2", {50, 40}, 100, false, 50},
      {"out on 1 frame stays 1", {0, 1}, 1, false, 1},
      {"out on empty push stays 1", {0, 1}, 0, false, 1},
  };
  for (const Case& c : cases) {
    TimeWindow r =
        c.zoomIn ? view::ZoomIn(c.w, 0, c.n, 0, 100) : view::ZoomOut(c.w, 0, c.n, 0, 100);
    EXPECT_EQ(r.halfWidth, c.halfWidth) << c.name;
  }
  // A flat graph rectangle changes only the half-width.
  TimeWindow flat = view::ZoomIn({50, 40}, 50, 100, 80, 80);
  EXPECT_EQ(flat.centre, 50);
  EXPECT_EQ(flat.halfWidth, 20);
}

TEST(TimeWindow, CurrentFrameRowOutsideWhenTheWindowIsOneFrame) {
  EXPECT_FALSE(view::CurrentFrameRow({0, 1}, 0, 1, 0, 100).has_value());
  EXPECT_EQ(*view::CurrentFrameRow({5, 5}, 5, 11, 0, 100), 50);
}

TEST(TimeWindow, StandardScaleAndScroll) {
  EXPECT_EQ(view::StandardScale(101).centre, 50);
  EXPECT_EQ(view::StandardScale(101).halfWidth, 50);
  EXPECT_EQ(view::StandardScale(1).halfWidth, 1);
  EXPECT_EQ(view::Scroll({10, 2}, +1).centre, 10);  // 2/3 = 0: no movement
  EXPECT_EQ(view::Scroll({10, 9}, +1).centre, 13);
  EXPECT_EQ(view::Scroll({10, 9}, -1).centre, 7);
}

}  // namespace

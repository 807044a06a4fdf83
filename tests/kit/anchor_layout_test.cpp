// ArrangeControls: anchored controls after a resize.
#include "app/kit/anchor_layout.h"

#include <gtest/gtest.h>

using namespace kit;
using ui::Rect;

TEST(AnchorLayout, ControlsFollowTheirAnchors) {
  const Rect client0{0, 0, 400, 300};
  const Rect r0{100, 50, 180, 70};  // 80 x 20
  struct Case {
    const char* name;
    int flags;
    int W, H;
    Rect r;
  } cases[] = {
      {"left top stays", kAnchorLeft | kAnchorTop, 600, 500, {100, 50, 180, 70}},
      {"right moves", kAnchorRight | kAnchorTop, 600, 500, {300, 50, 380, 70}},
      {"left+right stretches",
       kAnchorLeft | kAnchorRight | kAnchorTop,
       600,
       500,
       {100, 50, 380, 70}},
      {"bottom moves", kAnchorLeft | kAnchorBottom, 600, 500, {100, 250, 180, 270}},
      {"top+bottom stretches",
       kAnchorLeft | kAnchorTop | kAnchorBottom,
       600,
       500,
       {100, 50, 180, 270}},
      {"right+bottom", kAnchorRight | kAnchorBottom, 300, 200, {0, -50, 80, -30}},
      // No horizontal anchor: L = 100 * (600 - 80) / (400 - 80) = 162.
      // No vertical anchor (and no right): T = 50 * (500 - 20) / (300 - 20) = 85.
      {"proportional", 0, 600, 500, {162, 85, 242, 105}},
      {"proportional at least 10", 0, 90, 30, {10, 10, 90, 30}},
      // Right without top or bottom keeps its vertical place.
      {"right only", kAnchorRight, 600, 500, {300, 50, 380, 70}},
  };
  for (const auto& c : cases) {
    AnchorEntry e{1000, c.flags, r0};
    EXPECT_EQ(ArrangedRect(e, client0, c.W, c.H), c.r) << c.name;
  }
}

TEST(AnchorLayout, DivisorsOfZeroOrLessCountAsOne) {
  // A control as wide as the client: W0 - w = 0.
  AnchorEntry wide{1, 0, {20, 20, 420, 40}};
  Rect r = ArrangedRect(wide, {0, 0, 400, 300}, 500, 300);
  EXPECT_EQ(r.left, 20 * (500 - 400));
  EXPECT_EQ(r.Width(), 400);
  // Wider than the client: a negative divisor also counts as 1.
  AnchorEntry wider{1, kAnchorTop, {30, 0, 530, 10}};
  EXPECT_EQ(ArrangedRect(wider, {0, 0, 400, 300}, 600, 300).left, 30 * (600 - 500));
}

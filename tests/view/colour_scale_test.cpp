#include "view/colour_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using view::Rgb;

namespace {

// Expected colours worked out from the scale's formulas (contrast 7) by hand arithmetic in
// double precision: j = trunc(atan((i/255 - 0.5)*3.5) * 0.5/atan(3.5) * 255 + 128.5), t = j/255,
// hue from green (-2pi/3) the long way to red (-2pi).
TEST(ColourScale, TableAtContrastSeven) {
  struct Case {
    int index;
    Rgb colour;
  };
  const Case cases[] = {
      {0, {0, 242, 63}},    {1, {0, 241, 66}},   {64, {0, 186, 153}},
      {100, {0, 95, 227}},  {128, {4, 0, 255}},  {160, {112, 0, 217}},
      {200, {201, 0, 135}}, {254, {242, 0, 63}}, {255, {243, 0, 60}},
  };
  const view::ColourTable table = view::ComputeColourScale(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(table[c.index].r, c.colour.r);
    EXPECT_EQ(table[c.index].g, c.colour.g);
    EXPECT_EQ(table[c.index].b, c.colour.b);
  }
  // The process table is the contrast-7 table.
  EXPECT_EQ(view::ColourScaleTable(), table);
}

TEST(ColourScale, ContrastAtOrBelowZeroCountsAsTiny) {
  const view::ColourTable tiny = view::ComputeColourScale(1e-8);
  EXPECT_EQ(view::ComputeColourScale(0), tiny);
  EXPECT_EQ(view::ComputeColourScale(-3), tiny);
  EXPECT_EQ(view::ComputeColourScale(std::nan("")), tiny);
  // Nearly linear: index 0 at t = 64/255 (cyan-green), 255 at t = 192/255.
  EXPECT_EQ(tiny[0], (Rgb{0, 169, 171}));
  EXPECT_EQ(tiny[255], (Rgb{172, 0, 168}));
}

TEST(ColourScale, EndColoursRoundTripThroughTheHueSpace) {
  EXPECT_EQ(view::HtiToRgb(view::RgbToHti(0, 255, 0)), (Rgb{0, 255, 0}));
  EXPECT_EQ(view::HtiToRgb(view::RgbToHti(255, 0, 0)), (Rgb{255, 0, 0}));
  EXPECT_EQ(view::HtiToRgb(view::RgbToHti(0, 0, 0)), (Rgb{0, 0, 0}));  // guarded norm
}

TEST(ColourScale, ColourIndexIsRoundedAndClamped) {
  struct Case {
    double value;
    int index;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {{0, 0},     {127.5, 128}, {127.49, 127},    {254.6, 255},
                        {255, 255}, {300, 255},   {-5, 0},          {-0.4, 0},
                        {inf, 255}, {-inf, 0},    {std::nan(""), 0}};
  for (const Case& c : cases) EXPECT_EQ(view::ColourIndex(c.value), c.index) << c.value;
  EXPECT_EQ(view::ClampColourIndex(-1), 0);
  EXPECT_EQ(view::ClampColourIndex(256), 255);
}

TEST(ColourScale, BrushesCopyTheTableWithColourZeroForHiddenSensors) {
  view::ColourBrushes brushes;
  brushes.MakeBrushes(7);
  EXPECT_TRUE(brushes.built);
  EXPECT_EQ(brushes.scale, view::ColourScaleTable());
  EXPECT_EQ(brushes.hidden, brushes.scale[0]);
  EXPECT_EQ(brushes[400], brushes.scale[255]);  // out-of-range indices are clamped
  EXPECT_EQ(brushes[-7], brushes.scale[0]);
}

TEST(ColourScale, AnotherContrastRebuildsTheProcessTable) {
  view::BuildColourScale(2);
  EXPECT_EQ(view::ColourScaleTable(), view::ComputeColourScale(2));
  view::BuildColourScale(7);
  EXPECT_EQ(view::ColourScaleTable(), view::ComputeColourScale(7));
}

}  // namespace

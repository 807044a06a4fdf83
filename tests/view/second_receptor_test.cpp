// The second receptor pane: its map square, its colour indices, its picture (19 outlined cells
// and nothing else) and the window on the offscreen platform, whose paint must not be covered.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <cmath>
#include <limits>

#include "tests/ui/ui_env.h"
#include "tests/view/recording_canvas.h"
#include "view/kcd_second_receptor_show.h"
#include "view/sensor_map.h"

namespace {

using view::SecondReceptorValues;

TEST(SecondReceptorPane, MapSquareIsAsHighAsThePaneButAtMostHalfItsWidth) {
  const struct {
    ui::Rect client, square;
  } cases[] = {
      {{0, 0, 300, 100}, {0, 0, 100, 100}},    // wide: the client height at the left
      {{0, 0, 200, 100}, {0, 0, 100, 100}},    // exactly twice as wide
      {{0, 0, 120, 100}, {0, 0, 60, 60}},      // narrow: half the width
      {{10, 20, 110, 220}, {10, 20, 60, 70}},  // offset client
      {{0, 0, 1, 1}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(view::SecondReceptorSquare(c.client), c.square);
}

TEST(SecondReceptorPane, IndicesAreTheSecondProbesDisplayValuesRounded) {
  EXPECT_EQ(view::SecondReceptorIndices(std::nullopt), (std::array<int, kSensorCount>{}));
  SetReceptorDataFormat(1);  // not inverted
  SetReceptorSensitivity(1, 2.0);
  SecondReceptorValues v;
  for (int i = 0; i < kSensorCount; ++i) {
    v.passport.rangeHi[i] = 1000;
    v.raw[i] = 10 * i;  // 2.55 i, doubled by the second probe's sensitivity
  }
  v.raw[18] = 100000;  // beyond the range: the top of the scale
  const auto idx = view::SecondReceptorIndices(v);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(idx[i], static_cast<int>(5.1 * i + 0.5)) << i;
  EXPECT_EQ(idx[18], 255);
  SetReceptorSensitivity(1, 1.0);
}

TEST(SecondReceptorPane, PictureIsNineteenOutlinedCellsInTheSquareAndNothingElse) {
  view::ColourBrushes brushes;
  brushes.MakeBrushes(7);
  std::array<int, kSensorCount> idx{};
  for (int i = 0; i < kSensorCount; ++i) idx[i] = 13 * i;
  RecordingCanvas canvas;
  const ui::Rect client{0, 0, 300, 120};
  view::DrawSecondReceptorMap(canvas, client, idx, brushes);

  ASSERT_FALSE(canvas.ops.empty());
  EXPECT_EQ(canvas.ops[0].kind, DrawOp::kFill);
  EXPECT_EQ(canvas.ops[0].rect, client);
  EXPECT_EQ(canvas.ops[0].fill, ui::Rgb(255, 255, 255));
  const auto cells = canvas.Cells();
  ASSERT_EQ(cells.size(), static_cast<size_t>(kSensorCount));
  EXPECT_EQ(canvas.ops.size(), 1u + kSensorCount) << "no numbers, boxes, curves or legend";
  const view::MapPlacement place = view::PlaceMap({0, 0, 120, 120});
  int k = 0;
  for (const view::CellSlot& cell : view::LayoutCells(view::kMode19, 0)) {
    if (cell.sensor < 0) continue;
    const DrawOp& op = *cells[static_cast<size_t>(k++)];
    const view::CellOutline o = view::OutlineOf(place, cell);
    EXPECT_EQ(op.points, std::vector<ui::Point>(o.begin(), o.begin() + 6)) << cell.sensor;
    EXPECT_EQ(op.fill, view::ToColour(brushes[idx[cell.sensor]])) << cell.sensor;
    EXPECT_EQ(op.pen.colour, ui::Rgb(0, 0, 0));
    EXPECT_EQ(op.pen.width, 1);
    for (const ui::Point& p : op.points) EXPECT_LE(p.x, 121) << "inside the square";
  }
}

TEST(SecondReceptorPane, WindowPaintsTheLatestValuesAtEveryPaint) {
  std::optional<SecondReceptorValues> values;
  view::KCDSecondReceptorShow pane([&] { return values; });
  ASSERT_TRUE(pane.Create());
  EXPECT_TRUE(pane.Initialised());
  EXPECT_TRUE(pane.HasItem(1000));
  EXPECT_FALSE(pane.IsItemVisible(1000)) << "the template's tmp button is hidden";
  pane.SetClientSize(240, 100);
  pane.ShowWindow(ui::SW_SHOW);
  uitest::PumpFor(50);

  view::ColourBrushes brushes;
  brushes.MakeBrushes(7);
  // The centre of sensor 10 (the middle cell) lies at the centre of the 100 x 100 square.
  auto centreColour = [&] {
    const QImage img = pane.ClientWidget()->grab().toImage();
    const QColor c = img.pixelColor(50, 50);
    return ui::Rgb(c.red(), c.green(), c.blue());
  };
  EXPECT_EQ(centreColour(), view::ToColour(brushes[0])) << "no live push: colour 0";
  EXPECT_EQ(pane.Shown(), (std::array<int, kSensorCount>{}));

  SetReceptorDataFormat(1);  // not inverted
  SecondReceptorValues v;
  for (int i = 0; i < kSensorCount; ++i) {
    v.passport.rangeHi[i] = 255;
    v.raw[i] = 200;
  }
  values = v;
  pane.Invalidate(false);
  uitest::PumpFor(50);
  EXPECT_EQ(pane.Shown()[9], 200);
  EXPECT_EQ(centreColour(), view::ToColour(brushes[200]));
  // Right of the square the pane stays white.
  EXPECT_EQ(pane.ClientWidget()->grab().toImage().pixelColor(200, 50), QColor(255, 255, 255));
  pane.DestroyWindow();
}

}  // namespace

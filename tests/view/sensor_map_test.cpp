#include "view/sensor_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/view/recording_canvas.h"

namespace {

using view::MapRequest;

const ui::Rect kMap{10, 20, 510, 520};
const ui::Colour kWhite = ui::Rgb(255, 255, 255);
const ui::Colour kBlack = ui::Rgb(0, 0, 0);

// Raw value whose colour index is v with the default passport in wire format 1.
int32_t RawFor(int v) { return static_cast<int32_t>(v * 32000.0 / 255 + 0.5); }

Push MakePush(int frames, int colourIndex) {
  Push p = CreatePush();
  AllocateFrames(p, frames);
  for (auto& f : p.frames) f.values.fill(RawFor(colourIndex));
  ComputePushStatistics(p, kAllVisible);
  return p;
}

class SensorMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceptorDataFormat(1);
    SetReceptorSensitivity(0, 1.0);
    view::CurrentMapSettings() = {};
    state.brushes.MakeBrushes();
    state.clientOffset = {3, 40};
  }
  void TearDown() override { view::SetDisplayForwarder(nullptr); }

  MapRequest Main(const Push* push, view::MapMode mode = view::kMode19) {
    MapRequest r;
    r.push = push;
    r.mode = mode;
    r.role = view::kRoleMain;
    r.decorations = {1, 1, 1, 1};
    r.caption = true;
    r.forward = true;
    r.rect = kMap;
    return r;
  }
  ui::Colour Scale(int i) { return view::ToColour(state.brushes.scale[i]); }

  view::MapDisplayState state;
  RecordingCanvas canvas;
};

TEST_F(SensorMapTest, WithoutAPushCellsAreColourZeroWithBoxesAndSelectorsOnly) {
  Push empty = CreatePush();  // no frames counts as no push
  for (const Push* push : std::vector<const Push*>{nullptr, &empty}) {
    canvas.ops.clear();
    state.hits.BeginPaint();
    view::MapDrawResult r = view::DrawSensorMap(canvas, state, Main(push));
    EXPECT_EQ(r.frame, -1);
    auto cells = canvas.Cells();
    ASSERT_EQ(cells.size(), 19u);
    for (auto* c : cells) EXPECT_EQ(c->fill, Scale(0));
    EXPECT_TRUE(canvas.Texts().empty());  // no value, min/max or caption
    for (int s = 0; s < 19; ++s) {
      EXPECT_TRUE(state.hits.visibilityBoxes[s].has_value()) << s;
      EXPECT_TRUE(state.hits.selectors[s].has_value()) << s;
      EXPECT_FALSE(state.hits.curveRects[s].has_value()) << s;
    }
    EXPECT_FALSE(state.hits.lastGraphRect.has_value());
  }
}

TEST_F(SensorMapTest, SevenSensorModeAtTheEdgeDrawsEmptyWhiteSlots) {
  Push push = MakePush(3, 100);
  state.selected = 0;
  view::DrawSensorMap(canvas, state, Main(&push, view::kMode7));
  auto cells = canvas.Cells();
  ASSERT_EQ(cells.size(), 7u);
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(cells[slot]->fill, kWhite) << slot;
    EXPECT_EQ(cells[slot]->pen.colour, kBlack);
    EXPECT_EQ(cells[slot]->pen.width, 1);
  }
  for (int slot = 3; slot < 7; ++slot) EXPECT_EQ(cells[slot]->fill, Scale(100)) << slot;
  // Boxes only for the four real sensors 1, 2, 4, 5.
  int boxes = 0;
  for (auto& b : state.hits.visibilityBoxes) boxes += b.has_value();
  EXPECT_EQ(boxes, 4);
  for (int s : {0, 1, 3, 4}) EXPECT_TRUE(state.hits.visibilityBoxes[s].has_value()) << s;
}

TEST_F(SensorMapTest, ForwardedFrameCarriesOnlyTheShownSensors) {
  std::array<int, 19> sent{};
  int calls = 0;
  view::SetDisplayForwarder([&](const std::array<int, 19>& v) {
    sent = v;
    ++calls;
  });
  Push push = MakePush(2, 150);
  struct Case {
    view::MapMode mode;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {view::kMode7, {4, 5, 8, 9, 10, 13, 14}},
      {view::kMode1, {9}},
      {view::kMode19, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}}};
  for (const Case& c : cases) {
    view::DrawSensorMap(canvas, state, Main(&push, c.mode));
    for (int s = 0; s < 19; ++s) {
      bool shown = std::count(c.shown.begin(), c.shown.end(), s) > 0;
      EXPECT_EQ(sent[s], shown ? 150 : 0) << "mode " << c.mode << " sensor " << s;
    }
  }
  EXPECT_EQ(calls, 3);
  // Switched off in the settings, or without the forward flag: nothing is handed over.
  view::CurrentMapSettings().useMechDisplay = false;
  view::DrawSensorMap(canvas, state, Main(&push));
  view::CurrentMapSettings().useMechDisplay = true;
  MapRequest quiet = Main(&push);
  quiet.forward = false;
  view::DrawSensorMap(canvas, state, quiet);
  EXPECT_EQ(calls, 3);
}

TEST_F(SensorMapTest, HiddenSensorIsColourZeroWithoutCurveButKeepsItsTexts) {
  Push push = MakePush(4, 180);
  state.visible[9] = 0;
  state.timeWindow = {2, 2};
  view::DrawSensorMap(canvas, state, Main(&push));
  auto cells = canvas.Cells();
  EXPECT_EQ(cells[9]->fill, Scale(0));
  EXPECT_EQ(cells[8]->fill, Scale(180));
  EXPECT_FALSE(state.hits.curveRects[9].has_value());
  EXPECT_TRUE(state.hits.curveRects[8].has_value());
  // Values ("180") for all 19, min and max for all 19, plus the caption.
  auto texts = canvas.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "180"), 19);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), std::to_string(RawFor(180))), 38);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "rec=1"), 1);
}

// Given colour indices replace the push: their colours and value texts, no curves, no min/max,
// no caption; indices outside the scale are limited to it.
TEST_F(SensorMapTest, GivenIndicesAreDrawnInsteadOfThePush) {
  Push push = MakePush(4, 181);
  std::array<int, kSensorCount> given{};
  for (int s = 0; s < kSensorCount; ++s) given[s] = 12 * s;
  given[0] = -5;
  given[18] = 300;
  MapRequest r = Main(&push);
  r.indices = &given;
  state.hits.BeginPaint();
  const view::MapDrawResult result = view::DrawSensorMap(canvas, state, r);
  auto cells = canvas.Cells();
  ASSERT_EQ(cells.size(), 19u);
  for (int s = 1; s < 18; ++s) {
    EXPECT_EQ(cells[s]->fill, Scale(12 * s)) << s;
    EXPECT_EQ(result.indices[s], 12 * s) << s;
  }
  EXPECT_EQ(cells[0]->fill, Scale(0));
  EXPECT_EQ(cells[18]->fill, Scale(255));
  auto texts = canvas.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "24"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "255"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "181"), 0) << "nothing of the push";
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "rec=1"), 0);
  for (int s = 0; s < kSensorCount; ++s) EXPECT_FALSE(state.hits.curveRects[s].has_value()) << s;
}

TEST_F(SensorMapTest, ValuesNeedTheSensorNumbersSetting) {
  Push push = MakePush(1, 42);
  view::CurrentMapSettings().outputSensorNumbers = false;
  view::DrawSensorMap(canvas, state, Main(&push));
  auto texts = canvas.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "42"), 0);
}

TEST_F(SensorMapTest, LabelLinesUseTheColourHalfwayRoundTheScale) {
  Push push = MakePush(5, 200);
  push.frames[2].SetLabel(true);
  state.timeWindow = {2, 2};
  MapRequest r = Main(&push);
  r.decorations = {0, 0, 1, 0};
  view::DrawSensorMap(canvas, state, r);
  int labelLines = 0;
  for (auto* op : canvas.Of(DrawOp::kLine))
    if (op->pen.colour == Scale(72)) ++labelLines;
  EXPECT_EQ(labelLines, 19);  // one per cell
}

TEST_F(SensorMapTest, CurvePointsFollowTheTimeWindow) {
  Push push = MakePush(2, 0);
  push.frames[1].values.fill(RawFor(255));
  push.currentFrame = 1;
  state.timeWindow = {1, 1};
  MapRequest r = Main(&push, view::kMode1);
  r.decorations = {0, 0, 1, 0};
  view::DrawSensorMap(canvas, state, r);
  ASSERT_TRUE(state.hits.curveRects[9].has_value());
  ui::Rect rect = state.hits.curveRects[9]->Offset(-3, -40);  // back to buffer coordinates
  const DrawOp* curve = nullptr;
  for (auto* op : canvas.Of(DrawOp::kPolyline))
    if (op->pen.colour == kBlack && op->points.size() == 2) curve = op;
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->points[0], (ui::Point{rect.left, rect.top}));
  EXPECT_EQ(curve->points[1].y, view::CurveRowViewer({1, 1}, 1, rect.top, rect.bottom));
  EXPECT_EQ(curve->points[1].x, rect.right);
  // The current frame's white line runs from its point to the farther edge (left here).
  bool found = false;
  for (auto* op : canvas.Of(DrawOp::kLine))
    if (op->pen.colour == kWhite && op->points[0] == curve->points[1] &&
        op->points[1] == (ui::Point{rect.left, curve->points[1].y}))
      found = true;
  EXPECT_TRUE(found);
  EXPECT_EQ(state.hits.lastGraphRect, rect);
}

TEST_F(SensorMapTest, SingleFramePushHasNoCurves) {
  Push push = MakePush(1, 10);
  view::DrawSensorMap(canvas, state, Main(&push));
  for (auto& c : state.hits.curveRects) EXPECT_FALSE(c.has_value());
}

TEST_F(SensorMapTest, FrameIndexIsClampedAndCaptionCountsFromOne) {
  Push push = MakePush(5, 10);
  push.frames[4].values.fill(RawFor(99));
  MapRequest r = Main(&push);
  r.frame = 77;
  view::MapDrawResult res = view::DrawSensorMap(canvas, state, r);
  EXPECT_EQ(res.frame, 4);
  EXPECT_EQ(res.indices[0], 99);
  auto texts = canvas.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "rec=5"), 1);
}

TEST_F(SensorMapTest, HitTablesDescribeOnlyTheLastPaint) {
  Push push = MakePush(3, 10);
  view::DrawSensorMap(canvas, state, Main(&push));
  EXPECT_TRUE(state.hits.visibilityBoxes[0].has_value());
  state.hits.BeginPaint();
  state.selected = 4;
  view::DrawSensorMap(canvas, state, Main(&push, view::kMode1));
  int boxes = 0;
  for (auto& b : state.hits.visibilityBoxes) boxes += b.has_value();
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(state.hits.visibilityBoxes[4].has_value());
  // Boxes are stored in client coordinates, hit queries answer them.
  ui::Rect box = *state.hits.visibilityBoxes[4];
  EXPECT_EQ(state.hits.VisibilityBoxAt({box.left + 1, box.top + 1}), 4);
  EXPECT_FALSE(state.hits.VisibilityBoxAt({box.left - 1, box.top + 1}).has_value());

  // A second window keeps its own tables.
  view::MapDisplayState other;
  view::DrawSensorMap(canvas, other, Main(&push));
  EXPECT_EQ(state.hits.visibilityBoxes[0].has_value(), false);
  EXPECT_TRUE(other.hits.visibilityBoxes[0].has_value());
}

TEST_F(SensorMapTest, StripMapsAreRecordedUpToAThousandPerPaint) {
  Push push = MakePush(3, 10);
  MapRequest r;
  r.push = &push;
  r.role = view::kRoleStrip;
  r.caption = true;
  r.rect = {0, 0, 50, 50};
  for (int i = 0; i < 1005; ++i) {
    r.frame = i % 3;
    view::DrawSensorMap(canvas, state, r);
  }
  ASSERT_EQ(state.hits.stripMaps.size(), 1000u);
  // The centre of sensor 10 of the first small map answers frame 0, sensor index 9.
  const view::CellOutline& c = state.hits.stripMaps[0].cells[9];
  ui::Point centre{(c[0].x + c[3].x) / 2, (c[0].y + c[3].y) / 2};
  auto hit = state.hits.StripCellAt(centre);
  ASSERT_TRUE(hit.has_value());
  EXPECT_EQ(hit->frame, 0);
  EXPECT_EQ(hit->sensor, 9);
  EXPECT_EQ(state.hits.stripMaps[1].frame, 1);
  state.hits.BeginPaint();
  EXPECT_TRUE(state.hits.stripMaps.empty());
}

TEST_F(SensorMapTest, SmallMapsMarkTheEnlargedCells) {
  Push push = MakePush(3, 10);
  state.mode = view::kMode7;
  state.selected = 9;
  MapRequest r;
  r.push = &push;
  r.role = view::kRoleOverview;
  r.rect = {0, 0, 100, 100};
  view::DrawSensorMap(canvas, state, r);
  int grey = 0, black = 0;
  for (auto* op : canvas.Of(DrawOp::kLine)) {
    if (op->pen.colour == ui::Rgb(60, 60, 60)) ++grey;
    if (op->pen.colour == kBlack) ++black;
  }
  EXPECT_EQ(grey, 7 * 3);  // three diagonals for each of the seven
  EXPECT_EQ(black, 3);     // and again in black for the selected one
  for (int s = 0; s < 19; ++s) EXPECT_TRUE(state.hits.overviewCells[s].has_value());
  EXPECT_EQ(canvas.Cells().size(), 19u);  // small maps always show all 19
}

TEST_F(SensorMapTest, HighlightedSensorGetsAThickRedBorder) {
  state.highlighted = 5;
  view::DrawSensorMap(canvas, state, Main(nullptr));
  auto cells = canvas.Cells();
  EXPECT_EQ(cells[5]->pen.width, 6);
  EXPECT_EQ(cells[5]->pen.colour, ui::Rgb(255, 0, 0));
  EXPECT_EQ(cells[4]->pen.width, 1);
}

TEST_F(SensorMapTest, LegendRunsFromColourZeroAtTheBottom) {
  view::DrawLegend(canvas, {750, 0, 800, 600}, state.brushes);
  auto fills = canvas.Of(DrawOp::kFill);
  ASSERT_EQ(fills.size(), 256u);
  EXPECT_EQ(fills.front()->rect, (ui::Rect{753, 598, 797, 600}));
  EXPECT_EQ(fills.front()->fill, Scale(0));
  EXPECT_EQ(fills.back()->rect, (ui::Rect{753, 0, 797, 2}));
  EXPECT_EQ(fills.back()->fill, Scale(255));
}

TEST_F(SensorMapTest, RecordingViewVariant) {
  state.host = view::MapHost::kRecording;
  Push push = MakePush(11, 30);
  push.currentFrame = 10;
  push.frames[4].SetLabel(true);
  state.recordingLo = 0;
  state.recordingHi = 10;
  MapRequest r = Main(&push);
  r.decorations = {0, 1, 1, 0};  // boxes are drawn even with their switch off
  view::DrawSensorMap(canvas, state, r);
  auto texts = canvas.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "19"), 1);   // sensor numbers
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "30"), 19);  // values
  for (int s = 0; s < 19; ++s) {
    EXPECT_TRUE(state.hits.visibilityBoxes[s].has_value());
    EXPECT_FALSE(state.hits.selectors[s].has_value());  // no selector triangles
  }
  // Time runs upwards: the newest frame (10) at the top; the current-frame line starts at the
  // left edge; no label lines.
  ui::Rect rect = state.hits.curveRects[0]->Offset(-3, -40);
  const DrawOp* curve = nullptr;
  for (auto* op : canvas.Of(DrawOp::kPolyline))
    if (!curve && op->pen.colour == kBlack && op->points.size() == 11) curve = op;  // sensor 1
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->points.front().y, rect.bottom);
  EXPECT_EQ(curve->points.back().y, rect.top);
  bool fromLeft = false;
  for (auto* op : canvas.Of(DrawOp::kLine)) {
    EXPECT_NE(op->pen.colour, Scale((30 + 128) % 256));
    if (op->pen.colour == kWhite && op->points[0] == (ui::Point{rect.left, rect.top}))
      fromLeft = true;
  }
  EXPECT_TRUE(fromLeft);
}

TEST_F(SensorMapTest, ThumbnailVariant) {
  state.host = view::MapHost::kThumbnail;
  Push push = MakePush(5, 77);
  push.frames[2].SetLabel(true);
  MapRequest r = Main(&push);
  r.caption = false;
  view::DrawSensorMap(canvas, state, r);
  EXPECT_TRUE(canvas.Texts().size() == 38u);  // only min and max; no values or numbers
  for (auto* c : canvas.Cells()) EXPECT_TRUE(c->pen.current);
  for (int s = 0; s < 19; ++s) {
    EXPECT_FALSE(state.hits.visibilityBoxes[s].has_value());
    EXPECT_FALSE(state.hits.selectors[s].has_value());
    EXPECT_TRUE(state.hits.curveRects[s].has_value());  // curves over all frames
  }
  int labelLines = 0;
  for (auto* op : canvas.Of(DrawOp::kLine)) labelLines += op->pen.colour == Scale((77 + 128) % 256);
  EXPECT_EQ(labelLines, 19);
}

TEST_F(SensorMapTest, ColourIndicesStayInTheScaleForAnyPassport) {
  DevicePassport odd;
  odd.slopes[0] = std::nan("");     // NaN gives 0
  odd.slopes[1] = 1e300;            // far above the range gives 255
  odd.slopes[2] = -1e300;           // far below gives 0
  odd.rangeHi[3] = odd.rangeLo[3];  // no span
  state.passport = &odd;
  Push push = MakePush(2, 128);
  view::MapDrawResult r = view::DrawSensorMap(canvas, state, Main(&push));
  EXPECT_EQ(r.indices[0], 0);
  EXPECT_EQ(r.indices[1], 255);
  EXPECT_EQ(r.indices[2], 0);
  for (int i = 0; i < 19; ++i) {
    EXPECT_GE(r.indices[i], 0);
    EXPECT_LE(r.indices[i], 255);
  }
  EXPECT_EQ(view::MapCurveFraction(odd, 0, 100), 0.0);
  EXPECT_EQ(view::MapCurveFraction(odd, 1, 100), 1.0);
}

}  // namespace

#include "view/push_viewer_model.h"

#include <gtest/gtest.h>

#include <random>

#include "acquisition/push_file.h"
#include "tests/support/scratch_roots.h"
#include "tests/view/recording_canvas.h"

namespace {

using view::PlaybackState;
using view::PushViewerModel;

// A push of n frames whose capture times are stepMs apart (0: no times, as imported logs).
Push TimedPush(int n, int stepMs) {
  Push p = CreatePush();
  AllocateFrames(p, n);
  for (int f = 0; f < n; ++f) {
    p.frames[f].values.fill(1000 + 100 * f);
    p.frames[f].index = f;
    if (stepMs > 0) {
      int64_t ms = int64_t(f) * stepMs;
      FrameTime& t = p.frames[f].captureTime;
      t = {2024, 5, 17, 10, int16_t(ms / 60000 % 60), int16_t(ms / 1000 % 60), int16_t(ms % 1000)};
      p.frames[f].storedTime = t;
    }
  }
  return p;
}

view::ViewerSource SourceOf(const Push& p) {
  view::ViewerSource s;
  CopyPush(s.push, p);
  return s;
}

class ViewerPlayback : public ::testing::Test {
 protected:
  void Open(int n, int stepMs) {
    view::ViewerSource s = SourceOf(TimedPush(n, stepMs));
    model.Open(&s);
  }
  // Ticks every 50 ms from t = 0 and records the frame shown after each.
  std::vector<int> Play(int ticks, double startMs = 0) {
    std::vector<int> shown;
    for (int i = 1; i <= ticks; ++i) {
      model.Tick(startMs + 50.0 * i);
      shown.push_back(model.CurrentFrame());
    }
    return shown;
  }
  PushViewerModel model;
};

TEST_F(ViewerPlayback, FramesTwentyMsApartAdvanceTwoOrThreePerTick) {
  Open(50, 20);
  ASSERT_TRUE(model.StartPause(0));
  EXPECT_EQ(model.TimerPeriodMs(), 50);
  std::vector<int> shown = Play(5);
  EXPECT_EQ(shown, (std::vector<int>{2, 5, 7, 10, 12}));  // frame f is shown from 20 f ms on
}

TEST_F(ViewerPlayback, NoFrameIsShownBeforeItIsDue) {
  Open(10, 200);
  model.StartPause(0);
  std::vector<int> shown = Play(9);
  EXPECT_EQ(shown, (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 2, 2}));
}

TEST_F(ViewerPlayback, MissingOrBackwardTimesFallBackToTheFramePeriod) {
  Open(10, 0);  // no times at all
  model.StartPause(0);
  EXPECT_EQ(Play(3), (std::vector<int>{1, 2, 3}));

  Push p = TimedPush(10, 100);
  p.frames[5].captureTime.second = 0;  // goes back in time
  p.frames[5].captureTime.millisecond = 0;
  view::ViewerSource s = SourceOf(p);
  model.Open(&s);
  model.StartPause(0);
  EXPECT_EQ(Play(3), (std::vector<int>{1, 2, 3}));
}

TEST_F(ViewerPlayback, PauseAndRestartContinueAtRealSpeed) {
  Open(100, 20);
  model.StartPause(0);
  Play(2);  // t = 100 ms: frame 5
  EXPECT_EQ(model.CurrentFrame(), 5);
  EXPECT_FALSE(model.StartPause(100));
  EXPECT_EQ(model.Playback(), PlaybackState::kPaused);
  model.Tick(5000);  // paused: nothing moves
  EXPECT_EQ(model.CurrentFrame(), 5);
  EXPECT_TRUE(model.StartPause(10000));  // resumes from frame 5 with a new anchor
  model.Tick(10050);
  EXPECT_EQ(model.CurrentFrame(), 7);
}

TEST_F(ViewerPlayback, EndStopsOnTheLastFrameAndStopReturnsToTheStart) {
  Open(4, 50);
  model.StartPause(0);
  Play(3);
  EXPECT_EQ(model.CurrentFrame(), 3);
  view::ViewerEffects e = model.Tick(200);
  EXPECT_TRUE(e.stopTimer);
  EXPECT_EQ(model.Playback(), PlaybackState::kStopped);
  EXPECT_EQ(model.CurrentFrame(), 3);
  model.StartPause(1000);  // from stopped: starts again at frame 0
  EXPECT_EQ(model.CurrentFrame(), 0);
  model.Tick(1100);
  model.Stop();
  EXPECT_EQ(model.CurrentFrame(), 0);
  EXPECT_EQ(model.Playback(), PlaybackState::kStopped);
}

TEST_F(ViewerPlayback, WithoutFramesNothingPlays) {
  model.Open(nullptr);
  EXPECT_FALSE(model.StartPause(0));
  view::ViewerSource empty;
  empty.push = CreatePush();
  model.Open(&empty);
  EXPECT_FALSE(model.HasPush());
  EXPECT_FALSE(model.StartPause(0));
  EXPECT_TRUE(model.Tick(50).stopTimer);
  EXPECT_FALSE(model.Timeline(5, 3).repaint);
}

TEST(ViewerTimeline, StepsAreClamped) {
  PushViewerModel m;
  view::ViewerSource s = SourceOf(TimedPush(120, 50));
  m.Open(&s);
  struct Step {
    int code, pos, frame;
  };
  const Step steps[] = {{5, 60, 60}, {1, 0, 65}, {3, 0, 115}, {3, 0, 119}, {0, 0, 114},
                        {2, 0, 64},  {6, 0, 59}, {2, 0, 9},   {2, 0, 0},   {4, 500, 119}};
  for (const Step& st : steps) {
    view::ViewerEffects e = m.Timeline(st.code, st.pos);
    EXPECT_TRUE(e.repaint);
    EXPECT_EQ(m.CurrentFrame(), st.frame) << st.code;
  }
  EXPECT_FALSE(m.Timeline(8, 0).repaint);  // end of tracking: ignored
}

// Label editing through the hit tables of a real paint.
class ViewerLabels : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceptorDataFormat(1);
    view::ViewerSource s = SourceOf(TimedPush(21, 50));
    model.Open(&s);
    model.Map().timeWindow = {10, 10};
    model.SetMapMode(view::kMode1);  // one large cell: sensor 10
    model.ComputeLayout(800, 600, 100);
    Repaint();
  }
  void Repaint() {
    canvas.ops.clear();
    model.Paint(canvas, kOrigin);
  }
  ui::Rect Curve() { return *model.Map().hits.curveRects[9]; }
  ui::Point AtFrame(int f) {
    ui::Rect r = Curve();
    return {(r.left + r.right) / 2,
            view::CurveRowViewer(model.Map().timeWindow, f, r.top, r.bottom)};
  }
  std::vector<int> Labels() {
    std::vector<int> out;
    for (int f = 0; f < model.FrameCount(); ++f)
      if (model.Shown().frames[f].HasLabel()) out.push_back(f);
    return out;
  }
  const ui::Point kOrigin{3, 30};
  PushViewerModel model;
  RecordingCanvas canvas;
};

TEST_F(ViewerLabels, InsertDeleteAndMove) {
  model.SetLabelMode(1);
  EXPECT_TRUE(model.LabelsChanged());
  view::ViewerEffects e = model.LButtonDown(AtFrame(4));
  EXPECT_TRUE(e.releaseMouse);
  EXPECT_EQ(model.LabelMode(), 0);
  model.SetLabelMode(1);
  model.LButtonDown(AtFrame(8));
  EXPECT_EQ(Labels(), (std::vector<int>{4, 8}));

  // Move the label at 8 down to 14.
  model.SetLabelMode(3);
  model.LButtonDown(AtFrame(9));  // nearest label: 8
  EXPECT_EQ(model.LabelMode(), 4);
  model.MouseMove(AtFrame(15));
  Repaint();
  EXPECT_EQ(model.Map().draggedLabelFrame, 14);
  e = model.LButtonUp(AtFrame(15));
  EXPECT_TRUE(e.releaseMouse);
  EXPECT_EQ(Labels(), (std::vector<int>{4, 14}));

  // Delete between two labels at equal distance: the earlier one goes.
  model.SetLabelMode(2);
  model.LButtonDown(AtFrame(9));
  EXPECT_EQ(Labels(), (std::vector<int>{14}));
}

TEST_F(ViewerLabels, MoveWithoutLabelsEndsTheMode) {
  model.SetLabelMode(3);
  view::ViewerEffects e = model.LButtonDown(AtFrame(5));
  EXPECT_EQ(model.LabelMode(), 0);
  EXPECT_TRUE(e.releaseMouse);
  EXPECT_TRUE(Labels().empty());
}

TEST_F(ViewerLabels, RightButtonAbortsAMoveWithoutLosingTheLabel) {
  model.SetLabelMode(1);
  model.LButtonDown(AtFrame(6));
  model.SetLabelMode(3);
  model.LButtonDown(AtFrame(6));
  model.MouseMove(AtFrame(12));
  model.RButtonDown();
  EXPECT_EQ(model.LabelMode(), 1);
  EXPECT_EQ(Labels(), (std::vector<int>{6}));
}

TEST_F(ViewerLabels, DraggingTheCurvesMovesTheTimeWindow) {
  ui::Point start = AtFrame(10);
  model.LButtonDown(start);
  EXPECT_EQ(model.LabelMode(), 6);
  ui::Rect r = Curve();
  model.MouseMove({start.x, start.y + (r.bottom - r.top) / 4});  // a quarter: h/2 frames
  EXPECT_EQ(model.Map().timeWindow.centre, 5);
  EXPECT_TRUE(model.LButtonUp({start.x, start.y}).releaseMouse);
  EXPECT_EQ(model.LabelMode(), 0);
}

TEST_F(ViewerLabels, ClicksOnBoxesSelectorsAndStrip) {
  model.SetMapMode(view::kMode19);
  model.SetCurrentFrame(12);
  Repaint();
  const auto& hits = model.Map().hits;
  ui::Rect box = *hits.visibilityBoxes[3];
  model.LButtonDown({box.left + 2, box.top + 2});
  EXPECT_EQ(model.Map().visible[3], 0);
  auto tri = *hits.selectors[0];
  model.LButtonDown({(tri[0].x + tri[1].x + tri[2].x) / 3, (tri[0].y + tri[1].y + tri[2].y) / 3});
  EXPECT_EQ(model.Map().selected, 0);
  // One strip column of small maps: the first shows the frame before the current one.
  ASSERT_FALSE(hits.stripMaps.empty());
  EXPECT_EQ(hits.stripMaps[0].frame, 11);
  const view::CellOutline& c = hits.stripMaps[0].cells[16];
  model.LButtonDown({(c[0].x + c[3].x) / 2, (c[0].y + c[3].y) / 2});
  EXPECT_EQ(model.CurrentFrame(), 11);
  EXPECT_EQ(model.Map().selected, 16);
}

TEST(ViewerLayout, MapSquareStripAndLegend) {
  PushViewerModel m;
  m.ComputeLayout(800, 600, 100);
  const view::ViewerLayout& l = m.Layout();
  EXPECT_EQ(l.legend, (ui::Rect{750, 0, 800, 600}));
  EXPECT_EQ(l.map, (ui::Rect{0, 0, 600, 600}));
  ASSERT_EQ(l.columns.size(), 1u);
  EXPECT_EQ(l.columns[0], (ui::Rect{600, 0, 700, 600}));
  m.ComputeLayout(1000, 400, 80);  // wide: square of the height, centred vertically
  EXPECT_EQ(m.Layout().map, (ui::Rect{0, 0, 400, 400}));
  EXPECT_EQ(m.Layout().columns.size(), 5u);  // (1000 - 50 - 400) / 80 = 6, at most 5
  m.ComputeLayout(0, 0, 0);                  // degenerate sizes do not divide by zero
  EXPECT_GE(m.Layout().width, 1);
}

TEST(ViewerStrip, PastAndFutureColumns) {
  PushViewerModel m;
  view::ViewerSource s = SourceOf(TimedPush(40, 50));
  m.Open(&s);
  m.ComputeLayout(900, 300, 100);  // map 300, (900-50-300)/100 = 5 columns of 2 cells
  ASSERT_EQ(m.Layout().columns.size(), 5u);
  RecordingCanvas canvas;
  m.Paint(canvas, {0, 0});
  EXPECT_TRUE(m.Map().hits.stripMaps.empty());  // at the first frame nothing is drawn

  m.SetCurrentFrame(5);  // only 5 past frames for 4 columns of 2 cells: no future column
  m.Paint(canvas, {0, 0});
  std::vector<int> frames;
  for (auto& sm : m.Map().hits.stripMaps) frames.push_back(sm.frame);
  EXPECT_EQ(frames, (std::vector<int>{4, 3, 2, 1, 0}));

  m.SetCurrentFrame(20);  // past columns full: column 0 shows 21, 20 (bottom = current)
  m.Paint(canvas, {0, 0});
  frames.clear();
  for (auto& sm : m.Map().hits.stripMaps) frames.push_back(sm.frame);
  EXPECT_EQ(frames, (std::vector<int>{19, 18, 17, 16, 15, 14, 13, 12, 21, 20}));
}

class ViewerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceptorDataFormat(1);
    fsw::MakeDirectories(std::string(winpath::kDataRoot) + "pars");
  }
  ScratchRoots roots;
};

TEST_F(ViewerFiles, SavedLabelsReadBackFromTheSourceFile) {
  const std::string file = (roots.data() / "op" / "10-11-12.psh").string();
  fsw::MakeDirectories((roots.data() / "op").string());
  Push original = TimedPush(30, 50);
  original.passport.deviceNumber = 77;
  original.frames[3].SetLabel(true);
  ASSERT_EQ(WritePushFile(original, file), 0);

  view::ViewerSource s;
  ASSERT_EQ(ReadPushFile(s.push, file), 0);
  s.push.fileName = file;
  auto owner = std::make_shared<MessageQueueTarget>();
  s.notify = RegisterWindow(owner);
  s.notifyMessage = WM_USER + 77;
  PushViewerModel m;
  m.Open(&s);
  s.push = CreatePush();  // the opener frees its entry: the viewer keeps its own copy
  m.Shown().frames[3].SetLabel(false);
  m.Shown().frames[7].SetLabel(true);
  m.Shown().frames[29].SetLabel(true);
  m.EraseAllLabels();
  m.Shown().frames[7].SetLabel(true);
  m.Shown().frames[29].SetLabel(true);
  ASSERT_EQ(m.SaveLabels(), 0);
  EXPECT_FALSE(m.LabelsChanged());

  Push back;
  ASSERT_EQ(ReadPushFile(back, file), 0);
  ASSERT_EQ(back.FrameCount(), 30);
  for (int f = 0; f < 30; ++f) EXPECT_EQ(back.frames[f].HasLabel(), f == 7 || f == 29) << f;
  EXPECT_EQ(back.passport.deviceNumber, 77);  // rewritten with its passport block
  ThreadMessage msg;
  ASSERT_TRUE(owner->queue.Get(msg, 0));
  EXPECT_EQ(msg.message, WM_USER + 77);
  UnregisterWindow(s.notify);
}

TEST_F(ViewerFiles, AfterALoadLabelsGoToTheLoadedFile) {
  const std::string source = (roots.base() / "source.psh").string();
  const std::string loaded = (roots.base() / "loaded.bin").string();
  Push a = TimedPush(10, 50);
  ASSERT_EQ(WritePushFile(a, source), 0);
  ASSERT_EQ(WriteViewerPushFile(TimedPush(12, 50), loaded), 0);
  const std::string sourceBytes = ReadBytes(source);

  view::ViewerSource s = SourceOf(a);
  s.push.fileName = source;
  PushViewerModel m;
  m.Open(&s);
  ASSERT_EQ(m.Load(view::LoadKind::kPushFile, loaded), 0);
  EXPECT_EQ(m.FrameCount(), 12);
  m.Shown().frames[5].SetLabel(true);
  ASSERT_EQ(m.SaveLabels(), 0);
  EXPECT_EQ(ReadBytes(source), sourceBytes);
  Push back;
  ASSERT_EQ(ReadViewerPushFile(back, loaded), 0);
  EXPECT_TRUE(back.frames[5].HasLabel());
  // The working copy is written after every load.
  EXPECT_EQ(fsw::FileSize(kViewerCopyFile), 4 + 12 * 200);
}

TEST_F(ViewerFiles, FailedLoadLeavesNoPushAndStillWritesTheWorkingCopy) {
  PushViewerModel m;
  EXPECT_NE(m.Load(view::LoadKind::kPushFile, (roots.base() / "missing.bin").string()), 0);
  EXPECT_FALSE(m.HasPush());
  EXPECT_EQ(fsw::FileSize(kViewerCopyFile), 4);
  EXPECT_EQ(m.StatusText(), "rec=0/0 (); Min=0, Max=255; ???");
}

TEST_F(ViewerFiles, ControlPushCarriesAPassportBlock) {
  PushViewerModel m;
  const std::string target = std::string(winpath::kDataRoot) + "pars\\TestWireless.bin";
  EXPECT_EQ(m.WriteShownPush(target), -3);  // no push: the window says so
  DevicePassport current;
  current.deviceNumber = 12;
  m.SetFallbackPassport(current);
  const std::string log = (roots.base() / "probe_wls.txt").string();
  std::string line;
  for (int c = 0; c < 31; ++c) line += std::to_string(60000 + c) + "  ";
  WriteBytes(log, line + "\r\n" + line + "\r\n");
  ASSERT_EQ(m.Load(view::LoadKind::kLog, log), 0);
  EXPECT_EQ(m.Shown().sensorType, kSensorWireless);
  ASSERT_EQ(m.WriteShownPush(target), 0);
  Push back;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(back, target, &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_EQ(back.passport.deviceNumber, 12);
  ASSERT_EQ(back.FrameCount(), 2);
  EXPECT_EQ(back.frames[1].values, m.Shown().frames[1].values);
}

TEST(ViewerTexts, StatusTitleAndComment) {
  PushViewerModel m;
  view::ViewerSource s = SourceOf(TimedPush(3, 50));
  s.push.fileName = "c:\\Tacmon\\OPERATIONS\\x\\10-11-12.psh";
  s.push.sensorType = kSensorMobile;
  s.push.passport.deviceId = {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
  s.comment = "one\x01\x02two";
  m.Open(&s);
  m.SetCurrentFrame(1);
  EXPECT_EQ(m.StatusText(),
            "rec=2/3 (c:\\Tacmon\\OPERATIONS\\x\\10-11-12.psh); Min=1000, "
            "Max=1200; " +
                std::string("мобильная версия"_cp));
  EXPECT_EQ(
      m.Title(),
      std::string("Просмотр данных, снятых с механорецептора (ID рецептора=0a1b2c3d4e5f)"_cp));
  EXPECT_EQ(m.CommentText(), "one\r\ntwo");
}

TEST(ViewerRecognition, CurrentFrameForTheLibraryCoversAllSensors) {
  SetReceptorDataFormat(1);
  PushViewerModel m;
  view::ViewerSource s = SourceOf(TimedPush(10, 50));
  m.Open(&s);
  m.SetMapMode(view::kMode1);  // the map shows one sensor, the library still gets all 19
  m.SetCurrentFrame(4);
  std::array<int, 19> indices = m.CurrentFrameIndices();
  for (int i = 0; i < 19; ++i)
    EXPECT_EQ(indices[i], view::MapColourIndex(s.push.passport, i, 1400)) << i;
  EXPECT_EQ(m.MsFromFirstFrame(), 200);
  PushViewerModel none;
  EXPECT_EQ(none.CurrentFrameIndices(), (std::array<int, 19>{}));
}

// Random input on pushes of awkward sizes: the viewer never leaves its valid states and never
// divides by zero (checked further by the sanitizer build).
TEST(ViewerRobustness, RandomEventsKeepTheStateValid) {
  SetReceptorDataFormat(1);
  std::mt19937 rng(20240517);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int n : {0, 1, 2, 3, 17, 320}) {
    SCOPED_TRACE(n);
    Push p = TimedPush(n, pick(0, 1) ? 50 : 0);
    for (auto& f : p.frames)
      for (auto& v : f.values) v = pick(-70000, 70000);
    view::ViewerSource s = SourceOf(p);
    PushViewerModel m;
    m.Open(&s);
    RecordingCanvas canvas;
    double now = 0;
    for (int step = 0; step < 1500; ++step) {
      const ui::Point pt{pick(-20, 900), pick(-20, 700)};
      switch (pick(0, 13)) {
        case 0:
          m.LButtonDown(pt);
          break;
        case 1:
          m.MouseMove(pt);
          break;
        case 2:
          m.LButtonUp(pt);
          break;
        case 3:
          m.RButtonDown();
          break;
        case 4:
          m.SetLabelMode(pick(0, 5));
          break;
        case 5:
          m.ZoomIn();
          break;
        case 6:
          m.ZoomOut();
          break;
        case 7:
          m.ScrollCurves(pick(0, 1) ? 1 : -1);
          break;
        case 8:
          m.Timeline(pick(0, 8), pick(-10, 400));
          break;
        case 9:
          m.StartPause(now);
          break;
        case 10:
          m.Tick(now += pick(0, 120));
          break;
        case 11:
          m.SetMapMode(static_cast<view::MapMode>(pick(0, 2)));
          break;
        case 12:
          m.ComputeLayout(pick(0, 900), pick(0, 700), pick(0, 150), pick(0, 6));
          break;
        default:
          canvas.ops.clear();
          m.Paint(canvas, {3, 30});
          break;
      }
      ASSERT_GE(m.CurrentFrame(), 0);
      ASSERT_LE(m.CurrentFrame(), std::max(0, n - 1));
      ASSERT_GE(m.Map().timeWindow.halfWidth, 1);
      ASSERT_GE(m.Map().selected, 0);
      ASSERT_LT(m.Map().selected, 19);
    }
    EXPECT_EQ(m.StatusText().rfind("rec=", 0), 0u);
  }
}

}  // namespace

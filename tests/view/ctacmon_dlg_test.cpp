// The push viewer window end to end on the offscreen platform: a golden push opened as from the
// pushes list, played, moved through, zoomed, labelled and saved.
#include "view/ctacmon_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <filesystem>

#include "acquisition/push_file.h"
#include "platform/clock.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "tests/support/scratch_roots.h"
#include "tests/ui/ui_env.h"

namespace {

using uitest::AnswerNextBox;
using uitest::PumpFor;

class TestViewer : public view::CtacmonDlg {
 public:
  using CtacmonDlg::CtacmonDlg;
  void Down(ui::Point p) { OnLButtonDown(ui::MK_LBUTTON, p); }
  void Move(ui::Point p) { OnMouseMove(ui::MK_LBUTTON, p); }
  void Up(ui::Point p) { OnLButtonUp(0, p); }
  void Paint() {
    Widget()->repaint();
    PumpFor(20);
  }
};

class ViewerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    fsw::MakeDirectories(std::string(winpath::kDataRoot) + "pars");
    pushFile = (roots.data() / "OPERATIONS" / "op1" / "14-21-59.psh").string();
    std::filesystem::create_directories(roots.data() / "OPERATIONS" / "op1");
    std::filesystem::copy_file(std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh",
                               pushFile);
    ASSERT_EQ(ReadPushFile(source.push, pushFile), 0);
    source.push.fileName = pushFile;
    source.comment = "first\x01\x02second";
    SetReceptorDataFormat(source.push.passport.format);
    viewer = std::make_unique<TestViewer>(&source);
    ASSERT_TRUE(viewer->Create());
    viewer->ShowWindow(ui::SW_SHOW);
    viewer->Widget()->resize(1100, 760);
    PumpFor(50);
  }
  void TearDown() override {
    if (viewer && viewer->HasWindow()) viewer->DestroyWindow();
    PumpFor(10);
  }
  ui::Point AtFrame(int f) {
    const auto& r = *viewer->Model().Map().hits.curveRects[9];
    return {(r.left + r.right) / 2,
            view::CurveRowViewer(viewer->Model().Map().timeWindow, f, r.top, r.bottom)};
  }

  ScratchRoots roots;
  std::string pushFile;
  view::ViewerSource source;
  std::unique_ptr<TestViewer> viewer;
};

TEST_F(ViewerWindow, OpensOnTheSourcePushWithItsTexts) {
  view::PushViewerModel& m = viewer->Model();
  ASSERT_EQ(m.FrameCount(), 320);
  EXPECT_EQ(
      viewer->Caption().rfind("Просмотр данных, снятых с механорецептора (ID рецептора="_cp, 0),
      0u);
  EXPECT_EQ(viewer->ItemText(1001).rfind("rec=1/320 (" + pushFile + "); Min=", 0), 0u);
  EXPECT_TRUE(viewer->IsItemVisible(1007));
  EXPECT_EQ(viewer->ItemText(1007), "first\r\nsecond");
  EXPECT_EQ(viewer->SliderItem(1009).GetRangeMax(), 319);
  EXPECT_EQ(m.Map().timeWindow.centre, 160);
  EXPECT_EQ(m.Map().timeWindow.halfWidth, 160);
  EXPECT_TRUE(viewer->IsMenuItemChecked(32840));
  EXPECT_FALSE(viewer->IsItemVisible(1011));
}

TEST_F(ViewerWindow, PlaysInRealTimeAndStops) {
  int started = 0, stopped = 0, painted = 0;
  view::CurrentViewerHooks().pushStarted = [&] { ++started; };
  view::CurrentViewerHooks().pushStopped = [&] { ++stopped; };
  view::CurrentViewerHooks().framePainted = [&](const std::array<int, 19>&, const SensorFrame&,
                                                int64_t) { ++painted; };
  const double start = MonotonicSeconds();
  viewer->SendCommand(1010);
  EXPECT_EQ(viewer->Model().Playback(), view::PlaybackState::kPlaying);
  EXPECT_TRUE(viewer->IsItemVisible(1011));
  PumpFor(400);
  const int shown = viewer->Model().CurrentFrame();
  const double elapsedMs = (MonotonicSeconds() - start) * 1000;
  EXPECT_GT(shown, 0);
  EXPECT_LE(shown * 50, elapsedMs);  // frames are 50 ms apart: none shown before it is due
  EXPECT_EQ(viewer->SliderItem(1009).GetPos(), shown);
  viewer->SendCommand(32772);  // pause
  EXPECT_EQ(viewer->Model().Playback(), view::PlaybackState::kPaused);
  PumpFor(120);
  EXPECT_EQ(viewer->Model().CurrentFrame(), shown);
  viewer->SendCommand(1011);
  EXPECT_EQ(viewer->Model().CurrentFrame(), 0);
  EXPECT_FALSE(viewer->IsItemVisible(1011));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(stopped, 2);  // pause and stop
  EXPECT_GT(painted, 0);
  view::CurrentViewerHooks() = {};
}

// The recognition library gets the current frame's label count as of the paint, also for
// labels set after playback started (the first frame's flag does not count), and the time
// from the first frame.
TEST_F(ViewerWindow, PaintedFrameCarriesTheLabelCountAsOfNow) {
  int labels = -1;
  int64_t ms = -1;
  view::CurrentViewerHooks().framePainted = [&](const std::array<int, 19>&, const SensorFrame& f,
                                                int64_t t) {
    labels = f.labelCount;
    ms = t;
  };
  Push& push = viewer->Model().Shown();
  for (int f : {0, 3, 7, 40}) push.frames[f].SetLabel(true);
  viewer->Model().SetCurrentFrame(10);
  viewer->Invalidate(false);
  PumpFor(50);
  EXPECT_EQ(labels, 2);
  EXPECT_EQ(ms, push.frames[10].captureTime.ToMilliseconds() -
                    push.frames[0].captureTime.ToMilliseconds());
  viewer->Model().SetCurrentFrame(0);
  viewer->Invalidate(false);
  PumpFor(50);
  EXPECT_EQ(labels, 0);
  EXPECT_EQ(ms, 0);
  view::CurrentViewerHooks() = {};
}

TEST_F(ViewerWindow, TimelineZoomAndModes) {
  auto* slider = qobject_cast<QAbstractSlider*>(viewer->Item(1009));
  ASSERT_NE(slider, nullptr);
  slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
  PumpFor(10);
  EXPECT_GT(viewer->Model().CurrentFrame(), 0);
  viewer->Model().SetCurrentFrame(160);
  viewer->Paint();
  viewer->SendCommand(1008);  // zoom in around the current frame
  EXPECT_EQ(viewer->Model().Map().timeWindow.halfWidth, 80);
  viewer->SendCommand(32850);  // Gray -
  EXPECT_EQ(viewer->Model().Map().timeWindow.halfWidth, 160);
  viewer->SendCommand(32846);  // Down arrow
  EXPECT_EQ(viewer->Model().Map().timeWindow.centre, 160 + 53);
  viewer->SendCommand(1013);
  EXPECT_EQ(viewer->Model().Map().timeWindow.centre, 160);

  const std::string out = (roots.base() / "snap").string();
  for (auto [command, mode, name] :
       {std::tuple{1015, view::kMode7, "7"}, std::tuple{32852, view::kMode1, "1"},
        std::tuple{1014, view::kMode19, "19"}}) {
    viewer->SendCommand(command);
    EXPECT_EQ(viewer->Model().Map().mode, mode);
    viewer->Paint();
    QImage snap = viewer->Widget()->grab().toImage();
    ASSERT_FALSE(snap.isNull());
    if (const char* keep = std::getenv("TACMON_VIEW_SNAPSHOTS"))
      snap.save(QString::fromStdString(std::string(keep) + "/viewer_mode" + name + ".png"));
  }
  EXPECT_TRUE(viewer->IsMenuItemChecked(32840));
  EXPECT_FALSE(viewer->IsMenuItemChecked(32842));
}

TEST_F(ViewerWindow, LabelsEditedByMouseAreSavedIntoTheSourceFile) {
  viewer->SendCommand(1016);  // one large cell for easy aiming
  viewer->Paint();
  ASSERT_TRUE(viewer->Model().Map().hits.curveRects[9].has_value());
  // The golden push carries labels already; start from none.
  AnswerNextBox(ui::IDOK);
  viewer->SendCommand(32856);
  for (int f : {40, 100, 250}) {
    viewer->SendCommand(32843);
    EXPECT_TRUE(viewer->HasCapture());
    viewer->Down(AtFrame(f));
    viewer->Up(AtFrame(f));
  }
  viewer->SendCommand(32845);  // move 100 to about 130
  viewer->Down(AtFrame(101));
  viewer->Move(AtFrame(130));
  viewer->Paint();
  viewer->Up(AtFrame(130));
  viewer->SendCommand(32844);  // delete the one nearest to 245
  viewer->Down(AtFrame(245));
  std::vector<int> labels;
  for (int f = 0; f < viewer->Model().FrameCount(); ++f)
    if (viewer->Model().Shown().frames[f].HasLabel()) labels.push_back(f);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0], 40);
  EXPECT_NEAR(labels[1], 130, 1);

  AnswerNextBox(ui::IDYES);
  viewer->SendCommand(32857);
  EXPECT_FALSE(viewer->Model().LabelsChanged());
  Push back;
  ASSERT_EQ(ReadPushFile(back, pushFile), 0);
  std::vector<int> saved;
  for (int f = 0; f < back.FrameCount(); ++f)
    if (back.frames[f].HasLabel()) saved.push_back(f);
  EXPECT_EQ(saved, labels);

  // Nothing changed since: the viewer says so and writes nothing.
  AnswerNextBox(ui::IDOK);
  viewer->SendCommand(32857);
  EXPECT_EQ(ui::MessageBoxHistory().back().text,
            "В нажатии ничего не изменено. Сохранение не требуется."_cp);
}

TEST_F(ViewerWindow, TinyWindowStillPaints) {
  viewer->Widget()->resize(120, 90);
  PumpFor(30);
  viewer->Paint();
  EXPECT_GE(viewer->Model().Layout().width, 1);
  viewer->Widget()->resize(1100, 760);
  PumpFor(30);
  viewer->Paint();
  EXPECT_GT(viewer->Model().Layout().map.Width(), 300);
}

TEST_F(ViewerWindow, ControlPushWithoutAPushSaysSo) {
  viewer->LoadFile(view::LoadKind::kPushFile, (roots.base() / "missing.bin").string());
  EXPECT_FALSE(viewer->Model().HasPush());
  AnswerNextBox(ui::IDOK);
  viewer->SendCommand(32789);
  EXPECT_EQ(ui::MessageBoxHistory().back().text, "Файл с данными не загружен"_cp);
  AnswerNextBox(ui::IDOK);
  viewer->SendCommand(32790);
  EXPECT_EQ(ui::MessageBoxHistory().back().text, "Файл с данными не загружен"_cp);
  viewer->SendCommand(1010);  // nothing to play
  EXPECT_EQ(viewer->Model().Playback(), view::PlaybackState::kStopped);
}

TEST_F(ViewerWindow, DebugPushIsWrittenWithAPassportBlock) {
  AnswerNextBox(ui::IDYES);
  viewer->SendCommand(32790);
  const std::string target = std::string(winpath::kDataRoot) + "pars\\test.bin";
  Push back;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(back, target, &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_EQ(back.FrameCount(), 320);
  EXPECT_EQ(back.passport.deviceNumber, source.push.passport.deviceNumber);
}

TEST_F(ViewerWindow, ClosingWithExitStoresTheSwitchesInMain) {
  viewer->SendCommand(32783);  // min/max on
  EXPECT_TRUE(viewer->IsMenuItemChecked(32783));
  viewer->SendCommand(32778);  // values off
  viewer->SendCommand(1);
  PumpFor(20);
  EXPECT_FALSE(viewer->HasWindow());
  ParameterSet main;
  LoadPars("Main", &main);
  int32_t minMax = -1, values = -1;
  EXPECT_EQ(GetPar("SetShowVisibilityMinMaxOnSensors", minMax, main), 0);
  EXPECT_EQ(GetPar("SetShowVisibilityValuesOnSensors", values, main), 0);
  EXPECT_EQ(minMax, 1);
  EXPECT_EQ(values, 0);
  main.modified = false;
  FreePars(&main);
}

TEST(ViewerWindows, SeveralViewersKeepTheirOwnState) {
  ScratchRoots roots;
  view::ViewerSource a, b;
  ASSERT_EQ(ReadPushFile(a.push, std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh"), 0);
  AllocateFrames(b.push, 5);
  auto first = std::make_unique<view::CtacmonDlg>(&a);
  auto second = std::make_unique<view::CtacmonDlg>(&b);
  ASSERT_TRUE(first->Create());
  ASSERT_TRUE(second->Create());
  first->SendCommand(1015);
  first->Widget()->repaint();
  second->Widget()->repaint();
  EXPECT_EQ(first->Model().FrameCount(), 320);
  EXPECT_EQ(second->Model().FrameCount(), 5);
  EXPECT_EQ(first->Model().Map().mode, view::kMode7);
  EXPECT_EQ(second->Model().Map().mode, view::kMode19);
  EXPECT_NE(&first->Model().Map().hits, &second->Model().Map().hits);
  first->DestroyWindow();
  second->DestroyWindow();
  PumpFor(10);
}

// A scripted run opens a viewer on a file, switches it to seven sensors, loads another push
// through the file dialog (the path typed into it by the script) and closes it with "Выйти".
TEST(ViewerAutomation, ScriptOpensLoadsAndCloses) {
  ScratchRoots roots;
  view::RegisterViewerAutomation();
  const std::string press = std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh";
  const std::string other = (roots.base() / "other.bin").string();
  Push small = CreatePush();
  AllocateFrames(small, 7);
  ASSERT_EQ(WriteViewerPushFile(small, other), 0);
  const std::string script = (roots.base() / "viewer.script").string();
  const std::string dump = (roots.base() / "dump.json").string();
  WriteBytes(script, "viewer " + press + "\nactivate 102\nmenu 32841\ndump " + dump +
                         "\nmenu 32791\nfile " + other + "\nwait 20\n");
  ASSERT_TRUE(ui::automation::Start(script));
  QElapsedTimer t;
  t.start();
  while (ui::automation::Running() && t.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ui::automation::ExitStatus(), 0);
  view::CtacmonDlg* viewer = nullptr;
  for (ui::Dialog* d : ui::OpenDialogs())
    if (auto* v = dynamic_cast<view::CtacmonDlg*>(d)) viewer = v;
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->Model().Map().mode, view::kMode7);
  EXPECT_EQ(viewer->Model().FrameCount(), 7);  // the push loaded through the file dialog
  EXPECT_NE(ReadBytes(dump).find("CtacmonDlg"), std::string::npos);
  viewer->SendCommand(1);  // closes and deletes itself
  PumpFor(30);
  for (ui::Dialog* d : ui::OpenDialogs()) EXPECT_EQ(dynamic_cast<view::CtacmonDlg*>(d), nullptr);
}

}  // namespace

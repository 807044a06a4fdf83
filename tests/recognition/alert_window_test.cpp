// The alert window KCDVigilShow as a pane of a window of its own on the offscreen platform:
// the library's answer to a push over the simulated inclusion drawn as a map and a text,
// callbacks from another thread while the window paints, values beyond the colour table, and
// a window that is gone answering -1. Pictures are kept under the build folder.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/cp1251.h"
#include "platform/ui/resources.h"
#include "recognition/alert_layout.h"
#include "recognition/kcd_vigil_show.h"
#include "recognition/vigil_binding.h"
#include "support/scratch_roots.h"
#include "tests/ui/ui_env.h"
#include "view/map_layout.h"
#include "vigil/simulated_pushes.h"

namespace {

std::string FirstTwoLines(const std::string& text) {
  return text.substr(0, text.find('\n', text.find('\n') + 1));
}

namespace fs = std::filesystem;
using recognition::KCDVigilShow;
using uitest::PumpFor;

class OwnerWindow : public CDialogK {
 public:
  OwnerWindow() : CDialogK(9870) {
    static bool done = false;
    if (!done) {
      done = true;
      EXPECT_TRUE(
          ui::RegisterResources("DIALOG 9870 \"Owner\" 0 0 600 300 STYLE resizable\nEND\n"));
    }
  }
  std::unique_ptr<KCDVigilShow> alerts;

 protected:
  bool OnInitDialog() override {
    alerts = std::make_unique<KCDVigilShow>(static_cast<void*>(this), kit::FontRecord{});
    EXPECT_TRUE(alerts->CreatePane(*this));
    alerts->Widget()->setGeometry(0, 0, 560, 260);
    return true;
  }
};

class AlertWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    win = std::make_unique<OwnerWindow>();
    ASSERT_TRUE(win->Create());
    win->SetClientSize(600, 300);
    win->ShowWindow(ui::SW_SHOW);
    PumpFor(50);
  }
  void TearDown() override {
    recognition::FinishLibrary(Context());
    if (win->HasWindow()) win->DestroyWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PumpFor(20);
  }
  void* Context() { return static_cast<void*>(win.get()); }
  QImage Picture() {
    PumpFor(30);
    return win->alerts->Widget()->grab().toImage();
  }
  // The colour at the middle of sensor s's cell in the picture.
  QColor CellColour(const QImage& image, int s) {
    const ui::Rect client{0, 0, image.width(), image.height()};
    const view::MapPlacement place = view::PlaceMap(recognition::AlertMapSquare(client));
    for (const view::CellSlot& c : view::LayoutCells(view::kMode19, 0))
      if (c.sensor == s) {
        const ui::Point p = place.Pixel({0, 0}, c.centre);
        return image.pixelColor(p.x, p.y);
      }
    return {};
  }
  static QColor Scale(int index) {
    view::ColourBrushes b;
    b.MakeBrushes(7.0);
    return QColor(b[index].r, b[index].g, b[index].b);
  }
  static void Keep(const QImage& image, const char* name) {
    fs::create_directories(TACMON_RECOGNITION_SNAPSHOTS);
    image.save(QString::fromStdString(fs::path(TACMON_RECOGNITION_SNAPSHOTS) / name));
  }

  ScratchRoots roots;
  std::unique_ptr<OwnerWindow> win;
};

TEST_F(AlertWindow, ShowsTheLibrarysAnswerToAPushOverTheInclusion) {
  recognition::OpenLibrary(Context());
  ASSERT_TRUE(recognition::LibraryOpen());
  recognition::PushStarted();
  for (const auto& f : vigiltest::SimulatedPush({})) {
    SensorFrame frame;
    frame.index = f.index;
    recognition::FramePainted(recognition::FrameSource::kRecordingView, f.normalized, frame, f.ms);
  }
  recognition::PushStopped();
  const auto values = win->alerts->AlertValues();
  const Text1251 text = win->alerts->AlertText();
  EXPECT_EQ(FirstTwoLines(text), Text1251("Уплотнение\nСенсоры 5, 6, 10, 11"_cp));
  const QImage image = Picture();
  Keep(image, "alert_pane.png");
  for (int s = 0; s < 19; ++s) EXPECT_EQ(CellColour(image, s), Scale(values[s])) << s;
  // The text is drawn right of the map: dark pixels there, in the first line's band.
  const ui::Rect square = recognition::AlertMapSquare({0, 0, image.width(), image.height()});
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = square.right + 2; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 100) ++dark;
  EXPECT_GT(dark, 50);
}

TEST_F(AlertWindow, ValuesBeyondTheColourTableAreClamped) {
  int values[19] = {};
  values[0] = -5;
  values[9] = 300;
  values[18] = 1 << 30;
  ASSERT_EQ(recognition::AlertValuesCallback(Context(), values), 0);
  const QImage image = Picture();
  EXPECT_EQ(CellColour(image, 0), Scale(0));
  EXPECT_EQ(CellColour(image, 9), Scale(255));
  EXPECT_EQ(CellColour(image, 18), Scale(255));
}

// A library calling back from its own thread while the window paints: every write and paint
// goes through the window's lock, the repaint is posted to the UI thread, and the window ends
// with the last answer.
TEST_F(AlertWindow, CallbacksFromAnotherThreadWhileItPaints) {
  std::atomic<bool> done{false};
  std::thread library([&] {
    int values[19] = {};
    for (int k = 1; k <= 400; ++k) {
      for (int s = 0; s < 19; ++s) values[s] = (k + s * 13) % 256;
      EXPECT_EQ(recognition::AlertValuesCallback(Context(), values), 0);
      const std::string text = "alert " + std::to_string(k) + "\nline two";
      EXPECT_EQ(recognition::AlertTextCallback(Context(), text.c_str()), 0);
    }
    done = true;
  });
  while (!done) {
    win->alerts->Widget()->grab();
    PumpFor(1);
  }
  library.join();
  EXPECT_EQ(win->alerts->AlertText(), "alert 400\nline two");
  const QImage image = Picture();
  EXPECT_EQ(CellColour(image, 3), Scale((400 + 3 * 13) % 256));
}

TEST_F(AlertWindow, AWindowThatIsGoneAnswersMinusOne) {
  int values[19] = {};
  EXPECT_EQ(recognition::AlertTextCallback(Context(), "here"), 0);
  win->alerts->DestroyWindow();
  EXPECT_EQ(recognition::AlertValuesCallback(Context(), values), -1);
  EXPECT_EQ(recognition::AlertTextCallback(Context(), "gone"), -1);
  win->alerts.reset();
  EXPECT_EQ(recognition::AlertTextCallback(Context(), "gone"), -1);
}

}  // namespace

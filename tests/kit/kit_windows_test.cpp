// The kit's windows: CDialogK panes, buffer and drags; ArrangeControls; KCEditInt with its spin
// bar and arrow; CKDate; fonts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include "app/kit/date_dialog.h"
#include "app/kit/dialog_k.h"
#include "app/kit/edit_int.h"
#include "app/kit/file_dialog.h"
#include "app/kit/fonts.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/resources.h"
#include "tests/support/scratch_roots.h"

namespace {

ui::Application& App() {
  static int argc = 1;
  static char name[] = "kit_windows_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: tearing Qt down at exit, after its own statics, is not safe.
  static ui::Application* app = new ui::Application(argc, argv);
  return *app;
}

void Serve(int ms = 50) {
  ui::WaitServingMessages([] { return false; }, ms);
}

// A dialog with two panes: a left pane and, right of it, an upper and a lower part.
class TwoPaneDialog : public CDialogK {
 public:
  TwoPaneDialog() : CDialogK(9701) {
    left_.kind = 2;
    left_.fraction = 0.25;
    left_.next = &top_;
    left_.window = &leftPane;
    top_.kind = 3;
    top_.fraction = 0.5;
    top_.window = &topPane;
  }
  bool OnInitDialog() override {
    leftPane.Set(new QWidget(ClientWidget()));
    topPane.Set(new QWidget(ClientWidget()));
    paneRoot = &left_;
    return true;
  }
  using CDialogK::OnLButtonDown;
  using CDialogK::OnLButtonUp;
  using CDialogK::OnMouseMove;
  kit::WidgetPane leftPane, topPane;
  kit::PaneNode left_, top_;
};

void RegisterTestTemplates() {
  static bool done = false;
  if (done) return;
  done = true;
  ASSERT_TRUE(ui::RegisterResources(R"RC(
DIALOG 9701 "Panes" 0 0 200 100 STYLE resizable
END
DIALOG 9702 "Anchors" 0 0 200 100 STYLE resizable
  LISTBOX 10 5 5 190 60 ""
  BUTTON 11 150 80 45 14 "OK"
  BUTTON 12 5 80 45 14 "Stay"
END
)RC"));
}

}  // namespace

class KitWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    RegisterTestTemplates();
  }
};

TEST_F(KitWindows, PanesAreLaidOutPaintedAndDragged) {
  TwoPaneDialog dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.SetClientSize(400, 200);
  dlg.ShowWindow(ui::SW_SHOW);
  Serve();
  ASSERT_EQ(dlg.ClientRect(), (ui::Rect{0, 0, 400, 200}));
  EXPECT_TRUE(dlg.backBuffer.Valid());
  EXPECT_EQ(dlg.backBuffer.Width(), 400);
  QWidget* l = dlg.leftPane.Widget();
  EXPECT_EQ(l->geometry(), QRect(1, 1, 95, 198));  // pane 0..97, one pixel inside
  EXPECT_EQ(dlg.topPane.Widget()->geometry(), QRect(105, 1, 294, 95));

  // Background and frames in the painted client area.
  QImage img = dlg.ClientWidget()->grab().toImage();
  EXPECT_EQ(img.pixelColor(100, 150), QColor(200, 200, 255));  // the band
  EXPECT_EQ(img.pixelColor(0, 150), QColor(0, 0, 0));          // frame of the left pane
  EXPECT_EQ(img.pixelColor(200, 96), QColor(0, 0, 0));         // bottom frame of the top pane

  // Drag the vertical splitter from x = 100 to x = 200: fraction 0.5.
  dlg.OnLButtonDown(ui::MK_LBUTTON, {100, 50});
  EXPECT_TRUE(kit::CurrentDrag().dragging);
  dlg.OnMouseMove(ui::MK_LBUTTON, {200, 50});
  EXPECT_DOUBLE_EQ(dlg.left_.fraction, 0.5);
  dlg.OnMouseMove(ui::MK_LBUTTON, {5000, 50});
  EXPECT_DOUBLE_EQ(dlg.left_.fraction, 1.0);
  dlg.OnMouseMove(ui::MK_LBUTTON, {200, 50});
  dlg.OnLButtonUp(ui::MK_LBUTTON, {200, 50});
  EXPECT_FALSE(kit::CurrentDrag().dragging);
  dlg.ClientWidget()->repaint();
  Serve();
  EXPECT_EQ(l->geometry(), QRect(1, 1, 195, 198));
  dlg.DestroyWindow();
}

TEST_F(KitWindows, ArrangeControlsFollowsResizes) {
  ui::Dialog dlg(9702);
  ASSERT_TRUE(dlg.Create());
  ArrangeControls arrange(dlg);
  arrange.Register(10, kit::kAnchorLeft | kit::kAnchorTop | kit::kAnchorRight | kit::kAnchorBottom);
  arrange.Register(11, kit::kAnchorRight | kit::kAnchorBottom);
  arrange.Register(12, kit::kAnchorLeft | kit::kAnchorTop);
  arrange.Finish();
  const ui::Rect c0 = dlg.ClientRect();
  const ui::Rect list0 = dlg.ItemRect(10), ok0 = dlg.ItemRect(11), stay0 = dlg.ItemRect(12);
  arrange.Apply(c0.Width() + 100, c0.Height() + 50);
  EXPECT_EQ(dlg.ItemRect(10),
            (ui::Rect{list0.left, list0.top, list0.right + 100, list0.bottom + 50}));
  EXPECT_EQ(dlg.ItemRect(11), ok0.Offset(100, 50));
  EXPECT_EQ(dlg.ItemRect(12), stay0);
  dlg.DestroyWindow();
}

namespace {
int g_reported = 12345;
void Report(uintptr_t context, int value) {
  g_reported = value;
  *reinterpret_cast<int*>(context) += 1;
}
}  // namespace

TEST_F(KitWindows, EditIntSpinsAndShowsItsBars) {
  QWidget host;
  host.resize(200, 40);
  auto* e = new KCEditInt(&host);
  e->setGeometry(0, 0, 120, 24);
  e->min = 1;
  e->max = 12;
  int calls = 0;
  e->onChange = &Report;
  e->changeContext = reinterpret_cast<uintptr_t>(&calls);
  e->valueMenu = 1;
  host.show();
  Serve();
  ASSERT_NE(e->spin, nullptr);  // made at the first paint
  ASSERT_NE(e->arrow, nullptr);
  EXPECT_EQ(e->spin->geometry(), QRect(120 - 16, 0, 16, 24));
  EXPECT_EQ(e->arrow->geometry(), QRect(120 - 32, 0, 16, 24));
  EXPECT_EQ(e->textRect.width(), 120 - 32);
  EXPECT_EQ(e->spin->minimum(), -30000);

  e->SetText("12");
  e->spin->triggerAction(QAbstractSlider::SliderSingleStepSub);  // the up arrow: line up
  EXPECT_EQ(e->Text(), "12");
  EXPECT_EQ(g_reported, 12);
  e->spin->triggerAction(QAbstractSlider::SliderPageStepSub);  // page up
  EXPECT_EQ(e->Text(), "12");
  EXPECT_EQ(g_reported, 62);
  EXPECT_EQ(e->spin->value(), 62);
  e->allowUndefined = 1;
  e->SpinStep(2);
  EXPECT_EQ(e->Text(), "---");
  EXPECT_EQ(g_reported, -1);
  EXPECT_EQ(e->spin->value(), 62);  // the bar keeps the step's value
  EXPECT_EQ(e->GetValue(), 0);      // min - 1
  e->SpinStep(4);                   // thumb position: nothing
  EXPECT_EQ(calls, 3);

  e->SetText("500");
  e->max = 255;
  EXPECT_EQ(e->GetValue(), 255);
  e->names = {{1, "one"}, {2, ""}};
  e->nameCount = 2;
  e->SetValue(1);
  EXPECT_EQ(e->Text(), "1: one");
  e->ApplyMenuCommand(501);
  EXPECT_EQ(e->Text(), "2");
}

TEST_F(KitWindows, EditIntDateModeStepsUnderTheCaret) {
  KCEditInt e;
  e.dateMode = 1;
  e.resize(120, 24);
  e.show();
  Serve();
  ASSERT_NE(e.arrow, nullptr);
  e.SetDate(5, 3, 1970);
  e.caretPos = 2;
  e.SpinStep(0);
  EXPECT_EQ(e.Text(), "5.4.1970");
  e.SpinStep(1);
  e.SpinStep(1);
  EXPECT_EQ(e.Text(), "5.2.1970");
  int d = 0, m = 0, y = 0;
  e.GetDate(d, m, y);
  EXPECT_EQ(d * 10000 + m * 100 + (y - 1900), 5 * 10000 + 2 * 100 + 70);
  e.SpinStep(2);  // only line up and down act in date mode
  EXPECT_EQ(e.Text(), "5.2.1970");
}

TEST_F(KitWindows, DatePickerButtonsGridAndTypedLimits) {
  CKDate dlg(nullptr, "garbage");
  EXPECT_EQ(dlg.day * 10000 + dlg.month * 100 + dlg.year % 100, 10000 + 100 + 60);
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.ItemText(kit::kDateEdit), "1.1.1960");
  EXPECT_EQ(Cp1251ToUtf8(dlg.Caption()), "Дата (1.1.1960)");
  dlg.SendCommand(1004);  // February
  dlg.SendCommand(kit::kDateCentury20);
  dlg.SendCommand(kit::kDateDecadeFirst + 0);
  dlg.SendCommand(kit::kDateYearDigitFirst + 0);  // 2000
  EXPECT_EQ(dlg.year, 2000);
  EXPECT_EQ(dlg.month, 2);
  int shown = 0;
  for (int k = 0; k < 42; ++k) shown += dlg.IsItemVisible(kit::kDateGridFirst + k) ? 1 : 0;
  EXPECT_EQ(shown, 29);
  EXPECT_FALSE(dlg.IsItemVisible(kit::kDateGridFirst + 0));  // 1 Feb 2000: a Tuesday
  EXPECT_EQ(dlg.ItemText(kit::kDateGridFirst + 1), "1");
  dlg.SendCommand(kit::kDateGridFirst + 29);  // the 29th
  EXPECT_EQ(dlg.day, 29);
  EXPECT_EQ(dlg.ItemText(kit::kDateEdit), "29.2.2000");

  // Typing changes the date and the title, without limits until OK.
  dlg.SetItemText(kit::kDateEdit, "  45/13/3100");
  EXPECT_EQ(dlg.day, 45);
  EXPECT_EQ(dlg.month, 13);
  EXPECT_EQ(Cp1251ToUtf8(dlg.Caption()), "Дата (45.13.3100)");
  dlg.SendCommand(ui::IDOK);
  EXPECT_EQ(dlg.day, 31);
  EXPECT_EQ(dlg.month, 12);
  EXPECT_EQ(dlg.year, 2999);
  if (dlg.HasWindow()) dlg.DestroyWindow();
}

TEST_F(KitWindows, DatePickerRunsModallyFromTheArrow) {
  KCEditInt e;
  e.dateMode = 1;
  e.SetText("3.7.1995");
  // Pick the 10th and OK once the picker is up.
  QTimer::singleShot(100, [] {
    for (ui::Dialog* d : ui::OpenDialogs())
      if (d->TemplateId() == 150) {
        d->SendCommand(kit::kDateDayFirst + 9);
        d->SendCommand(ui::IDOK);
      }
  });
  e.OpenArrowPopup();
  EXPECT_EQ(e.Text(), "10.7.1995");
}

TEST_F(KitWindows, FontsFromTheFileAndFallback) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "pars");
  kit::FontRecord rec{};
  ASSERT_TRUE(LoadDefaultFont(rec));  // no file: the system font
  EXPECT_FALSE(kit::FaceName(rec).empty());

  kit::FontRecord wanted{};
  wanted.height = -15;
  wanted.weight = 700;
  kit::SetFaceName(wanted, "DejaVu Sans");
  ASSERT_EQ(kit::WriteFontRecord(std::string("c:\\Tacmon\\") + kit::kDefaultFontFile, wanted), 0);
  kit::FontRecord loaded{};
  ASSERT_TRUE(LoadDefaultFont(loaded));
  QFont f = FontFromRecord(loaded);
  EXPECT_EQ(f.family(), "DejaVu Sans");
  EXPECT_EQ(f.pixelSize(), 15);
  EXPECT_TRUE(f.bold());
  QFont fallback;
  EXPECT_TRUE(CreateFontWithFallback(fallback));

  // The real dialog, answered by a script as a user would: a name typed, then Cancel.
  CKFileDialog save(false, "dvp", "Passports|*.dvp||", nullptr, "Сохранить"_cp);
  EXPECT_STREQ(save.titleBuffer, "Сохранить"_cp);
  const std::string target = (roots.base() / "x.dvp").string();
  const std::string script = (roots.base() / "save.script").string();
  WriteBytes(script, "file " + target + "\nanswer Cancel\n");
  ASSERT_TRUE(ui::automation::Start(script));
  EXPECT_EQ(save.DoModal(), ui::IDOK);
  EXPECT_EQ(save.GetPath(), target);
  EXPECT_EQ(save.DoModal(), ui::IDCANCEL);
  QElapsedTimer t;
  t.start();
  while (ui::automation::Running() && t.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ui::automation::ExitStatus(), 0);
}

TEST_F(KitWindows, ValuePopupsOfTheArrowAndTheRightClick) {
  KCEditInt e;
  e.valueMenu = 1;
  e.resize(120, 24);
  e.show();
  Serve();
  // Picks the item with the given text from the open popup.
  auto pick = [](QString text) {
    QTimer::singleShot(100, [text] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
        for (QAction* a : menu->actions())
          if (a->text() == text) {
            menu->setActiveAction(a);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
          }
    });
  };
  // The default range opens no list at all (it would have two thousand million items).
  e.SetText("7");
  e.OpenArrowPopup();
  EXPECT_EQ(e.popupMenu, nullptr);
  EXPECT_EQ(e.Text(), "7");

  e.min = -1;
  e.max = 2;
  pick("1");
  e.OpenArrowPopup();
  ASSERT_NE(e.popupMenu, nullptr);
  EXPECT_EQ(e.popupMenu->ItemCount(), 5);  // empty item, -1, 0, 1, 2
  EXPECT_EQ(e.Text(), "1");

  e.names = {{1, "first"}, {2, ""}, {3, "third"}};
  e.nameCount = 3;
  pick("3: third");
  e.OpenNameMenu();
  EXPECT_EQ(e.popupMenu->ItemCount(), 2);
  EXPECT_EQ(e.Text(), "3: third");
}

TEST_F(KitWindows, DatePickerSnapshot) {
  CKDate dlg(nullptr, "20.7.2026");
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(ui::SW_SHOW);
  Serve(100);
  // July 2026 starts on a Wednesday: two hidden cells, then 31 days.
  EXPECT_FALSE(dlg.IsItemVisible(kit::kDateGridFirst + 1));
  EXPECT_EQ(dlg.ItemText(kit::kDateGridFirst + 2), "1");
  EXPECT_EQ(dlg.ItemText(kit::kDateGridFirst + 32), "31");
  EXPECT_FALSE(dlg.IsItemVisible(kit::kDateGridFirst + 33));
  const std::string path = std::filesystem::temp_directory_path().string() + "/ckdate.png";
  EXPECT_TRUE(dlg.Widget()->grab().save(QString::fromStdString(path)));
  dlg.DestroyWindow();
}

namespace {
// A dialog whose drawing rectangle is too big for a bitmap.
class HugeDrawDialog : public CDialogK {
 public:
  HugeDrawDialog() : CDialogK(9701) {}
  ui::Rect GetDrawRect() const override { return {0, 0, 20000, 100}; }
};
}  // namespace

TEST_F(KitWindows, BackBufferFailureShowsTheInternalErrorBoxAndPaintingGoesOn) {
  HugeDrawDialog dlg;
  ASSERT_TRUE(dlg.Create());
  const size_t boxes = ui::MessageBoxHistory().size();
  QTimer closer;  // answers every box that comes up
  QObject::connect(&closer, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->accept();
  });
  closer.start(50);
  dlg.ShowWindow(ui::SW_SHOW);
  dlg.SetClientSize(300, 120);
  Serve(300);
  closer.stop();
  auto history = ui::MessageBoxHistory();
  ASSERT_GT(history.size(), boxes);
  EXPECT_EQ(history[boxes].text, "Internal error\nFile'DialogK'\nString #139");
  EXPECT_EQ(history[boxes].caption, "");
  EXPECT_FALSE(dlg.backBuffer.Valid());
  EXPECT_FALSE(dlg.ClientWidget()->grab().isNull());  // paints without the buffer
  dlg.DestroyWindow();
}

// The message window on the UI framework: list contents, popups, check boxes, corners,
// opacity, the detail box and the erase question, with a snapshot for the eye.
#include "app/log/message_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <regex>

#include "app/log/message_log.h"
#include "platform/report.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "tests/support/scratch_roots.h"

namespace {

const char* kLogPath = "c:\\Tacmon\\Logs\\LogFile2.log";

ui::Application& App() {
  static int argc = 1;
  static char name[] = "message_window_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: tearing Qt down at exit, after its own statics, is not safe.
  static ui::Application* app = new ui::Application(argc, argv);
  return *app;
}

std::string Normalised(std::string s) {
  static const std::regex stamp(R"(  \[date=\d+\.\d+;time=\d+\.\d+\.\d+\])");
  static const std::regex header(R"(====----<< Date=\d+\.\d+; Time=\d+\.\d+\.\d+>>----===)");
  return std::regex_replace(std::regex_replace(s, stamp, "  [STAMP]"), header, "[HEADER]");
}

CKD_MessageBox* Window() {
  for (ui::Dialog* d : ui::OpenDialogs())
    if (d->TemplateId() == 131) return static_cast<CKD_MessageBox*>(d);
  return nullptr;
}

bool Settle(const std::function<bool()>& done, int ms = 3000) {
  return ui::WaitServingMessages(done, ms);
}

std::vector<std::string> Shown() {
  std::vector<std::string> out;
  ui::ListBox list = Window()->ListBoxItem(kMsgList);
  for (int i = 0; i < list.GetCount(); ++i) out.push_back(Normalised(list.GetText(i)));
  return out;
}

void Click(int id) {
  auto* b = qobject_cast<QAbstractButton*>(Window()->Item(id));
  ASSERT_NE(b, nullptr) << id;
  b->click();
}

class MessageWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    WriteBytes(roots_.data() / "Logs" / "LogFile2.log", "");
    InstallMessageWindow();
    StartMessageLog(kLogPath);
    ASSERT_TRUE(Settle([] { return Window() && Window()->ListBoxItem(kMsgList).GetCount() > 0; }));
  }
  void TearDown() override {
    StopMessageLog();
    Settle([] { return Window() == nullptr; }, 1000);
  }
  bool Flush() {
    if (!FlushMessageLog(3000)) return false;
    const uint64_t revision = GetMessageList().revision;
    (void)revision;
    ui::WaitServingMessages([] { return false; }, 50);
    return true;
  }
  ScratchRoots roots_;
};

}  // namespace

TEST_F(MessageWindowTest, ListShowsMessagesNewestOnTopAndTheDumpListsThem) {
  CKD_MessageBox* w = Window();
  EXPECT_EQ(w->ClassName(), "CKD_MessageBox");
  EXPECT_FALSE(w->IsWindowVisible());  // created hidden
  EXPECT_EQ(Cp1251ToUtf8(w->Caption()), "Сообщения");
  AddLogMessage("A\nB");
  AddLogMessage("\x04quiet");
  ASSERT_TRUE(Flush());
  EXPECT_EQ(Shown(), (std::vector<std::string>{"quiet  [STAMP]", "A", "B  [STAMP]", "[HEADER]"}));
  EXPECT_FALSE(w->IsWindowVisible());  // no automatic popup initially
  EXPECT_EQ(w->GetCheck(kMsgNoPopup), 1);
  EXPECT_EQ(w->GetCheck(kMsgShowWarnings), 0);
  const std::string dump = Normalised(ui::automation::DumpJson());
  EXPECT_NE(dump.find("\"class\":\"CKD_MessageBox\""), std::string::npos);
  EXPECT_NE(dump.find(R"(["quiet  [STAMP]","A","B  [STAMP]","[HEADER]"])"), std::string::npos)
      << dump;
}

TEST_F(MessageWindowTest, PopupsFollowTheCheckBoxAndQuietMessages) {
  Click(kMsgNoPopup);  // clear "no automatic popup"
  EXPECT_FALSE(GetMessageList().noAutoPopup);
  AddLogMessage("\x05quiet one");
  ASSERT_TRUE(Flush());
  EXPECT_FALSE(Window()->IsWindowVisible());
  AddLogMessage("loud");
  ASSERT_TRUE(Flush());
  ASSERT_TRUE(Settle([] { return Window()->IsWindowVisible(); }));
  Click(ui::IDOK);  // hides
  ASSERT_TRUE(Settle([] { return !Window()->IsWindowVisible(); }));
  // 0x408 from another thread sets the switch again and shows it in the check box.
  PostToMessageLogWindowThread(kLogMsgNoAutoPopup);
  ASSERT_TRUE(Settle([] { return Window()->GetCheck(kMsgNoPopup) == 1; }));
}

TEST_F(MessageWindowTest, WarningsCheckBoxReloadsTheList) {
  AddLogMessage("Warn: battery");
  AddLogMessage("[after]");
  AddLogMessage("kept");
  ASSERT_TRUE(Flush());
  ReloadMessageList(false);
  ASSERT_TRUE(Settle([] { return Window()->ListBoxItem(kMsgList).GetCount() == 2; }));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"kept  [STAMP]", "[HEADER]"}));
  Click(kMsgShowWarnings);
  ASSERT_TRUE(Settle([] { return Window()->ListBoxItem(kMsgList).GetCount() == 4; }));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"kept  [STAMP]", "[after]  [STAMP]",
                                               "Warn: battery  [STAMP]", "[HEADER]"}));
}

TEST_F(MessageWindowTest, CornerButtonsCarryTheirCaptionsAndPictures) {
  struct Case {
    int id;
    const char* caption;
    ui::Rect rect;  // relative to OK's right edge and top
  } cases[] = {{kMsgCornerLT, "LT", {-20, -22, -11, -13}},
               {kMsgCornerLB, "LB", {-20, -12, -11, -3}},
               {kMsgCornerRT, "RT", {-10, -22, -1, -13}},
               {kMsgCornerRB, "RB", {-10, -12, -1, -3}}};
  const ui::Rect ok = Window()->ItemRect(ui::IDOK);
  const std::string dump = ui::automation::DumpJson();
  for (const auto& c : cases) {
    EXPECT_EQ(Window()->ItemText(c.id), c.caption);
    EXPECT_NE(dump.find("{\"id\":" + std::to_string(c.id) +
                        ",\"kind\":\"bitmapbutton\",\"text\":\"" + c.caption + "\""),
              std::string::npos)
        << c.caption;
    EXPECT_EQ(Window()->ItemRect(c.id), c.rect.Offset(ok.right, ok.top)) << c.caption;
    // Normal picture while up, the pressed one while held down.
    auto* b = qobject_cast<QAbstractButton*>(Window()->Item(c.id));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->grab().toImage().pixelColor(4, 4), QColor(230, 230, 230)) << c.caption;
    b->setDown(true);
    EXPECT_EQ(b->grab().toImage().pixelColor(4, 4), QColor(160, 160, 160)) << c.caption;
    b->setDown(false);
  }
}

TEST_F(MessageWindowTest, CornerButtonsDockAndUserMovesUndock) {
  const auto place = roots_.data() / "Logs" / "logplace.bin";
  ShowMessageWindow(5);
  ASSERT_TRUE(Settle([] { return Window()->IsWindowVisible(); }));
  Click(kMsgCornerRB);
  ASSERT_TRUE(Settle([&] {
    const ui::Rect wa = ui::Dialog::DesktopWorkArea(), r = Window()->WindowRect();
    return r.right == wa.right && r.bottom == wa.bottom;
  }));
  EXPECT_EQ(ReadBytes(place), "301\r\n4\r\n");
  EXPECT_EQ(GetMessageList().corner, 4);
  Click(kMsgCornerLT);
  ASSERT_TRUE(Settle([&] {
    const ui::Rect wa = ui::Dialog::DesktopWorkArea(), r = Window()->WindowRect();
    return r.left == wa.left && r.top == wa.top;
  }));
  EXPECT_EQ(ReadBytes(place), "301\r\n1\r\n");
  // The user drags the window away: undocked, the file is gone, the next show leaves it.
  Window()->Widget()->move(200, 150);
  ASSERT_TRUE(Settle([&] { return !std::filesystem::exists(place); }));
  EXPECT_EQ(GetMessageList().corner, 0);
  const ui::Rect before = Window()->WindowRect();
  ShowMessageWindow(5);
  ui::WaitServingMessages([] { return false; }, 100);
  EXPECT_EQ(Window()->WindowRect(), before);
}

TEST_F(MessageWindowTest, OpacityTrackbarAndDetailBox) {
  ui::Slider slider = Window()->SliderItem(kMsgOpacity);
  EXPECT_EQ(slider.GetRangeMin(), 50);
  EXPECT_EQ(slider.GetRangeMax(), 256);
  EXPECT_EQ(MessageWindowOpacity(), 171);
  EXPECT_EQ(Window()->Opacity(), 171);
  slider.Widget()->triggerAction(QAbstractSlider::SliderPageStepSub);
  ASSERT_TRUE(Settle([] { return Window()->Opacity() == 131; }));
  SetMessageWindowOpacity(171);
  ASSERT_TRUE(Settle([] { return Window()->Opacity() == 171; }));

  std::string longLine = "c:\\Tacmon\\OPERATIONS\\";
  for (int i = 0; i < 30; ++i) longLine += "segment" + std::to_string(i) + "\\";
  longLine += std::string(300, 'x');  // a token wider than the box
  AddLogMessage(longLine.c_str());
  ASSERT_TRUE(Flush());
  ui::ListBox list = Window()->ListBoxItem(kMsgList);
  ASSERT_GT(list.GetCount(), 1);
  list.Widget()->setCurrentRow(0);  // as a user selection
  ASSERT_TRUE(Settle([] { return !Window()->ItemText(kMsgDetail).empty(); }));
  const Text1251 detail = Window()->ItemText(kMsgDetail);
  EXPECT_NE(detail.find('\n'), std::string::npos);
  std::string joined;
  for (char c : detail)
    if (c != '\r' && c != '\n') joined += c;
  EXPECT_EQ(Normalised(joined), longLine + "  [STAMP]");
}

TEST_F(MessageWindowTest, EraseAsksFirst) {
  AddLogMessage("to be erased");
  ASSERT_TRUE(Flush());
  auto answer = [](QMessageBox::StandardButton, const char* text) {
    QTimer::singleShot(100, [text] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
          for (QAbstractButton* b : box->buttons())
            if (b->text() == QString::fromUtf8(text)) b->click();
    });
  };
  answer(QMessageBox::No, "Нет");
  Click(kMsgErase);
  EXPECT_TRUE(std::filesystem::exists(roots_.data() / "Logs" / "LogFile2.log"));
  answer(QMessageBox::Yes, "Да");
  Click(kMsgErase);
  EXPECT_FALSE(std::filesystem::exists(roots_.data() / "Logs" / "LogFile2.log"));
  ASSERT_TRUE(Settle([] { return Window()->ListBoxItem(kMsgList).GetCount() == 0; }));
  auto history = ui::MessageBoxHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_EQ(Cp1251ToUtf8(history.back().text), "Стереть все сообщения?");
  EXPECT_EQ(history.back().caption, "");
}

TEST_F(MessageWindowTest, Snapshot) {
  AddLogMessage("MechReceptor: Can't connect");
  AddLogMessage("Такт.дисплей: соединение потеряно"_cp);
  AddLogMessage("(7122739)Internal error:can't lock");
  ASSERT_TRUE(Flush());
  ShowMessageWindow(5);
  ASSERT_TRUE(Settle([] { return Window()->IsWindowVisible(); }));
  Window()->Widget()->resize(700, 480);
  ui::WaitServingMessages([] { return false; }, 100);
  const char* out = std::getenv("TACMON_SNAPSHOT_DIR");
  const std::string path =
      (out ? std::string(out) : std::filesystem::temp_directory_path().string()) +
      "/message_window.png";
  ASSERT_TRUE(Window()->Widget()->grab().save(QString::fromStdString(path)));
  // Resizing kept OK at the bottom-right and the list stretched.
  const ui::Rect ok = Window()->ItemRect(ui::IDOK), client = Window()->ClientRect();
  const ui::Rect list = Window()->ItemRect(kMsgList);
  EXPECT_LT(client.right - ok.right, 30);
  EXPECT_LT(client.bottom - ok.bottom, 30);
  EXPECT_GT(list.Width(), client.Width() - 40);
}

TEST_F(MessageWindowTest, ListFollowsTheLineBudgetRowForRow) {
  for (int i = 0; i < 2100; ++i) {
    AddLogMessageF("m%d", i);
    if (i % 500 == 0) {
      ASSERT_TRUE(Flush());
    }
  }
  ASSERT_TRUE(Flush());
  const auto model = GetMessageList();
  EXPECT_LE(model.lines.size(), 2000u);
  ASSERT_TRUE(Settle([&] {
    return Window()->ListBoxItem(kMsgList).GetCount() == static_cast<int>(model.lines.size());
  }));
  ui::ListBox list = Window()->ListBoxItem(kMsgList);
  for (int i = 0; i < list.GetCount(); i += 97)
    EXPECT_EQ(list.GetText(i), model.lines[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(Normalised(list.GetText(0)), "m2099  [STAMP]");
}

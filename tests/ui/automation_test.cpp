// Scripts run against the active window: user actions, answers to message boxes, dumps,
// snapshots, errors with line numbers, and commands added by windows.
#include "platform/ui/automation.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"
#include "tests/ui/ui_env.h"

namespace {

namespace fs = std::filesystem;

void RegisterScriptTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string error;
  ASSERT_TRUE(ui::RegisterResources(R"(
DIALOG 9600 "Сценарий" 0 0 200 120 STYLE visible MENU 9601
  DEFBUTTON 1 140 100 50 14 "OK"
  BUTTON 1000 10 10 60 14 "Спросить"
  CHECKBOX 1001 10 30 60 10 "Флажок"
  COMBOBOX 1002 10 45 60 60
  EDIT 1003 80 10 100 12 ""
  TRACKBAR 1004 80 30 100 15
  BUTTON 1005 10 100 50 14 "нет" STYLE hidden
  BUTTON 1006 70 100 50 14 "Файл"
  BUTTON 1007 130 10 50 14 "Модально"
  LISTBOX 1008 130 30 60 40
END
DIALOG 9610 "Модальный" 0 0 100 50
  DEFBUTTON 1 10 30 40 14 "OK"
  BUTTON 2 50 30 40 14 "Отмена"
  EDIT 1000 10 10 80 12 ""
END
MENU 9601
  POPUP "Вид"
    ITEM 32840 "19"
  END
END
ACCELERATORS 9602
  Gray* 32849
END
)",
                                    &error))
      << error;
}

class Scripted : public ui::Dialog {
 public:
  Scripted() : Dialog(9600) {
    RegisterScriptTemplate();
    OnCommand(1000, [this] {
      answer = ui::MessageBox(this, "Сохранить?"_cp, "Вопрос"_cp, ui::MB_YESNO);
    });
    OnCommand(1001, [this] { events.push_back("check" + std::to_string(GetCheck(1001))); });
    OnNotify(1002, ui::Notify::SelChange, [this](const ui::NotifyInfo& n) {
      events.push_back("combo" + std::to_string(n.item));
    });
    OnNotify(1003, ui::Notify::Change,
             [this](const ui::NotifyInfo&) { events.push_back("text:" + ItemText(1003)); });
    OnScroll(1004, [this](int code, int pos) {
      events.push_back("scroll" + std::to_string(code) + ":" + std::to_string(pos));
    });
    OnCommand(32840, [this] { events.push_back("menu19"); });
    OnNotify(1008, ui::Notify::DoubleClicked, [this](const ui::NotifyInfo& n) {
      events.push_back("open" + std::to_string(n.item));
    });
    OnCommand(1007, [this] {
      ui::Dialog inner(9610);
      modalCode = inner.DoModal(this);
    });
    OnCommand(1006, [this] {
      QFileDialog dlg(Widget(), "Ввести имя BIN-файла");
      dlg.setOption(QFileDialog::DontUseNativeDialog);
      if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        chosen = dlg.selectedFiles().front().toStdString();
    });
    OnCommand(32849, [this] { events.push_back("gray*"); });
  }
  bool OnInitDialog() override {
    ComboItem(1002).AddString("первый"_cp);
    ComboItem(1002).AddString("второй"_cp);
    SliderItem(1004).SetRange(0, 100);
    LoadAccelerators(9602);
    ListBoxItem(1008).AddString("push1");
    ListBoxItem(1008).AddString("push2");
    return true;
  }
  std::vector<std::string> events;
  int answer = 0;
  std::string chosen;
  int modalCode = 0;
};

class Automation : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/automationXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs a script to its end (or its failure) and returns what it wrote to stderr.
  std::string Run(const std::string& script) {
    std::string path = dir_ + "/script.txt";
    std::ofstream(path) << script;
    fflush(stderr);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ui::automation::Start(path));
    bool ended = uitest::Pump([] { return !ui::automation::Running(); }, 10000);
    uitest::PumpFor(30);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ended) << script;
    return err;
  }

  std::string dir_;
};

TEST_F(Automation, UserActionsReachTheActiveWindow) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  std::string err =
      Run("check 1001 1\n"
          "check 1001 1\n"  // already checked: no click
          "select 1002 1\n"
          "text 1003 Иванов И.И.\n"
          "select 1004 40\n"
          "menu 32840\n"
          "key Gray*\n"
          "dblclick 1008 1\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(ui::automation::ExitStatus(), 0);
  std::vector<std::string> expected = {
      "check1",     "combo1",     "text:" + Utf8ToCp1251("Иванов И.И."),
      "scroll5:40", "scroll4:40", "menu19",
      "gray*",      "open1"};
  EXPECT_EQ(d.events, expected);
  d.DestroyWindow();
}

TEST_F(Automation, AnswerPressesTheButtonOfTheOpenMessageBox) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  std::string dump = dir_ + "/dump.json";
  std::string err = Run("click 1000\ndump " + dump + "\nanswer No\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(d.answer, ui::IDNO);
  std::string json;
  ASSERT_TRUE(ReadWholeFile(dump, json));
  // The dump was taken while the box was open: the box is a window and its answer is empty.
  EXPECT_NE(json.find(R"({"class":"Scripted","template":9600,"caption":"Сценарий","visible":true)"),
            std::string::npos)
      << json;
  EXPECT_NE(
      json.find(R"("class":"MessageBox","template":0,"caption":"Вопрос","text":"Сохранить?")"),
      std::string::npos);
  EXPECT_NE(json.find(R"({"caption":"Вопрос","text":"Сохранить?","answer":""})"),
            std::string::npos);
  EXPECT_NE(
      json.find(
          R"({"id":1002,"kind":"combobox","text":"","visible":true,"enabled":true,"checked":false,"items":["первый","второй"],"selection":-1})"),
      std::string::npos)
      << json;
  EXPECT_NE(json.find(R"({"id":1005,"kind":"button","text":"нет","visible":false)"),
            std::string::npos);
  auto history = ui::MessageBoxHistory();
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.back().answer, ui::IDNO);
  d.DestroyWindow();
}

TEST_F(Automation, LinesRunInsideAModalDialogAndAnswerEndsIt) {
  struct Case {
    const char* answer;
    int code;
  };
  for (const Case c : {Case{"OK", ui::IDOK}, Case{"Cancel", ui::IDCANCEL}}) {
    Scripted d;
    ASSERT_TRUE(d.Create());
    std::string dump = dir_ + "/modal.json";
    EXPECT_EQ(Run("click 1007\ntext 1000 abc\ndump " + dump + "\nanswer " + c.answer + "\n"), "");
    EXPECT_EQ(d.modalCode, c.code);
    std::string json;
    ASSERT_TRUE(ReadWholeFile(dump, json));
    EXPECT_NE(json.find(R"("caption":"Модальный","visible":true,"active":true,"modal":true)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"({"id":1000,"kind":"edit","text":"abc")"), std::string::npos);
    d.DestroyWindow();
  }
}

TEST_F(Automation, FileChoosesAPathInTheOpenFileDialog) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  std::string target = dir_ + "/push.bin";
  std::ofstream(target) << "x";
  std::string dump = dir_ + "/dump.json";
  EXPECT_EQ(Run("click 1006\ndump " + dump + "\nfile " + target + "\n"), "");
  EXPECT_EQ(d.chosen, target);
  std::string json;
  ASSERT_TRUE(ReadWholeFile(dump, json));
  EXPECT_NE(json.find(R"({"class":"QFileDialog","template":0,"caption":"Ввести имя BIN-файла")"),
            std::string::npos)
      << json;
  d.DestroyWindow();
}

TEST_F(Automation, SnapshotWritesTheActiveWindowAsPng) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  std::string png = dir_ + "/shot.png";
  EXPECT_EQ(Run("wait 20\nsnapshot " + png + "\n"), "");
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), d.Widget()->width());
  EXPECT_EQ(img.height(), d.Widget()->height());
  d.DestroyWindow();
}

TEST_F(Automation, BadLinesAreReportedWithTheirLineNumberAndFailTheRun) {
  struct Case {
    std::string script;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"# comment\n\nfrobnicate 3\n", ":3: unknown command 'frobnicate'"},
      {"click 4242\n", ":1: no control 4242 in window 9600"},
      {"click 1005\n", ":1: control 1005 is hidden"},
      {"wait 1\nselect 1002 7\n", ":2: no item 7 in combo box 1002"},
      {"menu 1\n", ":1: no menu item 1 in window 9600"},
      {"key Hyper\n", ":1: unknown key 'Hyper'"},
      {"answer Maybe\n", ":1: unknown answer 'Maybe'"},
      {"until 1005 visible 10\n", ":1: until ID shown|hidden|enabled|disabled MS"},
  };
  for (const auto& c : cases) {
    Scripted d;
    ASSERT_TRUE(d.Create());
    std::string err = Run(c.script);
    EXPECT_NE(err.find(c.message), std::string::npos) << c.script << " -> " << err;
    EXPECT_EQ(ui::automation::ExitStatus(), 1) << c.script;
    d.DestroyWindow();
  }
}

TEST_F(Automation, UntilWaitsForAControlAndFailsAfterItsTime) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  // Control 1005 is shown 200 ms after the run starts; the next line waits for it.
  QTimer::singleShot(200, [&d] { d.Item(1005)->show(); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run("until 1005 shown 5000\ncheck 1001 1\n"), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(d.events, std::vector<std::string>{"check1"});
  EXPECT_EQ(ui::automation::ExitStatus(), 0);

  std::string err = Run("until 1005 hidden 50\ncheck 1001 0\n");
  EXPECT_NE(err.find(":1: control 1005 not hidden within 50 ms"), std::string::npos) << err;
  EXPECT_EQ(ui::automation::ExitStatus(), 1);
  EXPECT_EQ(d.events, std::vector<std::string>{"check1"}) << "the run ended at the failure";
  d.DestroyWindow();
}

TEST_F(Automation, WindowsMayAddCommands) {
  Scripted d;
  ASSERT_TRUE(d.Create());
  std::vector<std::string> seen;
  ui::automation::RegisterCommand("open-viewer", [&](ui::automation::Context& c) {
    seen.push_back(c.rest);
    if (c.args.size() != 1) {
      c.error = "open-viewer FILE";
      return ui::automation::Result::Failed;
    }
    return ui::automation::Result::Done;
  });
  EXPECT_EQ(Run("open-viewer pars\\test.bin\n"), "");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "pars\\test.bin");
  std::string err = Run("open-viewer\n");
  EXPECT_NE(err.find(":1: open-viewer FILE"), std::string::npos) << err;
  d.DestroyWindow();
}

}  // namespace

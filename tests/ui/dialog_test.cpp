// Dialogs from templates: controls by id, the message map (user actions only), modal and
// modeless runs, menus, accelerators, timers and numbered messages from other threads.
#include "platform/ui/dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/ui/app_loop.h"
#include "platform/ui/message_box.h"
#include "tests/ui/ui_env.h"

namespace {

constexpr int kTemplate = 9500;

void RegisterTestTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* rc = R"(
DIALOG 9500 "Тест" 0 0 240 160 MENU 9501
  DEFBUTTON 1 180 140 50 14 "OK"
  BUTTON 2 120 140 50 14 "Отмена"
  BUTTON 1000 10 10 60 14 "Кнопка"
  CHECKBOX 1001 10 30 60 10 "Флажок"
  LISTBOX 1002 10 45 60 40
  TRACKBAR 1003 80 10 100 15
  EDIT 1004 80 30 100 12 "старт"
  BUTTON 1005 10 140 50 14 "скрыта" STYLE hidden disabled
  LISTVIEW 1006 80 45 150 60
  RADIO 1007 190 10 40 10 "A" STYLE group
  RADIO 1008 190 22 40 10 "B"
END
MENU 9501
  POPUP "Вид"
    ITEM 32777 "Флаги"
    ITEM 32778 "Значения" checked
  END
END
ACCELERATORS 9502
  Down 32846
  Gray+ 32851
END
)";
  std::string error;
  ASSERT_TRUE(ui::RegisterResources(rc, &error)) << error;
}

// Records every notification and command it sees.
class Probe : public ui::Dialog {
 public:
  Probe() : Dialog(kTemplate) {
    RegisterTestTemplate();
    OnCommand(1000, [this] { log.push_back("cmd1000"); });
    OnCommand(32777, [this] { log.push_back("menu32777"); });
    OnCommand(32846, [this] { log.push_back("accDown"); });
    OnCommand(32851, [this] { log.push_back("accPlus"); });
    OnNotify(1001, ui::Notify::Clicked, [this](const ui::NotifyInfo&) {
      log.push_back("check" + std::to_string(GetCheck(1001)));
    });
    OnNotify(1002, ui::Notify::SelChange, [this](const ui::NotifyInfo&) {
      log.push_back("sel" + std::to_string(ListBoxItem(1002).GetCurSel()));
    });
    OnScroll(1003, [this](int code, int pos) {
      log.push_back("scroll" + std::to_string(code) + ":" + std::to_string(pos));
    });
    OnNotify(1004, ui::Notify::Change, [this](const ui::NotifyInfo&) { log.push_back("change"); });
    OnMessage(WM_USER + 22, [this](uintptr_t w, intptr_t l) {
      onUiThread = ui::IsUiThread();
      log.push_back("msg" + std::to_string(w));
      return l * 2;
    });
  }
  void OnTimer(int id) override {
    ++ticks;
    if (id == 7 && onTimer7) onTimer7();
  }
  void PostNcDestroy() override { ++ncDestroyed; }

  std::vector<std::string> log;
  std::atomic<bool> onUiThread{false};
  int ticks = 0;
  int ncDestroyed = 0;
  std::function<void()> onTimer7;
};

TEST(Dialog, BuildsControlsFromTheTemplateInDialogUnits) {
  Probe d;
  ASSERT_TRUE(d.Create());
  EXPECT_EQ(d.Caption(), "Тест"_cp);
  EXPECT_FALSE(d.IsWindowVisible());  // no Style::Visible
  ui::Rect r = d.ItemRect(1000);
  EXPECT_EQ(r.left, d.DialogUnitsToPixelsX(10));
  EXPECT_EQ(r.top, d.DialogUnitsToPixelsY(10));
  EXPECT_EQ(r.Width(), d.DialogUnitsToPixelsX(70) - d.DialogUnitsToPixelsX(10));
  EXPECT_EQ(d.ClientRect().Width(), d.DialogUnitsToPixelsX(240));
  EXPECT_EQ(d.ClientRect().Height(), d.DialogUnitsToPixelsY(160));
  // Windows' dialog font gives base units of about 6 x 13 pixels.
  EXPECT_GE(d.DialogUnitsToPixelsX(4), 4);
  EXPECT_LE(d.DialogUnitsToPixelsX(4), 10);
  EXPECT_EQ(d.ItemKind(1003), ui::ControlKind::Trackbar);
  EXPECT_EQ(d.ItemText(1004), "старт"_cp);
  EXPECT_FALSE(d.IsItemVisible(1005));
  EXPECT_FALSE(d.IsItemEnabled(1005));
  EXPECT_EQ(d.Item(4242), nullptr);
  d.ShowItem(1005, true);
  d.EnableItem(1005, true);
  EXPECT_TRUE(d.IsItemVisible(1005));
  EXPECT_TRUE(d.IsItemEnabled(1005));
  d.SetItemInt(1004, -17);
  bool ok = false;
  EXPECT_EQ(d.ItemInt(1004, &ok), -17);
  EXPECT_TRUE(ok);
  d.DestroyWindow();
}

TEST(Dialog, UserActionsNotifyAndProgrammaticChangesDoNot) {
  Probe d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(ui::SW_SHOW);
  auto lb = d.ListBoxItem(1002);
  lb.AddString("один"_cp);
  lb.AddString("два"_cp);
  d.SliderItem(1003).SetRange(0, 50);

  d.SetCheck(1001, 1);
  lb.SetCurSel(1);
  d.SliderItem(1003).SetPos(20);
  EXPECT_TRUE(d.log.empty());
  EXPECT_EQ(d.GetCheck(1001), 1);
  EXPECT_EQ(lb.GetCurSel(), 1);
  EXPECT_EQ(d.SliderItem(1003).GetPos(), 20);

  QTest::mouseClick(static_cast<QAbstractButton*>(d.Item(1000)), Qt::LeftButton);
  QTest::mouseClick(static_cast<QAbstractButton*>(d.Item(1001)), Qt::LeftButton);
  auto* list = static_cast<QListWidget*>(d.Item(1002));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  d.Item(1003)->setFocus();
  QTest::keyClick(d.Item(1003), Qt::Key_Right);  // a line step while the slider has focus
  ASSERT_EQ(d.log.size(), 4u);
  EXPECT_EQ(d.log[0], "cmd1000");
  EXPECT_EQ(d.log[1], "check0");
  EXPECT_EQ(d.log[2], "sel0");
  EXPECT_EQ(d.log[3], "scroll1:21");

  // An edit reports text set by the program, as EN_CHANGE does.
  d.SetItemText(1004, "новый"_cp);
  EXPECT_EQ(d.log.back(), "change");
  d.DestroyWindow();
}

TEST(Dialog, RadioButtonsOfAGroupExcludeEachOther) {
  Probe d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(ui::SW_SHOW);
  static_cast<QAbstractButton*>(d.Item(1007))->click();
  static_cast<QAbstractButton*>(d.Item(1008))->click();
  EXPECT_EQ(d.GetCheck(1007), 0);
  EXPECT_EQ(d.GetCheck(1008), 1);
  d.CheckRadioButton(1007, 1008, 1007);
  EXPECT_EQ(d.GetCheck(1007), 1);
  EXPECT_EQ(d.GetCheck(1008), 0);
  d.DestroyWindow();
}

TEST(Dialog, ModalRunEndsWithTheCodeOfTheButtonOrEscape) {
  struct Case {
    const char* what;
    std::function<void(Probe&)> act;
    int code;
  };
  const Case cases[] = {
      {"OK button", [](Probe& d) { static_cast<QAbstractButton*>(d.Item(1))->click(); }, ui::IDOK},
      {"Cancel button", [](Probe& d) { static_cast<QAbstractButton*>(d.Item(2))->click(); },
       ui::IDCANCEL},
      {"Escape", [](Probe& d) { QTest::keyClick(d.Widget(), Qt::Key_Escape); }, ui::IDCANCEL},
      {"EndDialog", [](Probe& d) { d.EndDialog(77); }, 77},
  };
  for (const auto& c : cases) {
    Probe d;
    d.onTimer7 = [&] {
      d.KillTimer(7);
      c.act(d);
    };
    QTimer::singleShot(0, [&] { d.SetTimer(7, 10); });
    EXPECT_EQ(d.DoModal(), c.code) << c.what;
    EXPECT_FALSE(d.HasWindow()) << c.what;
  }
}

TEST(Dialog, AModalRunDisablesItsOwnerOnly) {
  Probe owner, other, modal;
  ASSERT_TRUE(owner.Create());
  ASSERT_TRUE(other.Create());
  owner.ShowWindow(ui::SW_SHOW);
  other.ShowWindow(ui::SW_SHOW);
  bool ownerEnabled = true, otherEnabled = false;
  modal.onTimer7 = [&] {
    modal.KillTimer(7);
    ownerEnabled = owner.Widget()->isEnabled();
    otherEnabled = other.Widget()->isEnabled();
    static_cast<QAbstractButton*>(other.Item(1000))->click();  // still usable
    modal.EndDialog(ui::IDOK);
  };
  QTimer::singleShot(0, [&] { modal.SetTimer(7, 10); });
  EXPECT_EQ(modal.DoModal(&owner), ui::IDOK);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(otherEnabled);
  ASSERT_FALSE(other.log.empty());
  EXPECT_EQ(other.log.back(), "cmd1000");
  EXPECT_TRUE(owner.Widget()->isEnabled());
  owner.DestroyWindow();
  other.DestroyWindow();
}

TEST(Dialog, MenuCommandsAndAcceleratorsReachTheMessageMap) {
  Probe d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(ui::SW_SHOW);
  d.LoadAccelerators(9502);
  EXPECT_TRUE(d.IsMenuItemChecked(32778));
  QMenuBar* bar = d.Widget()->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QAction* flags = nullptr;
  for (QAction* a : bar->findChildren<QAction*>())
    if (a->property("tacmonId").toInt() == 32777) flags = a;
  ASSERT_NE(flags, nullptr);
  flags->trigger();
  EXPECT_EQ(d.log.back(), "menu32777");
  // Check marks change only when the program says so.
  EXPECT_FALSE(d.IsMenuItemChecked(32777));
  d.CheckMenuItem(32777, true);
  EXPECT_TRUE(d.IsMenuItemChecked(32777));

  // Accelerators come before the focused control.
  d.Item(1004)->setFocus();
  QTest::keyClick(d.Item(1004), Qt::Key_Down);
  EXPECT_EQ(d.log.back(), "accDown");
  QTest::keyClick(d.Item(1004), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(d.log.back(), "accPlus");
  d.DestroyWindow();
}

TEST(Dialog, NumberedMessagesFromAWorkerRunOnTheUiThread) {
  Probe d;
  ASSERT_TRUE(d.Create());
  WindowHandle h = d.Handle();
  ASSERT_NE(h, 0u);
  std::thread([h] { PostMessageTo(h, WM_USER + 22, 5, 0); }).join();
  ASSERT_TRUE(uitest::Pump([&] { return !d.log.empty(); }));
  EXPECT_EQ(d.log.back(), "msg5");
  EXPECT_TRUE(d.onUiThread);

  // A send is served while the UI thread waits for the worker.
  intptr_t result = 0;
  bool sent = false;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    sent = SendMessageTimeoutTo(h, WM_USER + 22, 6, 21, 2000, &result);
    finished = true;
  });
  EXPECT_TRUE(ui::WaitServingMessages([&] { return finished.load(); }, 3000));
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(result, 42);

  // A send that the UI thread does not serve in time is dropped, not run later.
  size_t before = d.log.size();
  bool late = true;
  std::thread([&] { late = SendMessageTimeoutTo(h, WM_USER + 22, 7, 0, 50, nullptr); }).join();
  EXPECT_FALSE(late);
  uitest::PumpFor(50);
  EXPECT_EQ(d.log.size(), before);

  // After the window is gone, posting fails harmlessly.
  d.DestroyWindow();
  EXPECT_FALSE(IsWindow(h));
  bool posted = true;
  std::thread([&] { posted = PostMessageTo(h, WM_USER + 22, 8, 0); }).join();
  EXPECT_FALSE(posted);
}

// A worker that sends to a window once and ends.
class SendingWorker : public WorkerThread {
 public:
  explicit SendingWorker(WindowHandle target) : target_(target) {}
  ~SendingWorker() override { Join(); }
  bool sent = false;
  intptr_t result = 0;

 protected:
  int Run() override {
    sent = SendMessageTimeoutTo(target_, WM_USER + 22, 9, 50, 5000, &result);
    return 0;
  }

 private:
  WindowHandle target_;
};

TEST(Dialog, JoiningAWorkerServesItsSends) {
  Probe d;
  ASSERT_TRUE(d.Create());
  SendingWorker worker(d.Handle());
  ASSERT_TRUE(worker.Start());
  // Without serving, the join would wait for a send that waits for this thread.
  EXPECT_TRUE(ui::JoinServing(worker, 3000));
  EXPECT_TRUE(worker.sent);
  EXPECT_EQ(worker.result, 100);
  EXPECT_EQ(d.log.back(), "msg9");
  d.DestroyWindow();
}

TEST(Dialog, TimersKeepTheMinimumPeriodAndStopWhenKilled) {
  Probe d;
  ASSERT_TRUE(d.Create());
  ASSERT_TRUE(d.SetTimer(3, 1));  // asks for 1 ms, gets 10 ms
  uitest::PumpFor(105);
  EXPECT_GE(d.ticks, 3);
  EXPECT_LE(d.ticks, 11);
  d.KillTimer(3);
  int ticks = d.ticks;
  uitest::PumpFor(40);
  EXPECT_EQ(d.ticks, ticks);
  d.DestroyWindow();
}

TEST(Dialog, DestroyingAModelessWindowEndsWithPostNcDestroy) {
  Probe d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(ui::SW_SHOW);
  EXPECT_EQ(ui::OpenDialogs().back(), &d);
  d.DestroyWindow();
  EXPECT_FALSE(d.HasWindow());
  EXPECT_EQ(d.Item(1000), nullptr);
  ASSERT_TRUE(uitest::Pump([&] { return d.ncDestroyed == 1; }));
  for (ui::Dialog* open : ui::OpenDialogs()) EXPECT_NE(open, &d);
}

TEST(Dialog, ListViewRowsColumnsAndSelection) {
  Probe d;
  ASSERT_TRUE(d.Create());
  ui::ListView lv = d.ListViewItem(1006);
  ASSERT_TRUE(lv.Valid());
  EXPECT_EQ(lv.InsertColumn(0, "Имя"_cp, 80), 0);
  EXPECT_EQ(lv.InsertColumn(1, "Дата"_cp, 60), 1);
  EXPECT_EQ(lv.InsertItem(0, "Иванов"_cp), 0);
  EXPECT_EQ(lv.InsertItem(-1, "Петров"_cp), 1);
  EXPECT_TRUE(lv.SetItemText(1, 1, "1.2.2003"));
  EXPECT_FALSE(lv.SetItemText(1, 5, "x"));
  EXPECT_FALSE(lv.SetItemText(9, 0, "x"));
  lv.SetItemData(1, 1234);
  EXPECT_EQ(lv.GetItemText(1, 0), "Петров"_cp);
  EXPECT_EQ(lv.GetItemText(1, 1), "1.2.2003");
  EXPECT_EQ(lv.GetItemData(1), 1234);
  EXPECT_EQ(lv.GetNextSelected(), -1);
  lv.SetSelected(1, true);
  EXPECT_EQ(lv.GetNextSelected(), 1);
  EXPECT_EQ(lv.GetSelectionMark(), 1);
  // A column inserted in front shifts the texts to the right.
  lv.InsertColumn(0, "№", 20);
  EXPECT_EQ(lv.GetItemText(1, 1), "Петров"_cp);
  EXPECT_TRUE(lv.DeleteItem(0));
  EXPECT_EQ(lv.GetItemCount(), 1);
  EXPECT_TRUE(d.log.empty());
  d.DestroyWindow();
}

TEST(Dialog, AMessageBoxAskedByAWorkerIsShownOnTheUiThread) {
  std::atomic<bool> done{false};
  int answer = 0;
  bool boxOnUiThread = false;
  QTimer::singleShot(30, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        boxOnUiThread = box->thread() == QApplication::instance()->thread();
        for (QAbstractButton* b : box->buttons())
          if (b->property("tacmonAnswer").toInt() == ui::IDCANCEL) b->click();
      }
  });
  std::thread worker([&] {
    answer = ui::MessageBox(nullptr, "Связь потеряна"_cp, "", ui::MB_OKCANCEL);
    done = true;
  });
  EXPECT_TRUE(ui::WaitServingMessages([&] { return done.load(); }, 3000));
  worker.join();
  EXPECT_EQ(answer, ui::IDCANCEL);
  EXPECT_TRUE(boxOnUiThread);
}

TEST(Dialog, MessageBoxesAreRecordedWithTheirAnswers) {
  size_t before = ui::MessageBoxHistory().size();
  QTimer::singleShot(20, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
        for (QAbstractButton* b : box->buttons())
          if (b->property("tacmonAnswer").toInt() == ui::IDNO) b->click();
  });
  int answer = ui::MessageBox(nullptr, "Стереть все сообщения?"_cp, "", ui::MB_YESNO);
  EXPECT_EQ(answer, ui::IDNO);
  auto history = ui::MessageBoxHistory();
  ASSERT_EQ(history.size(), before + 1);
  EXPECT_EQ(history.back().text, "Стереть все сообщения?"_cp);
  EXPECT_EQ(history.back().answer, ui::IDNO);
}

}  // namespace

// The passports dialog (159) and the doubles editor (160) on the offscreen platform: the list
// with its check marks, the two views, the values edited line by line, and pictures of both.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "platform/sync.h"
#include "platform/ui/dialog.h"
#include "support/scratch_roots.h"
#include "tester/kcd_pasports.h"
#include "tests/ui/ui_env.h"

namespace {

namespace fs = std::filesystem;

void Snapshot(ui::Dialog& dlg, const char* name) {
  fs::create_directories(TACMON_PASSPORTS_SNAPSHOTS);
  EXPECT_TRUE(dlg.Widget()->grab().save(
      QString::fromStdString((fs::path(TACMON_PASSPORTS_SNAPSHOTS) / name).string())));
}

// Runs dlg modally; steps runs inside its loop and must end it.
int RunWith(ui::Dialog& dlg, std::function<void()> steps) {
  QTimer::singleShot(0, [steps = std::move(steps)] {
    uitest::PumpFor(50);
    steps();
  });
  return dlg.DoModal();
}

TEST(EditDoubleDialog, EditsALineAndReturnsTheShownValues) {
  double values[5] = {1, 0.5, -2, 7, 0.129996};
  tester::KCDEditDouble dlg(values, 5, "Сдвиги"_cp);
  RunWith(dlg, [&] {
    EXPECT_EQ(dlg.Caption(), "Сдвиги"_cp);
    ui::ListBox list = dlg.ListBoxItem(1004);
    ASSERT_EQ(list.GetCount(), 5);
    EXPECT_EQ(list.GetText(4), "4) 0.13");
    // Without a selected line a change of the edit field goes nowhere.
    dlg.SetItemText(1001, "9");
    EXPECT_EQ(list.GetText(0), "0) 1.");
    static_cast<QListWidget*>(dlg.Item(1004))->setCurrentRow(3);  // as a user's click
    EXPECT_EQ(dlg.ItemText(1001), "7.");
    dlg.SetItemText(1001, "2.999999");
    EXPECT_EQ(list.GetText(3), "3) 3.");
    dlg.SetItemText(1001, "abc");  // does not scan: the value stays
    EXPECT_EQ(list.GetText(3), "3) 3.");
    Snapshot(dlg, "edit_double.png");
    dlg.SendCommand(ui::IDOK);
  });
  EXPECT_EQ(values[3], 3.0);
  EXPECT_EQ(values[4], 0.13);  // as shown
  EXPECT_EQ(values[0], 1.0);

  // Cancel changes nothing.
  tester::KCDEditDouble again(values, 5, "x");
  RunWith(again, [&] {
    static_cast<QListWidget*>(again.Item(1004))->setCurrentRow(0);
    again.SetItemText(1001, "42");
    again.SendCommand(ui::IDCANCEL);
  });
  EXPECT_EQ(values[0], 1.0);
}

TEST(PassportsDialog, ListAndEditViewsAndCheckMarks) {
  ScratchRoots roots;
  fs::create_directories(roots.data() / "DVP");
  for (int n : {3, 5}) {
    DevicePassport p;
    p.deviceNumber = n;
    ParseDeviceId(n == 3 ? "0a1b2c3d4e53" : "0a1b2c3d4e55", p.deviceId);
    p.ok[17] = 0;
    p.slopes[1] = 1.5;
    ASSERT_EQ(WriteDvp("c:\\Tacmon\\DVP\\pasp" + std::to_string(n) + ".dvp", p), 0);
  }
  PassportRegistry registry;
  LoadPassports(registry);
  TimedMutex lock;
  tester::KCDPasports dlg(registry, &lock);
  const int code = RunWith(dlg, [&] {
    ui::ListView list = dlg.ListViewItem(1004);
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(1, 0), "5");
    EXPECT_EQ(list.GetItemText(1, 1), "0a1b2c3d4e55");
    EXPECT_EQ(list.GetItemText(1, 2), "XXXXXXXXXXXXXXXXX-X");
    EXPECT_EQ(list.GetItemData(1), 5);
    EXPECT_TRUE(list.GetCheck(0));
    EXPECT_TRUE(dlg.IsItemVisible(1004));
    EXPECT_FALSE(dlg.IsItemVisible(1003));
    Snapshot(dlg, "passports_list.png");

    list.SetSelected(1, true);
    dlg.SendCommand(1006);
    EXPECT_FALSE(dlg.IsItemVisible(1004));
    EXPECT_TRUE(dlg.IsItemVisible(1003));
    EXPECT_TRUE(dlg.IsItemVisible(1)) << "Выйти in both views";
    EXPECT_EQ(dlg.ItemText(1003), "5");
    EXPECT_EQ(dlg.ItemText(1001), "0a1b2c3d4e55");
    EXPECT_EQ(dlg.ItemText(1010), "1.");
    EXPECT_EQ(dlg.Editor().Slopes()[1], 1.5);
    Snapshot(dlg, "passports_edit.png");
    dlg.SendCommand(1008);
    EXPECT_TRUE(dlg.IsItemVisible(1004));

    // The check box of row 0 cleared as by a click, then "Выйти".
    static_cast<QTreeWidget*>(dlg.Item(1004))->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(list.GetCheck(0));
    dlg.SendCommand(ui::IDOK);
  });
  EXPECT_EQ(code, ui::IDOK);
  EXPECT_EQ(ReadBytes(roots.data() / "DVP" / "pasp3Add.bin"), std::string("\x7c\0\0\0\0\0\0\0", 8));
  EXPECT_FALSE(fs::exists(roots.data() / "DVP" / "pasp5Add.bin"));
  EXPECT_EQ(registry.passports[0].useForAutoconnect, 0);
}

TEST(PassportsDialog, CloseBoxStoresNoCheckMarks) {
  ScratchRoots roots;
  fs::create_directories(roots.data() / "DVP");
  DevicePassport p;
  p.deviceNumber = 3;
  ASSERT_EQ(WriteDvp("c:\\Tacmon\\DVP\\pasp3.dvp", p), 0);
  PassportRegistry registry;
  LoadPassports(registry);
  tester::KCDPasports dlg(registry, nullptr);
  RunWith(dlg, [&] {
    static_cast<QTreeWidget*>(dlg.Item(1004))->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    dlg.SendCommand(ui::IDCANCEL);
  });
  EXPECT_FALSE(fs::exists(roots.data() / "DVP" / "pasp3Add.bin"));
  EXPECT_EQ(registry.passports[0].useForAutoconnect, 1);
}

}  // namespace

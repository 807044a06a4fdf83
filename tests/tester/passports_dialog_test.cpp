// The passports dialog (159) and the doubles editor (160) on the offscreen platform: the list
// with its check marks, the two views, the values edited line by line, and pictures of both.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPainter>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "platform/paths.h"
#include "platform/sync.h"
#include "platform/ui/dialog.h"
#include "support/scratch_roots.h"
#include "tester/kcd_pasports.h"
#include "tester/protocol_print.h"
#include "tester/test_report.h"
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

// A graph-like picture: axes, a line and points.
QImage Graph() {
  QImage img(400, 300, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(30, 270, 390, 270);
  p.drawLine(30, 270, 30, 10);
  p.setPen(QPen(QColor(0, 0, 255), 3));
  p.drawLine(30, 270, 380, 30);
  p.setBrush(QColor(255, 0, 255));
  for (int k = 1; k < 6; ++k) p.drawEllipse(QPoint(30 + 70 * k, 270 - 48 * k), 4, 4);
  return img;
}

TEST(Protocols, GraphPicturesAsBmpAndPng) {
  ScratchRoots roots;
  const Text1251 folder = tester::MakeReportFolder(FrameTime::Now());
  ASSERT_TRUE(tester::SaveGraphPicture(folder, "sensor7", Graph()));
  const fs::path dir = winpath::Resolve(folder);
  const std::string bmp = ReadBytes(dir / "sensor7.bmp");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  QImage png(QString::fromStdString((dir / "sensor7.png").string()));
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.size(), QSize(400, 300));
  EXPECT_EQ(png.pixelColor(0, 0), QColor(Qt::white));
  // A folder that cannot be written is skipped (no crash, false).
  EXPECT_FALSE(tester::SaveGraphPicture("C:\\Tacmon\\no\\such", "pic", Graph()));
}

// Prints a page into a PDF file; renders it with pdftoppm (when present) beside the snapshots.
void PrintToPdf(const tester::ProtocolPage& page, const char* name) {
  const fs::path pdf = fs::path(TACMON_PASSPORTS_SNAPSHOTS) / (std::string(name) + ".pdf");
  fs::create_directories(pdf.parent_path());
  fs::remove(pdf);
  setenv("TACMON_PRINT_PDF", pdf.c_str(), 1);
  EXPECT_EQ(tester::PrintProtocolPage(nullptr, page, tester::kTestProtocolTexts), 1);
  unsetenv("TACMON_PRINT_PDF");
  const std::string bytes = ReadBytes(pdf);
  ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
  // One page.
  size_t pages = 0;
  for (size_t at = bytes.find("/Type /Page\n"); at != std::string::npos;
       at = bytes.find("/Type /Page\n", at + 1))
    ++pages;
  EXPECT_EQ(pages, 1u);
  const std::string cmd = "command -v pdftoppm >/dev/null && pdftoppm -r 60 -png -singlefile " +
                          pdf.string() + " " + (pdf.parent_path() / name).string();
  (void)std::system(cmd.c_str());
}

TEST(Protocols, OnePageProtocolPrintsToPdf) {
  tester::ProtocolPage page;
  page.docName = "Knee";
  page.title =
      "Протокол проверки чувствительности и отклонения крутизны характеристик \n"
      "датчиков давления между собой в Зонде D=20 мм."_cp;
  page.pictures = {Graph()};
  const tester::FitErrors e{1.5, 4.2, 0.75, 2.0};
  for (const auto& piece : {tester::ManometerHead(20, 1.25, 7), tester::ManometerAll(e, false)})
    for (const Text1251& line : piece.lines) page.lines.push_back(line);
  PrintToPdf(page, "protocol");
}

}  // namespace

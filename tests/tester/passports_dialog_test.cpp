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
#include "platform/ui/message_box.h"
#include "support/scratch_roots.h"
#include "tester/kcd_pasports.h"
#include "tester/protocol_print.h"
#include "tester/report_writer.h"
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

// A printer that cannot start the document: the box says so and the page counts as failed.
TEST(Protocols, APrinterThatCannotStartSaysSo) {
  ScratchRoots roots;
  setenv("TACMON_PRINT_PDF", (roots.base() / "no" / "such" / "p.pdf").c_str(), 1);
  tester::ProtocolPage page;
  page.docName = "Knee";
  page.lines = {"line"};
  uitest::AnswerNextBox(ui::IDOK);
  EXPECT_EQ(tester::PrintProtocolPage(nullptr, page, tester::kTestProtocolTexts), -1);
  unsetenv("TACMON_PRINT_PDF");
  const auto boxes = ui::MessageBoxHistory();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text, "Can't print(171114)");
  EXPECT_EQ(boxes.back().answer, ui::IDOK);
  EXPECT_FALSE(fs::exists(roots.base() / "no"));
}

// A manometer report whose printer dialog was cancelled: both logs, the 20 pictures, the lines.
TEST(Protocols, ManometerReportLeavesLogsAndPictures) {
  ScratchRoots roots;
  tester::TestReportInput in;
  in.mode = tester::TestMode::kManometer;
  in.start.day = 8;
  in.start.month = 3;
  in.start.year = 2026;
  in.start.hour = 9;
  in.start.minute = 5;
  in.start.second = 3;
  in.points = 21;
  in.coefficient = 1.25;
  in.deviceNumber = 7;
  std::vector<int> drawn;
  std::vector<Text1251> messages;
  size_t printedLines = 0;
  tester::TestReportHooks hooks;
  hooks.graph = [&](int sensor) {
    drawn.push_back(sensor);
    return tester::GraphResults{{1.5, 4.0 + sensor, 0.5, 2.0}, Graph()};
  };
  hooks.print = [&](const std::vector<Text1251>& lines) { printedLines = lines.size(); };
  hooks.message = [&](const Text1251& text) { messages.push_back(text); };
  const tester::TestReportResult r = tester::WriteTestReport(in, hooks);
  EXPECT_EQ(r.folder, "C:\\Tacmon\\Logs\\8-3-2026--9-5-3");
  EXPECT_EQ(drawn.size(), 40u);  // all sensors and 19 single ones, in both passes
  EXPECT_EQ(drawn[0], -1);
  EXPECT_EQ(drawn[19], 19);

  const fs::path dir = roots.data() / "Logs" / "8-3-2026--9-5-3";
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(dir)) pictures += e.path().extension() == ".bmp";
  EXPECT_EQ(pictures, 20);
  EXPECT_TRUE(fs::exists(dir / "total.png"));
  EXPECT_TRUE(fs::exists(dir / "sensor19.bmp"));

  const std::string common = Cp1251ToUtf8(ReadBytes(roots.data() / "Logs" / "log.txt"));
  const std::string own = Cp1251ToUtf8(ReadBytes(dir / "log.txt"));
  const std::string head =
      "--------------------------------------------------------------------------------\r\n"
      "Дата: 08.03.2026; Время: 9.05\r\n"
      "Результаты тестирования механорецептора с помощью манометра.\r\n";
  EXPECT_EQ(common.rfind(head, 0), 0u);
  EXPECT_EQ(own.rfind(head + "Использовано 21 измерение.\r\n", 0), 0u) << own;
  EXPECT_NE(common.find("Изображения скопированы в папку C:\\Tacmon\\Logs\\8-3-2026--9-5-3\r\n"),
            std::string::npos);
  auto count = [](const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(own, "Откл.силы на сен. #"), 19u);
  EXPECT_EQ(count(own, "по всем сенсорам"), 1u);
  EXPECT_NE(own.find("Откл.силы на сен. #19:  Ср.ошибка=1.5%,  Макс.ошибка= 23% от разброса"),
            std::string::npos);
  // The protocol was printed after the common log with its lines: date, 3 counts, 3 for all
  // sensors, 19 single ones.
  EXPECT_EQ(printedLines, 26u);
  EXPECT_EQ(r.lines.size(), 51u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Результаты измерения выведены:\n в конец файла C:\\Tacmon\\Logs\\log.txt\n"
            " в папку C:\\Tacmon\\Logs\\8-3-2026--9-5-3"_cp);

  // A second report in the same second: a folder of its own, the common log appended.
  const tester::TestReportResult again = tester::WriteTestReport(in, hooks);
  EXPECT_EQ(again.folder, "C:\\Tacmon\\Logs\\8-3-2026--9-5-3_2");
  EXPECT_EQ(count(Cp1251ToUtf8(ReadBytes(roots.data() / "Logs" / "log.txt")), head), 2u);
}

}  // namespace

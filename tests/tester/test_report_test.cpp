// The texts and folders of test reports: dated folders (two reports in one second apart), the
// header, the counted words and the lines of the three modes.
#include "tester/test_report.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_roots.h"

namespace {

namespace fs = std::filesystem;
using tester::FitErrors;
using tester::TestMode;

FrameTime At(int d, int m, int y, int hh, int mm, int ss) {
  FrameTime t;
  t.day = d;
  t.month = m;
  t.year = y;
  t.hour = hh;
  t.minute = mm;
  t.second = ss;
  return t;
}

TEST(TestReportTexts, FolderAndHeaderOfAReport) {
  const FrameTime t = At(8, 3, 2026, 9, 5, 3);
  EXPECT_EQ(tester::ReportFolderName(t), "C:\\Tacmon\\Logs\\8-3-2026--9-5-3");
  EXPECT_EQ(tester::ReportFolderName(t, "Tacmon2-"), "C:\\Tacmon\\Logs\\Tacmon2-8-3-2026--9-5-3");
  EXPECT_EQ(tester::ReportHeader(t, TestMode::kManometer),
            "--------------------------------------------------------------------------------\n"
            "Дата: 08.03.2026; Время: 9.05\n"
            "Результаты тестирования механорецептора с помощью манометра.\n"_cp);
}

TEST(TestReportTexts, CountedWords) {
  struct Case {
    TestMode mode;
    int n;
    const char* word;
  } cases[] = {
      {TestMode::kWeights, 21, "калибровочная гиря."},
      {TestMode::kWeights, 12, "калибровочных гирь."},
      {TestMode::kWeights, 3, "калибровочные гири."},
      {TestMode::kStandard, 1, "измерение."},
      {TestMode::kManometer, 24, "измерения."},
      {TestMode::kManometer, 111, "измерений."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Cp1251ToUtf8(tester::CountedWord(c.mode, c.n)), c.word) << c.n;
}

TEST(TestReportTexts, ModeLines) {
  const FitErrors e{1.5, 4.2, 0.75, 2.0};
  const auto weights = tester::WeightsLines("0a1b2c3d4e5f", 3, e);
  EXPECT_EQ(weights.file,
            "Используется прибор тестирования механорецептора с ID=0a1b2c3d4e5f\n"
            "Использовано 3 калибровочные гири.\n\n"
            "Отклонение от линейной зависимости: Ср.ошибка=1.5%,  Макс.ошибка=4.2% от разброса "
            "значений\n"
            "                     Чувствительность=2Н/емр\n"_cp);
  EXPECT_EQ(weights.lines.size(), 4u);
  EXPECT_EQ(weights.lines[3],
            "     Макс.ошибка=4.2% от разброса значений, Чувствительность=2Н/емр"_cp);

  // Pressures: the big scale has the axis in kPa, else in mm Hg.
  EXPECT_EQ(tester::PressureThreshold(0.75, true), "   0.75кПа (5.62556мм.рт.ст.)"_cp);
  EXPECT_EQ(tester::PressureThreshold(0.75, false), "  99.99Па (0.75мм.рт.ст.)"_cp);
  EXPECT_EQ(tester::PressureSensitivity(2.0, false), " 266.64Па/емр (2мм.рт.ст./емр)"_cp);

  EXPECT_EQ(tester::SensorLines(TestMode::kManometer, 7, e, false).file,
            "Откл.силы на сен. # 7:  Ср.ошибка=1.5%,  Макс.ошибка=4.2% от разброса значений, "
            "Порог чувств.=  99.99Па (0.75мм.рт.ст.), Чувств.= 266.64Па/емр "
            "(2мм.рт.ст./емр)\n"_cp);
  EXPECT_EQ(tester::SensorLines(TestMode::kStandard, 12, e, false).lines,
            std::vector<Text1251>{"#12:  Ср.ош.=1.5%,  Макс.ош=4.2%, Чувств.=2.000000Н/емр"_cp});
  EXPECT_EQ(tester::StandardAll(e, true).lines[2], "      Чувств.=2.000000Н/емр"_cp);
  const auto head = tester::StandardHead(5, 300, 7, 42, 24);
  EXPECT_EQ(head.lines.back(), "Использовано 24 измерения."_cp);
  EXPECT_NE(head.file.find("с ID=42\nИспользовано 24 измерения.\n\n"_cp), Text1251::npos);
  EXPECT_EQ(tester::ManometerHead(20, 1.25, 7).file,
            "Использовано 20 измерений.\nКоэффициент зависимости давления на механорецепторе от "
            "давления на манометре=1.25\nИспользуется механорецептор #7.\n\n"_cp);
}

TEST(TestReportFolders, TwoReportsInOneSecondGetFoldersOfTheirOwn) {
  ScratchRoots roots;
  const FrameTime t = At(8, 3, 2026, 9, 5, 3);
  EXPECT_EQ(tester::MakeReportFolder(t), "C:\\Tacmon\\Logs\\8-3-2026--9-5-3");
  EXPECT_EQ(tester::MakeReportFolder(t), "C:\\Tacmon\\Logs\\8-3-2026--9-5-3_2");
  EXPECT_EQ(tester::MakeReportFolder(t), "C:\\Tacmon\\Logs\\8-3-2026--9-5-3_3");
  EXPECT_TRUE(fs::is_directory(roots.data() / "Logs" / "8-3-2026--9-5-3_2"));

  // Both logs: the common one appended, the folder's written.
  for (int k = 0; k < 2; ++k) {
    tester::ReportLogs logs("C:\\Tacmon\\Logs\\8-3-2026--9-5-3");
    ASSERT_TRUE(logs.CommonOpen());
    ASSERT_TRUE(logs.FolderOpen());
    logs.Common().Puts("a\n");
    logs.Folder().Puts("b\n");
  }
  EXPECT_EQ(ReadBytes(roots.data() / "Logs" / "log.txt"), "a\r\na\r\n");
  EXPECT_EQ(ReadBytes(roots.data() / "Logs" / "8-3-2026--9-5-3" / "log.txt"), "b\r\n");
  tester::ReportLogs missing("C:\\Tacmon\\Logs\\no-such-folder");
  EXPECT_TRUE(missing.CommonOpen());
  EXPECT_FALSE(missing.FolderOpen());
}

}  // namespace

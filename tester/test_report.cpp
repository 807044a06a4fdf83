#include "tester/test_report.h"

#include <cstdarg>
#include <cstdio>

#include "app/kit/edit_int_logic.h"
#include "platform/paths.h"

namespace tester {

namespace {

Text1251 Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
Text1251 Format(const char* fmt, ...) {
  char buf[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// T or S with the value on the tester axis: (pascal, "к" or "", axis value).
struct Pressure {
  double pascal;
  const char* kilo;
  double axis;
};
Pressure Scaled(double v, bool bigScale) {
  return bigScale ? Pressure{v, "к"_cp, v / 0.13332} : Pressure{v * 133.32, "", v};
}

}  // namespace

Text1251 ReportFolderName(const FrameTime& t, std::string_view prefix) {
  return Format("C:\\Tacmon\\Logs\\%s%d-%d-%d--%d-%d-%d", Text1251(prefix).c_str(), t.day, t.month,
                t.year, t.hour, t.minute, t.second);
}

Text1251 MakeReportFolder(const FrameTime& t, std::string_view prefix) {
  const Text1251 base = ReportFolderName(t, prefix);
  fsw::MakeDirectories("C:\\Tacmon\\Logs");
  if (fsw::MakeDirectory(base)) return base;
  for (int k = 2; k < 100; ++k) {
    const Text1251 name = base + "_" + std::to_string(k);
    if (fsw::MakeDirectory(name)) return name;
  }
  return base;
}

const char* ModeTitle(TestMode mode) {
  switch (mode) {
    case TestMode::kWeights:
      return "Результаты работы с прибором тестирования механорецептора с помощью "
             "калибровочных гирь."_cp;
    case TestMode::kManometer:
      return "Результаты тестирования механорецептора с помощью манометра."_cp;
    case TestMode::kStandard:
      break;
  }
  return "Результаты тестирования механорецептора прибором тестирования механорецептора."_cp;
}

const char* CountedWord(TestMode mode, int n) {
  if (mode == TestMode::kWeights)
    return kit::PluralWord(n, "калибровочная гиря."_cp, "калибровочные гири."_cp,
                           "калибровочных гирь."_cp);
  return kit::PluralWord(n, "измерение."_cp, "измерения."_cp, "измерений."_cp);
}

Text1251 ReportDateLine(const FrameTime& t) {
  return Format("Дата: %.2d.%.2d.%.2d; Время: %d.%.2d"_cp, t.day, t.month, t.year, t.hour,
                t.minute);
}

Text1251 ReportHeader(const FrameTime& t, TestMode mode) {
  return "--------------------------------------------------------------------------------\n" +
         ReportDateLine(t) + "\n" + ModeTitle(mode) + "\n";
}

Text1251 PressureThreshold(double t, bool bigScale) {
  const Pressure p = Scaled(t, bigScale);
  return Format("%7.2lf%sПа (%lgмм.рт.ст.)"_cp, p.pascal, p.kilo, p.axis);
}

Text1251 PressureSensitivity(double s, bool bigScale) {
  const Pressure p = Scaled(s, bigScale);
  return Format("%7.2lf%sПа/емр (%lgмм.рт.ст./емр)"_cp, p.pascal, p.kilo, p.axis);
}

ReportPiece WeightsLines(std::string_view deviceId, int points, const FitErrors& e) {
  const Text1251 id(deviceId);
  const char* word = CountedWord(TestMode::kWeights, points);
  ReportPiece r;
  r.file =
      Format("Используется прибор тестирования механорецептора с ID=%s\nИспользовано %d %s\n\n"_cp,
             id.c_str(), points, word) +
      Format(
          "Отклонение от линейной зависимости: Ср.ошибка=%3.3lg%%,  Макс.ошибка=%3.3lg%% от "
          "разброса значений\n"_cp,
          e.mean, e.max) +
      Format("                     Чувствительность=%lgН/емр\n"_cp, e.sensitivity);
  r.lines = {Format("Используется прибор тестирования механорецептора с ID=%s"_cp, id.c_str()),
             Format("Использовано %d %s"_cp, points, word),
             Format("Отклонение от линейной зависимости: Ср.ошибка=%3.3lg%%,  "_cp, e.mean),
             Format("     Макс.ошибка=%3.3lg%% от разброса значений, Чувствительность=%lgН/емр"_cp,
                    e.max, e.sensitivity)};
  return r;
}

ReportPiece ManometerHead(int points, double coefficient, int deviceNumber) {
  const char* word = CountedWord(TestMode::kManometer, points);
  ReportPiece r;
  r.file = Format(
      "Использовано %d %s\nКоэффициент зависимости давления на механорецепторе от давления на "
      "манометре=%lg\nИспользуется механорецептор #%d.\n\n"_cp,
      points, word, coefficient, deviceNumber);
  r.lines = {Format("Использовано %d %s"_cp, points, word),
             Format("Коэффициент зависимости давления на механорецепторе от давления на "
                    "манометре=%lg"_cp,
                    coefficient),
             Format("Используется механорецептор #%d"_cp, deviceNumber)};
  return r;
}

ReportPiece ManometerAll(const FitErrors& e, bool bigScale) {
  ReportPiece r;
  r.file = Format(
      "Отклонение от линейной зависимости усредненного значения по всем сенсорам: "
      "Ср.ошибка=%3.3lg%%,  Макс.ошибка=%3.3lg%% от разброса значений, Порог чувств.=%s, "
      "Чувств.=%s\n"_cp,
      e.mean, e.max, PressureThreshold(e.threshold, bigScale).c_str(),
      PressureSensitivity(e.sensitivity, bigScale).c_str());
  r.lines = {Format("Отклонение от линейной зависимости усредненного значения по всем сенсорам: "
                    "Ср.ошибка=%3.3lg%%"_cp,
                    e.mean),
             Format("      Макс.ошибка=%3.3lg%% от разброса значений"_cp, e.max),
             "      Чувств.="_cp + PressureSensitivity(e.sensitivity, bigScale)};
  return r;
}

ReportPiece StandardHead(int nav, int stepMs, int deviceNumber, int testerId, int points) {
  const char* word = CountedWord(TestMode::kStandard, points);
  ReportPiece r;
  r.file = Format(
               "Параметры: к-во шагов осреднения=%d, время движения механорецептора=%dмсек на "
               "500мсек неподвижности\nИспользуется механорецептор #%d.\nИспользуется прибор "
               "тестирования механорецептора с ID=%d\n"_cp,
               nav, stepMs, deviceNumber, testerId) +
           Format("Использовано %d %s\n\n"_cp, points, word);
  r.lines = {Format("Параметры: к-во шагов осреднения=%d"_cp, nav),
             Format("                    время движения механорецептора=%dмсек на 500мсек "
                    "неподвижности"_cp,
                    stepMs),
             Format("Используется механорецептор #%d"_cp, deviceNumber),
             Format("Используется прибор тестирования механорецептора с ID=%d"_cp, testerId),
             Format("Использовано %d %s"_cp, points, word)};
  return r;
}

ReportPiece StandardAll(const FitErrors& e, bool bigScale) {
  ReportPiece r;
  r.file = Format(
      "Отклонение от линейной зависимости усредненного значения по всем сенсорам: "
      "Ср.ошибка=%3.3lg%%,  Макс.ошибка=%3.3lg%% от разброса значений, Порог чувств.=%s, "
      "Чувств.=%lfН/емр\n"_cp,
      e.mean, e.max, PressureThreshold(e.threshold, bigScale).c_str(), e.sensitivity);
  r.lines = {Format("Отклонение от линейной зависимости усредненного значения по всем сенсорам: "
                    "Ср.ошибка=%3.3lg%%"_cp,
                    e.mean),
             Format("      Макс.ошибка=%3.3lg%% от разброса значений"_cp, e.max),
             Format("      Чувств.=%lfН/емр"_cp, e.sensitivity)};
  return r;
}

ReportPiece SensorLines(TestMode mode, int sensor, const FitErrors& e, bool bigScale) {
  ReportPiece r;
  r.file = Format(
      "Откл.силы на сен. #%2d:  Ср.ошибка=%3.3lg%%,  Макс.ошибка=%3.3lg%% от разброса значений, "
      "Порог чувств.=%s, Чувств.=%s\n"_cp,
      sensor, e.mean, e.max, PressureThreshold(e.threshold, bigScale).c_str(),
      PressureSensitivity(e.sensitivity, bigScale).c_str());
  if (mode == TestMode::kStandard)
    r.lines = {Format("#%2d:  Ср.ош.=%3.3lg%%,  Макс.ош=%3.3lg%%, Чувств.=%lfН/емр"_cp, sensor,
                      e.mean, e.max, e.sensitivity)};
  else
    r.lines = {Format("#%2d:  Ср.ош.=%3.3lg%%,  Макс.ош=%3.3lg%%, Чувств.=%s"_cp, sensor, e.mean,
                      e.max, PressureSensitivity(e.sensitivity, bigScale).c_str())};
  return r;
}

ReportLogs::ReportLogs(std::string_view folder) {
  fsw::MakeDirectories("C:\\Tacmon\\Logs");
  common_.Open(kReportLog, "a");
  folder_.Open(Text1251(folder) + "\\log.txt", "w");
}

}  // namespace tester

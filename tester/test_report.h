// The texts and folders of test reports, without windows: the dated report folder (a second
// report within the same second gets a folder of its own), the header and the mode lines that
// go into the report logs and under the graph of the printed protocol, and the two log files
// ("C:\Tacmon\Logs\log.txt" appended, "log.txt" in the folder). The test-instrument dialog
// drives a report with these: it supplies the results and redraws the graph for the pictures.
// Qt-free.
#pragma once

#include <string_view>
#include <vector>

#include "acquisition/push.h"
#include "platform/cp1251.h"
#include "platform/file.h"

namespace tester {

inline constexpr const char* kReportLog = "C:\\Tacmon\\Logs\\log.txt";

enum class TestMode { kWeights, kManometer, kStandard };

// The report's dated folder "C:\Tacmon\Logs\<prefix>%d-%d-%d--%d-%d-%d" (day, month, year,
// hour, minute, second without leading zeros).
Text1251 ReportFolderName(const FrameTime& t, std::string_view prefix = "");
// Makes that folder; when it exists already (two reports in one second) the next free name
// with "_2", "_3", ... appended is made instead. The folder made, or the plain name when none
// could be made (its files then cannot be written).
Text1251 MakeReportFolder(const FrameTime& t, std::string_view prefix = "");

// "Результаты ..." of the mode.
const char* ModeTitle(TestMode mode);
// The counted word of n points: weights in the weights mode, measurements otherwise.
const char* CountedWord(TestMode mode, int n);
// The header written into each log: a dashed line, date and time, and the mode's title.
Text1251 ReportHeader(const FrameTime& t, TestMode mode);
// "Дата: %.2d.%.2d.%.2d; Время: %d.%.2d", the first text line of a report.
Text1251 ReportDateLine(const FrameTime& t);

// Pressure values in pascal with the value on the tester axis: "%7.2lf%sПа (%lgмм.рт.ст.)" for
// the threshold T and "%7.2lf%sПа/емр (%lgмм.рт.ст./емр)" for the sensitivity S. With the big
// scale the axis is in kPa, else in mm Hg.
Text1251 PressureThreshold(double t, bool bigScale);
Text1251 PressureSensitivity(double s, bool bigScale);

// A piece of a report: text for the log files and lines for the protocol.
struct ReportPiece {
  Text1251 file;
  std::vector<Text1251> lines;
};

// The lines of the modes, in the order they are written.
struct FitErrors {
  double mean = 0;  // % of the spread, rounded to one decimal by the caller
  double max = 0;
  double threshold = 0;    // T
  double sensitivity = 0;  // S
};
ReportPiece WeightsLines(std::string_view deviceId, int points, const FitErrors& e);
ReportPiece ManometerHead(int points, double coefficient, int deviceNumber);
ReportPiece ManometerAll(const FitErrors& e, bool bigScale);
ReportPiece StandardHead(int nav, int stepMs, int deviceNumber, int testerId, int points);
ReportPiece StandardAll(const FitErrors& e, bool bigScale);
// One sensor (1..19): the same file line in both modes, the protocol line by mode.
ReportPiece SensorLines(TestMode mode, int sensor, const FitErrors& e, bool bigScale);

// The two report files: "C:\Tacmon\Logs\log.txt" appended and "log.txt" in the folder, both in
// text mode. Write goes to both that are open.
class ReportLogs {
 public:
  explicit ReportLogs(std::string_view folder);
  bool CommonOpen() const { return common_.IsOpen(); }
  bool FolderOpen() const { return folder_.IsOpen(); }
  File& Common() { return common_; }
  File& Folder() { return folder_; }

 private:
  File common_;
  File folder_;
};

}  // namespace tester

#include "tester/report_writer.h"

#include <cstdio>

#include "tester/protocol_print.h"

namespace tester {

namespace {

constexpr size_t kMaxLines = 100;

void Add(std::vector<Text1251>& lines, const std::vector<Text1251>& more) {
  for (const Text1251& l : more)
    if (lines.size() < kMaxLines) lines.push_back(l);
}

// The mode's lines and pictures into one log file.
void WriteModeLines(const TestReportInput& in, const TestReportHooks& hooks, File& file,
                    const Text1251& folder, std::vector<Text1251>& lines) {
  auto put = [&](const ReportPiece& piece) {
    file.Puts(piece.file);
    Add(lines, piece.lines);
  };
  if (in.mode == TestMode::kWeights) {
    const GraphResults g = hooks.graph(0);
    put(WeightsLines(in.deviceId, in.points, g.errors));
    SaveGraphPicture(folder, "pic", g.picture);
    return;
  }
  const bool manometer = in.mode == TestMode::kManometer;
  put(manometer ? ManometerHead(in.points, in.coefficient, in.deviceNumber)
                : StandardHead(in.nav, in.stepMs, in.deviceNumber, in.testerId, in.points));
  const GraphResults all = hooks.graph(-1);
  SaveGraphPicture(folder, "total", all.picture);
  put(manometer ? ManometerAll(all.errors, in.bigScale) : StandardAll(all.errors, in.bigScale));
  for (int s = 1; s <= kSensorCount; ++s) {
    const GraphResults g = hooks.graph(s);
    put(SensorLines(in.mode, s, g.errors, in.bigScale));
    SaveGraphPicture(folder, "sensor" + std::to_string(s), g.picture);
  }
}

}  // namespace

TestReportResult WriteTestReport(const TestReportInput& in, const TestReportHooks& hooks) {
  TestReportResult r;
  r.folder = MakeReportFolder(in.start);
  ReportLogs logs(r.folder);
  for (int pass = 0; pass < 2; ++pass) {
    const bool common = pass == 0;
    File& file = common ? logs.Common() : logs.Folder();
    if (!file.IsOpen()) {
      hooks.message("Can't open log-file C:\\Tacmon\\Logs\\log.txt");
      continue;
    }
    file.Puts(ReportHeader(in.start, in.mode));
    if (common) {
      file.Puts("Изображения скопированы в папку "_cp + r.folder + "\n");
      Add(r.lines, {ReportDateLine(in.start)});
    }
    WriteModeLines(in, hooks, file, r.folder, r.lines);
    file.Close();
    if (common && hooks.print) hooks.print(r.lines);
  }
  if (hooks.finished) hooks.finished();
  hooks.message(
      "Результаты измерения выведены:\n в конец файла C:\\Tacmon\\Logs\\log.txt\n в папку "_cp +
      r.folder);
  return r;
}

}  // namespace tester

// The test report of the test-instrument dialog's "Log": the results appended to
// "C:\Tacmon\Logs\log.txt" and written to "log.txt" in a new dated folder together with the
// graph pictures (one for all sensors and one per sensor, or one in the weights mode), and the
// protocol printed after the common log. The dialog supplies its results and graph through
// callbacks, so this runs the report's steps without knowing the dialog. UI thread only.
#pragma once

#include <QImage>
#include <functional>
#include <vector>

#include "tester/test_report.h"

namespace tester {

struct TestReportInput {
  TestMode mode = TestMode::kStandard;
  FrameTime start;         // the report's start (local time)
  int points = 0;          // n
  Text1251 deviceId;       // weights mode: 12-digit id of the current passport
  int deviceNumber = 0;    // manometer and standard modes: deviceNumber of the current passport
  double coefficient = 0;  // manometer mode: the common manometer coefficient
  int nav = 0;             // standard mode: NAv
  int stepMs = 0;          // standard mode: dt_shift
  int testerId = 0;        // standard mode: ID of the current tester passport
  bool bigScale = false;   // "большая шкала"
};

struct GraphResults {
  FitErrors errors;  // of the graph as drawn (mean and max already rounded to one decimal)
  QImage picture;    // the graph area
};

struct TestReportHooks {
  // Redraws the graph for sensor s (0: as it is, weights mode; -1: all sensors; 1..19) and
  // returns its results and picture.
  std::function<GraphResults(int sensor)> graph;
  // Prints the protocol with the text lines so far (may be cancelled by the user).
  std::function<void(const std::vector<Text1251>& lines)> print;
  // Message boxes.
  std::function<void(const Text1251& text)> message;
  // Called once the logs are written, before the closing message (the dialog's state is
  // restored there). May be empty.
  std::function<void()> finished;
};

struct TestReportResult {
  Text1251 folder;
  std::vector<Text1251> lines;  // the text lines of both passes, at most 100
};

TestReportResult WriteTestReport(const TestReportInput& in, const TestReportHooks& hooks);

}  // namespace tester

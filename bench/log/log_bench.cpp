// Cost of one AddLogMessage with a short and with a full log file, side by side.
//  - Writer/...: the file part alone (append, line count, cut), what the log's file thread
//    pays per message.
//  - AddLogMessage/...: the whole call with the log threads running; the caller waits for its
//    lines to reach the file, so this includes the hand-over to the file thread.
// Short10: the file holds 10..110 lines (put back to 10 lines every 100 messages, outside the
// timing). Large9000: 9000..10000 lines (put back every 1000 messages), never cut.
// AtLimit10000: starts at 10000 lines; at that size every second message cuts the file to its
// newest 9999 lines, so the figure includes the cuts.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/log/log_file.h"
#include "app/log/message_log.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace {

const char* kPath = "c:\\Tacmon\\Logs\\LogFile2.log";

std::filesystem::path Root() {
  static std::filesystem::path root = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tacmon-bench-XXXXXX").string();
    std::filesystem::path dir = ::mkdtemp(tmpl.data());
    std::filesystem::create_directories(dir / "Logs");
    ::setenv("TACMON_ROOT", dir.c_str(), 1);
    winpath::ReloadRoots();
    return dir;
  }();
  return root;
}

std::string LogLines(int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += "MechReceptor: packet " + std::to_string(i) + " lost  [date=7.20;time=18.5.52]\r\n";
  return s;
}

void PutFile(const std::string& bytes) {
  std::ofstream(Root() / "Logs" / "LogFile2.log", std::ios::binary | std::ios::trunc) << bytes;
}

const std::string kMessage = "MechReceptor: packet 123456 lost  [date=7.20;time=18.5.52]\n";

void Writer(benchmark::State& state, int lines, int resetEvery) {
  Root();
  const std::string start = LogLines(lines);
  PutFile(start);
  msglog::LogFileWriter w;
  w.SetPath(kPath, true);
  int n = 0;
  for (auto _ : state) {
    if (resetEvery && n++ % resetEvery == 0) {
      state.PauseTiming();
      PutFile(start);
      w.LineCount();  // the writer learns the new file outside the timing
      state.ResumeTiming();
    }
    w.AppendLines(kMessage);
  }
  state.SetItemsProcessed(state.iterations());
}

void AddLog(benchmark::State& state, int lines, int resetEvery) {
  Root();
  const std::string start = LogLines(lines);
  PutFile(start);
  StartMessageLog(kPath);
  FlushMessageLog(1000);
  int n = 0;
  for (auto _ : state) {
    if (resetEvery && n++ % resetEvery == 0) {
      state.PauseTiming();
      FlushMessageLog(5000);
      PutFile(start);
      state.ResumeTiming();
    }
    AddLogMessage("MechReceptor: packet 123456 lost");
  }
  FlushMessageLog(10000);
  StopMessageLog();
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(Writer, Short10, 10, 100);
BENCHMARK_CAPTURE(Writer, Large9000, 9000, 1000);
BENCHMARK_CAPTURE(Writer, AtLimit10000, 10000, 0);
BENCHMARK_CAPTURE(AddLog, Short10, 10, 100)->UseRealTime();
BENCHMARK_CAPTURE(AddLog, Large9000, 9000, 1000)->UseRealTime();
BENCHMARK_CAPTURE(AddLog, AtLimit10000, 10000, 0)->UseRealTime();

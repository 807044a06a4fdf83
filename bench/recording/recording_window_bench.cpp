// The operation window over a long recording: tacprobe streams at the full 115200 baud line
// rate on a pseudo-terminal linked as COM3, the real tacmon (headless, driven by a script)
// connects, records one push for the run length and stops. Run length: $TACMON_BENCH_SECONDS
// (default 60). Counters:
//   images_per_s  frames of the stored push per second of recording (20 expected at 0.05 s)
//   dropped       frames missing between the first and the last of the push (index gaps)
//   cpu_pct       CPU time of the tacmon process over its whole run, percent of one core
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/device_passport.h"
#include "acquisition/push_file.h"
#include "bench/bench_process.h"
#include "bench/tacmon_run.h"
#include "platform/paths.h"
#include "sim/probe_sim.h"

namespace {

namespace fs = std::filesystem;

struct Latency {
  double p50 = 0, p99 = 0, max = 0, samples = 0, lost = 0;
};

// Pairs each marked packet with the first painted frame that holds a mark (its third extra
// word is not 0) at or after the packet's time, unless a later mark was written before that
// paint: then the mark's frame was never painted (lost). Marks before the first paint of the
// live view (connection, zero phase) are not counted.
Latency MatchMarks(const std::vector<double>& marks, const fs::path& trace) {
  std::vector<double> painted;
  double firstPaint = -1;
  std::ifstream in(trace);
  double t;
  long index, e0, e1, e2, e3;
  while (in >> t >> index >> e0 >> e1 >> e2 >> e3) {
    if (firstPaint < 0) firstPaint = t;
    if (e2 != 0) painted.push_back(t);
  }
  std::vector<double> ms;
  Latency out;
  size_t p = 0;
  for (size_t k = 0; k < marks.size(); ++k) {
    const double m = marks[k];
    if (firstPaint < 0 || m < firstPaint) continue;
    while (p < painted.size() && painted[p] < m) ++p;
    const bool later = k + 1 < marks.size() && p < painted.size() && marks[k + 1] <= painted[p];
    if (p < painted.size() && !later) {
      ms.push_back((painted[p] - m) * 1000.0);
      ++p;
    } else if (p < painted.size()) {
      ++out.lost;
    }
  }
  if (ms.empty()) return out;
  std::sort(ms.begin(), ms.end());
  out.p50 = ms[ms.size() / 2];
  out.p99 = ms[static_cast<size_t>(0.99 * (ms.size() - 1))];
  out.max = ms.back();
  out.samples = static_cast<double>(ms.size());
  return out;
}

void BM_RecordingWindow(benchmark::State& state) {
  const int seconds = bench::RunSeconds();
  for (auto _ : state) {
    const fs::path dir = bench::ScratchRoots();
    const fs::path root = dir / "root";
    bench::WriteProbe5Settings(root, "d set_use_MechDisplay\r\n0\r\n");
    bench::InstallProbe5Passport(root);
    bench::UseOnePushScript(dir / "run.tacmon", seconds);

    sim::ProbeOptions o;
    o.com = 3;
    o.direct = true;
    o.format = 1;
    o.markerEvery = 47;  // a marked packet about four times a second
    sim::ProbeSim probe(o);
    std::mutex markLock;  // guards marks
    std::vector<double> marks;
    probe.onMarker = [&](double t) {
      std::lock_guard l(markLock);
      marks.push_back(t);
    };
    std::string error;
    if (!probe.Start(&error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::atomic<bool> stopProbe{false};
    std::thread probeThread([&] { probe.Run(stopProbe); });
    const fs::path trace = dir / "paint.trace";
    setenv("TACMON_PAINT_TRACE", trace.c_str(), 1);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t tacmon = bench::Spawn({TACMON_EXE}, dir / "tacmon.txt");
    int status = 0;
    rusage usage{};
    wait4(tacmon, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    stopProbe = true;
    probeThread.join();
    state.counters["probe_dropped"] = static_cast<double>(probe.PacketsDropped());

    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    Push push;
    int frames = 0, dropped = 0;
    for (const auto& op : fs::directory_iterator(root / "OPERATIONS"))
      for (const auto& f : fs::directory_iterator(op.path()))
        if (f.path().extension() == ".psh" && ReadPushFile(push, f.path().string()) == 0) {
          frames = push.FrameCount();
          for (size_t i = 1; i < push.frames.size(); ++i)
            dropped += std::max(0, push.frames[i].index - push.frames[i - 1].index - 1);
        }
    // The zero phase takes the first second after the start.
    state.counters["images_per_s"] = frames / static_cast<double>(seconds);
    state.counters["dropped"] = dropped;
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    const Latency l = MatchMarks(marks, trace);
    state.counters["latency_ms_p50"] = l.p50;
    state.counters["latency_ms_p99"] = l.p99;
    state.counters["latency_ms_max"] = l.max;
    state.counters["latency_samples"] = l.samples;
    state.counters["lost_marks"] = l.lost;
    fs::remove_all(dir);
  }
}
BENCHMARK(BM_RecordingWindow)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

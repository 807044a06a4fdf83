// The link over a long run at the full 115200 baud line rate: the simulated probe runs in this
// process on a real pseudo-terminal, the reading thread reads it, and the benchmark thread plays
// the operation window (ticks the averaging timer, takes the images from the ring).
// Run length: $TACMON_BENCH_SECONDS (default 60). Counters:
//   images_per_s   images taken per second (display period 0.05 s: 20 expected)
//   dropped        images the ring dropped because the window was late
//   packets_per_s  packets read per second
//   read_cpu_pct   CPU time of the reading thread, percent of one core
//   latency_ms_*   from the simulator's write of a marked packet to its image leaving the ring
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "acquisition/link/com_read_thread.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "sim/probe_sim.h"

namespace {

std::set<int> Threads() {
  std::set<int> out;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') out.insert(std::atoi(e->d_name));
    }
    closedir(d);
  }
  return out;
}

// User and system CPU seconds of one thread of this process.
double ThreadCpuSeconds(int tid) {
  std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t close = s.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(s.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void QuietLog(const char*) {}

void BM_LinkAtLineRate(benchmark::State& state) {
  const char* env = std::getenv("TACMON_BENCH_SECONDS");
  const double seconds = env ? std::atof(env) : 60.0;
  const int format = static_cast<int>(state.range(0));
  char tmpl[] = "/tmp/tacmon-bench-XXXXXX";
  std::filesystem::path base = mkdtemp(tmpl);
  setenv("TACMON_ROOT", (base / "Tacmon").c_str(), 1);
  setenv("TACMON_PORTS", (base / "ports").c_str(), 1);
  winpath::ReloadRoots();
  LogSink old = SetLogSink(&QuietLog);

  for (auto _ : state) {
    sim::ProbeOptions o;
    o.com = 5;
    o.format = format;
    o.direct = true;
    o.markerEvery = 47;  // a marked packet about four times a second
    sim::ProbeSim probe(o);
    std::mutex markLock;  // guards marks
    std::deque<double> marks;
    probe.onMarker = [&](double t) {
      std::lock_guard l(markLock);
      marks.push_back(t);
    };
    std::string err;
    if (!probe.Start(&err)) {
      state.SkipWithError(err.c_str());
      break;
    }
    std::atomic<bool> stopProbe{false};
    std::thread simThread([&] { probe.Run(stopProbe); });

    SimpleLinkHost host;
    LinkSettings s;
    s.autoconnect = 0;
    s.comPort = 5;
    s.device = 1;
    host.SetSettings(s);
    SetReceptorDataFormat(format);
    DevicePassport p;
    p.deviceNumber = 1;
    host.Passports().passports.push_back(p);
    auto window = std::make_shared<MessageQueueTarget>();
    WindowHandle wh = RegisterWindow(window);
    LinkOwner owner;
    owner.window = wh;
    CCOMReadThread link(host, owner);
    std::set<int> before = Threads();
    link.Start();
    int readerTid = 0;
    for (int i = 0; i < 100 && !readerTid; ++i) {
      for (int t : Threads())
        if (!before.count(t)) readerTid = t;
      if (!readerTid) SleepMs(1);
    }
    link.PostThreadMessage(kLinkMsgConnectRead);

    const int markerWord = format == 2 ? 30 : 25;
    std::vector<double> latencies;
    uint64_t images = 0, lostMarks = 0;
    double t0 = -1, cpu0 = 0, deadline = MonotonicSeconds() + 20;
    uint64_t packets0 = 0;
    while (true) {
      double now = MonotonicSeconds();
      if (t0 < 0 && now > deadline) {
        state.SkipWithError("no connection");
        break;
      }
      if (t0 >= 0 && now - t0 >= seconds) break;
      int next = link.TickTimers();
      ThreadMessage m;
      if (!window->queue.Get(m, std::clamp(next < 0 ? 5 : next, 1, 5))) continue;
      if (m.message == kLinkMsgConnected && t0 < 0) {
        // Measure from the start of reading, past the connection and detection.
        SleepMs(200);
        t0 = MonotonicSeconds();
        cpu0 = ThreadCpuSeconds(readerTid);
        packets0 = link.PacketsRead();
        PacketImage drop;
        int32_t di;
        while (link.TakeImage(drop, di)) {
        }
        link.Ring().drops = 0;
        std::lock_guard l(markLock);
        marks.clear();
        continue;
      }
      if (m.message != kLinkMsgNewImage || t0 < 0) continue;
      PacketImage img;
      int32_t index;
      while (link.TakeImage(img, index)) {
        double taken = MonotonicSeconds();
        ++images;
        if (img.words[markerWord] == 0) continue;
        std::lock_guard l(markLock);
        // Marks older than two periods belong to images that were dropped.
        while (!marks.empty() && marks.front() < taken - 0.1 - s.displayPeriod * 2) {
          marks.pop_front();
          ++lostMarks;
        }
        if (!marks.empty() && marks.front() <= taken) {
          latencies.push_back((taken - marks.front()) * 1000.0);
          marks.pop_front();
        }
      }
    }
    double elapsed = MonotonicSeconds() - t0;
    double cpu = ThreadCpuSeconds(readerTid) - cpu0;
    uint64_t packets = link.PacketsRead() - packets0;
    uint64_t dropped = link.Ring().drops;
    link.Quit();
    UnregisterWindow(wh);
    stopProbe = true;
    simThread.join();
    if (t0 < 0) break;

    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double q) {
      return latencies.empty() ? 0.0 : latencies[static_cast<size_t>(q * (latencies.size() - 1))];
    };
    state.counters["seconds"] = elapsed;
    state.counters["images_per_s"] = images / elapsed;
    state.counters["dropped"] = static_cast<double>(dropped);
    state.counters["packets_per_s"] = packets / elapsed;
    state.counters["read_cpu_pct"] = 100.0 * cpu / elapsed;
    state.counters["latency_ms_p50"] = pct(0.5);
    state.counters["latency_ms_p99"] = pct(0.99);
    state.counters["latency_ms_max"] = pct(1.0);
    state.counters["latency_samples"] = static_cast<double>(latencies.size());
    state.counters["lost_marks"] = static_cast<double>(lostMarks);
  }
  SetLogSink(old);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
}

BENCHMARK(BM_LinkAtLineRate)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

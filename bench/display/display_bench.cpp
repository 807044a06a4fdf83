// The tactile display relay. Run length: $TACMON_BENCH_SECONDS (default 60).
//
// BM_Relay/<frames per second>: the display thread against tacdisplay paced at 38400 baud on
// a pseudo-terminal; a feeder hands over frames as the renderer does. Counters:
//   relayed_per_s  frames sent to the display per second (the line carries about 17)
//   replaced       frames replaced by a newer one before they were sent (newest-first rule)
//   busy           frames dropped because the hand-over lock was taken
//   forward_max_us the longest hand-over call
//
// BM_RecordingWindow/<mode>: the real tacmon records one push from tacprobe at full line rate,
// mode 0 without a display, 1 with tacdisplay paced at 38400 baud, 2 with tacdisplay killed
// half-way. Counters: images_per_s and dropped of the stored push, the recording view's paints
// (max_paint_ms, over_50ms) and its latency from frames taken to their paint (mean, max), the
// frames relayed per second (from the display's command log) and cpu_pct of tacmon.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/device_passport.h"
#include "acquisition/push_file.h"
#include "bench/bench_process.h"
#include "bench/tacmon_run.h"
#include "display/com_write_thread.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace {

namespace fs = std::filesystem;

void Stop(pid_t pid, int sig = SIGTERM) {
  if (pid <= 0) return;
  kill(pid, sig);
  int status = 0;
  waitpid(pid, &status, 0);
}

bool WaitForLink(const fs::path& link) {
  for (int i = 0; i < 250 && !fs::is_symlink(fs::symlink_status(link)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return fs::is_symlink(fs::symlink_status(link));
}

// Frames relayed per second by a tacdisplay command log ("12.345 k19=..."): lines for display
// sensor 19 between the first and the last of them.
double RelayRate(const fs::path& log) {
  std::ifstream in(log);
  std::string line;
  uint64_t n = 0;
  double first = -1, last = -1;
  while (std::getline(in, line)) {
    if (line.find(" k19=") == std::string::npos) continue;
    const double t = std::atof(line.c_str());
    if (first < 0) first = t;
    last = t;
    ++n;
  }
  return n > 1 && last > first ? (n - 1) / (last - first) : 0;
}

void Quiet(const char*) {}

void BM_Relay(benchmark::State& state) {
  SetLogSink(&Quiet);  // the search's messages are not the figures
  const int rate = static_cast<int>(state.range(0));
  const int seconds = bench::RunSeconds();
  for (auto _ : state) {
    const fs::path dir = bench::ScratchRoots();
    const pid_t sim = bench::Spawn({TACDISPLAY_EXE, "--com", "4", "--quiet"}, dir / "display.txt");
    WaitForLink(dir / "ports" / "COM4");
    display::SimpleDisplayHost host;
    display::CCOMWriteThread thread(host);
    thread.Start();
    thread.RequestOpen();
    const double until = MonotonicSeconds() + 10;
    while (!thread.Connected() && MonotonicSeconds() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::array<bool, 19> visible;
    visible.fill(true);
    std::array<int, kSensorCount> indices{};
    double forwardMax = 0;
    const double t0 = MonotonicSeconds();
    const double period = 1.0 / rate;
    for (int f = 0; MonotonicSeconds() - t0 < seconds; ++f) {
      indices.fill(f % 256);
      const double a = MonotonicSeconds();
      thread.Forward(indices, visible);
      forwardMax = std::max(forwardMax, MonotonicSeconds() - a);
      const double next = t0 + (f + 1) * period;
      const double wait = next - MonotonicSeconds();
      if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
    const display::RelayCounters c = thread.Counters();
    thread.RequestQuit();
    thread.Join(10000);
    Stop(sim);
    state.counters["relayed_per_s"] = c.sent / static_cast<double>(seconds);
    state.counters["forwarded_per_s"] = c.forwarded / static_cast<double>(seconds);
    state.counters["replaced"] = static_cast<double>(c.replaced);
    state.counters["busy"] = static_cast<double>(c.busy);
    state.counters["forward_max_us"] = forwardMax * 1e6;
    fs::remove_all(dir);
  }
}
BENCHMARK(BM_Relay)->Arg(20)->Arg(200)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

#ifdef TACMON_EXE
std::map<std::string, double> ReadStats(const fs::path& file) {
  std::map<std::string, double> out;
  std::ifstream in(file);
  std::string key;
  double value = 0;
  while (in >> key >> value) out[key] = value;
  return out;
}

void BM_RecordingWindow(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const int seconds = bench::RunSeconds();
  for (auto _ : state) {
    const fs::path dir = bench::ScratchRoots();
    const fs::path root = dir / "root";
    bench::WriteProbe5Settings(root, std::string("d set_use_MechDisplay\r\n") + (mode ? "1" : "0") +
                                         "\r\nd set_disp_autoconnect\r\n1\r\n"
                                         "d NumCOMPortDisp\r\n4\r\n");
    // The display's port first, so the search does not try the probe's.
    std::ofstream(root / "pars" / "CMechDisplay_Com.par", std::ios::binary)
        << "d iComLast\r\n4\r\n";
    bench::InstallProbe5Passport(root);
    bench::UseOnePushScript(dir / "run.tacmon", seconds);
    setenv("TACMON_PAINT_STATS", (dir / "paint.txt").c_str(), 1);

    const pid_t probe = bench::Spawn(
        {TACPROBE_EXE, "--com", "3", "--direct", "--format", "1", "--quiet"}, dir / "probe.txt");
    WaitForLink(dir / "ports" / "COM3");
    pid_t sim = -1;
    if (mode) {
      sim = bench::Spawn(
          {TACDISPLAY_EXE, "--com", "4", "--quiet", "--log", (dir / "display.log").string()},
          dir / "display.txt");
      WaitForLink(dir / "ports" / "COM4");
    }
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t tacmon = bench::Spawn({TACMON_EXE}, dir / "tacmon.txt");
    if (mode == 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(3300 + seconds * 500));
      Stop(sim, SIGKILL);
      sim = -1;
    }
    int status = 0;
    rusage usage{};
    wait4(tacmon, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Stop(probe);
    Stop(sim);

    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    Push push;
    int frames = 0, dropped = 0;
    if (fs::exists(root / "OPERATIONS"))
      for (const auto& op : fs::directory_iterator(root / "OPERATIONS"))
        for (const auto& f : fs::directory_iterator(op.path()))
          if (f.path().extension() == ".psh" && ReadPushFile(push, f.path().string()) == 0) {
            frames = push.FrameCount();
            for (size_t i = 1; i < push.frames.size(); ++i)
              dropped += std::max(0, push.frames[i].index - push.frames[i - 1].index - 1);
          }
    std::map<std::string, double> paint = ReadStats(dir / "paint.txt");
    state.counters["images_per_s"] = frames / static_cast<double>(seconds);
    state.counters["dropped"] = dropped;
    state.counters["max_paint_ms"] = paint["max_paint_ms"];
    state.counters["over_50ms"] = paint["over_50ms"];
    state.counters["mean_latency_ms"] = paint["mean_latency_ms"];
    state.counters["max_latency_ms"] = paint["max_latency_ms"];
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    if (mode) {
      state.counters["relayed_per_s"] = RelayRate(dir / "display.log");
    }
    fs::remove_all(dir);
  }
}
BENCHMARK(BM_RecordingWindow)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
#endif

}  // namespace

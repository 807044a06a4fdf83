// The test-instrument link against the simulated instrument, which runs in this process on a
// real local socket (usbcan's simulator backend), and against SocketCAN on a virtual interface
// when the kernel has one ($USBCAN_TEST_VCAN, default vcan0; skipped otherwise).
//   BM_AdapterWrites/sim, /socketcan   messages written per second (items_per_second); every
//                                      write through the simulator waits for its answer
//   BM_FrameToSample                   from the instrument sending a frame 10 to the test
//                                      dialog's 10 ms acquisition tick that takes it as a new
//                                      sample (every second frame 10 is published):
//                                      delivery_us_* (frame to published words) and
//                                      sample_ms_* (frame to the tick)
#include <benchmark/benchmark.h>
#include <net/if.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sim/instrument_sim.h"
#include "tester/tdodezori_tester.h"
#include "usbcan.h"

namespace {

namespace fs = std::filesystem;

struct SimInstrument {
  SimInstrument() {
    dir = fs::temp_directory_path() / ("tacmon-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    sim::InstrumentOptions o;
    o.socket = (dir / "usbcan.sock").string();
    instrument = std::make_unique<sim::InstrumentSim>(o);
    std::string error;
    ok = instrument->Start(&error);
    ::setenv("USBCAN_SIM", o.socket.c_str(), 1);
  }
  void Run() {
    thread = std::thread([this] { instrument->Run(stop); });
  }
  ~SimInstrument() {
    stop = true;
    if (thread.joinable()) thread.join();
    instrument.reset();
    ::unsetenv("USBCAN_SIM");
    fs::remove_all(dir);
  }
  fs::path dir;
  std::unique_ptr<sim::InstrumentSim> instrument;
  std::atomic<bool> stop{false};
  std::thread thread;
  bool ok = false;
};

void Ignore(tUcanHandle h, uint8_t) {
  tCanMsgStruct m;
  UcanReadCanMsg(h, &m);
}

void Writes(benchmark::State& state, bool socketCan) {
  std::unique_ptr<SimInstrument> sim;
  if (socketCan) {
    const char* name = std::getenv("USBCAN_TEST_VCAN");
    const std::string ifname = name && *name ? name : "vcan0";
    if (::if_nametoindex(ifname.c_str()) == 0) {
      state.SkipWithError(("no virtual CAN interface " + ifname + " here").c_str());
      return;
    }
    ::unsetenv("USBCAN_SIM");
    ::setenv("USBCAN_SOCKETCAN", ifname.c_str(), 1);
  } else {
    sim = std::make_unique<SimInstrument>();
    if (!sim->ok) {
      state.SkipWithError("the simulated instrument did not start");
      return;
    }
    sim->Run();
  }
  tUcanHandle h = 0;
  if (UcanInitHardware(&h, USBCAN_ANY_MODULE, Ignore) != 0 ||
      UcanInitCan(h, 0, 0x1C, 0xFFFFFFFF, 0) != 0) {
    state.SkipWithError("the adapter did not open");
    return;
  }
  tCanMsgStruct m{};
  m.m_dwID = 2;
  m.m_bDLC = 8;
  m.m_bData[2] = 20;
  int64_t failed = 0;
  for (auto _ : state)
    if (UcanWriteCanMsg(h, &m) != USBCAN_SUCCESSFUL) ++failed;
  state.SetItemsProcessed(state.iterations());
  state.counters["failed"] = static_cast<double>(failed);
  UcanDeinitHardware(h);
  ::unsetenv("USBCAN_SOCKETCAN");
}

void BM_AdapterWrites(benchmark::State& state) { Writes(state, state.range(0) == 1); }
BENCHMARK(BM_AdapterWrites)->Arg(0)->Arg(1)->ArgName("socketcan")->UseRealTime();

// Frame times: the simulator's send time of the latest frame 10, and of the latest published.
std::atomic<double> g_sent{0};
std::atomic<double> g_publishedSent{0};
std::atomic<double> g_publishedAt{0};

void Receive(tUcanHandle h, uint8_t event) {
  const uint64_t before = tester::PublishCount();
  tester::TesterReceive(h, event);
  if (tester::PublishCount() != before) {
    g_publishedSent = g_sent.load();
    g_publishedAt = MonotonicSeconds();
  }
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

void BM_FrameToSample(benchmark::State& state) {
  SimInstrument sim;
  if (!sim.ok) {
    state.SkipWithError("the simulated instrument did not start");
    return;
  }
  sim.instrument->onFrame10 = [](double when) { g_sent = when; };
  sim.Run();
  tester::TDodezoriTester adapter(&Receive);
  if (!adapter.Open().empty()) {
    state.SkipWithError("the adapter did not open");
    return;
  }
  std::vector<double> delivery, sample;
  uint64_t seen = tester::PublishCount();
  double tick = MonotonicSeconds();
  for (auto _ : state) {
    // One acquisition tick of the dialog every 10 ms; a tick that finds new words takes them.
    tick += 0.010;
    const double wait = tick - MonotonicSeconds();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    const uint64_t now = tester::PublishCount();
    if (now == seen) continue;
    seen = now;
    const double sent = g_publishedSent.load();
    if (sent <= 0) continue;
    delivery.push_back((g_publishedAt.load() - sent) * 1e6);
    sample.push_back((MonotonicSeconds() - sent) * 1e3);
  }
  state.counters["samples"] = static_cast<double>(sample.size());
  state.counters["delivery_us_p50"] = Percentile(delivery, 0.5);
  state.counters["delivery_us_p99"] = Percentile(delivery, 0.99);
  state.counters["sample_ms_p50"] = Percentile(sample, 0.5);
  state.counters["sample_ms_p99"] = Percentile(sample, 0.99);
  state.counters["sample_ms_max"] = Percentile(sample, 1.0);
}
BENCHMARK(BM_FrameToSample)->Iterations(1000)->UseRealTime();

}  // namespace

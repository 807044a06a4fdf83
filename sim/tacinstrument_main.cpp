// tacinstrument: the simulated test instrument as a program (see sim/instrument_sim.h, --help).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "sim/instrument_sim.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }
}  // namespace

int main(int argc, char** argv) {
  sim::InstrumentOptions o;
  double seconds = -1;
  bool help = false;
  std::string error;
  if (!sim::ParseInstrumentArgs(argc, argv, &o, &seconds, &help, &error)) {
    std::fprintf(stderr, "tacinstrument: %s\n%s", error.c_str(), sim::InstrumentUsage());
    return 2;
  }
  if (help) {
    std::fputs(sim::InstrumentUsage(), stdout);
    return 0;
  }
  bool quiet = false;
  for (int i = 1; i < argc; ++i) quiet |= std::strcmp(argv[i], "--quiet") == 0;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  sim::InstrumentSim instrument(o);
  const double start = MonotonicSeconds();
  if (!quiet) {
    instrument.onEvent = [start](const std::string& e) {
      std::printf("tacinstrument: %9.3f %s\n", MonotonicSeconds() - start, e.c_str());
      std::fflush(stdout);
    };
  }
  if (!instrument.Start(&error)) {
    std::fprintf(stderr, "tacinstrument: %s\n", error.c_str());
    return 1;
  }
  std::printf("tacinstrument: %s ready, serial %u\n", o.socket.c_str(), o.serial);
  std::fflush(stdout);
  instrument.Run(g_stop, seconds);
  std::printf("tacinstrument: stopped, %llu writes\n",
              static_cast<unsigned long long>(instrument.Writes()));
  return 0;
}

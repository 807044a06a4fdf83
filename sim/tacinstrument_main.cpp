// tacinstrument: the simulated test instrument as a program (see sim/instrument_sim.h, --help).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "sim/instrument_sim.h"
#include "sim/sim_program.h"

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
  const bool quiet = sim::HasSwitch(argc, argv, "--quiet");
  std::atomic<bool>& stop = sim::InstallStopSignals();

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
  instrument.Run(stop, seconds);
  std::printf("tacinstrument: stopped, %llu writes\n",
              static_cast<unsigned long long>(instrument.Writes()));
  return 0;
}

// tacprobe: the simulated probe as a program (see sim/probe_sim.h and --help).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/probe_sim.h"
#include "sim/sim_program.h"

int main(int argc, char** argv) {
  sim::ProbeOptions o;
  double seconds = -1;
  bool help = false;
  std::string error;
  if (!sim::ParseProbeArgs(argc, argv, &o, &seconds, &help, &error)) {
    std::fprintf(stderr, "tacprobe: %s\n%s", error.c_str(), sim::ProbeUsage());
    return 2;
  }
  if (help) {
    std::fputs(sim::ProbeUsage(), stdout);
    return 0;
  }
  const bool quiet = sim::HasSwitch(argc, argv, "--quiet");

  std::atomic<bool>& stop = sim::InstallStopSignals();

  sim::ProbeSim probe(o);
  if (!quiet) {
    probe.onEvent = [](const std::string& e) {
      std::printf("tacprobe: %s\n", e.c_str());
      std::fflush(stdout);
    };
  }
  if (!probe.Start(&error)) {
    std::fprintf(stderr, "tacprobe: %s\n", error.c_str());
    return 1;
  }
  std::printf("tacprobe: COM%d ready, format %d, id %s, %s, %.1f packets/s\n", o.com, o.format,
              o.id.c_str(), o.direct ? "direct" : "adapter", probe.PacketsPerSecond());
  if (probe.PowerButton())
    std::printf("tacprobe: power button by the script, %.1f s a pass%s\n", o.script.Length(),
                o.pushes > 0 ? (", " + std::to_string(o.pushes) + " passes").c_str() : "");
  if (o.secondCom) std::printf("tacprobe: second probe on COM%d ready\n", o.secondCom);
  std::fflush(stdout);
  probe.Run(stop, seconds);
  std::printf("tacprobe: stopped, %llu packets written, %llu dropped\n",
              static_cast<unsigned long long>(probe.PacketsWritten()),
              static_cast<unsigned long long>(probe.PacketsDropped()));
  return 0;
}

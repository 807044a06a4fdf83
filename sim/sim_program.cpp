#include "sim/sim_program.h"

#include <csignal>
#include <cstring>

namespace sim {

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }
}  // namespace

std::atomic<bool>& InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return g_stop;
}

bool HasSwitch(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return true;
  return false;
}

}  // namespace sim

#include "sim/sim_program.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
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

const char* OptionValue::Text(const char* what) {
  if (i_ + 1 >= argc_) {
    *error_ = option_ + " needs " + what;
    return nullptr;
  }
  return argv_[++i_];
}

bool OptionValue::Number(double* out) {
  const char* v = Text("a number");
  if (!v) return false;
  char* end = nullptr;
  *out = std::strtod(v, &end);
  if (*end || end == v) {
    *error_ = option_ + ": not a number: " + v;
    return false;
  }
  return true;
}

bool OptionValue::Integer(int* out, int lo, int hi) {
  double d = 0;
  if (!Number(&d)) return false;
  if (d != std::floor(d) || d < lo || d > hi) {
    *error_ = option_ + ": out of range";
    return false;
  }
  *out = static_cast<int>(d);
  return true;
}

}  // namespace sim

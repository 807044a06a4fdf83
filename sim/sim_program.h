// What the simulator programs (tacprobe, tacdisplay, tacinstrument) share around their main.
#pragma once

#include <atomic>

namespace sim {

// The stop flag of the program: set by SIGTERM, SIGINT and SIGHUP; SIGPIPE is ignored so a
// peer that goes away is a failed write, not the end of the simulator. Installed once.
std::atomic<bool>& InstallStopSignals();

// True when the switch (e.g. "--quiet") is among the arguments.
bool HasSwitch(int argc, char** argv, const char* name);

}  // namespace sim

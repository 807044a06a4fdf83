// The optional window of tacdisplay: the 19 levels as bars, the on/off state and the commands
// counted, refreshed 20 times a second while the simulator runs on its own thread. Qt.
#pragma once

#include <atomic>

#include "sim/display_sim.h"

namespace sim {

// Runs the window until it is closed or stop is set; closing it sets stop. Returns the event
// loop's status.
int RunDisplayWindow(int argc, char** argv, DisplaySim& display, std::atomic<bool>& stop);

}  // namespace sim

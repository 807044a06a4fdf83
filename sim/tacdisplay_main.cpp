// tacdisplay: the simulated tactile display as a program (see sim/display_sim.h and --help).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/display_sim.h"
#include "sim/sim_program.h"
#ifdef TACDISPLAY_WINDOW
#include <thread>

#include "sim/display_window.h"
#endif

int main(int argc, char** argv) {
  sim::DisplayOptions o;
  double seconds = -1;
  bool help = false, window = false;
  std::string logFile, error;
  if (!sim::ParseDisplayArgs(argc, argv, &o, &seconds, &help, &logFile, &window, &error)) {
    std::fprintf(stderr, "tacdisplay: %s\n%s", error.c_str(), sim::DisplayUsage());
    return 2;
  }
  if (help) {
    std::fputs(sim::DisplayUsage(), stdout);
    return 0;
  }
#ifndef TACDISPLAY_WINDOW
  if (window) std::fputs("tacdisplay: this build has no window; levels are logged\n", stderr);
  window = false;
#endif
  const bool quiet = sim::HasSwitch(argc, argv, "--quiet");

  std::atomic<bool>& stop = sim::InstallStopSignals();

  std::FILE* log = nullptr;
  if (logFile == "-") {
    log = stdout;
  } else if (!logFile.empty() && !(log = std::fopen(logFile.c_str(), "w"))) {
    std::fprintf(stderr, "tacdisplay: cannot write %s\n", logFile.c_str());
    return 1;
  }
  sim::DisplaySim display(o);
  if (log) {
    display.onCommand = [log](double t, const std::string& line) {
      std::fprintf(log, "%.3f %s\n", t, line.c_str());
      std::fflush(log);
    };
  }
  display.onEvent = [quiet](const std::string& e) {
    if (quiet && e != "ready") return;
    std::printf("tacdisplay: %s\n", e.c_str());
    std::fflush(stdout);
  };
  if (o.startDelay <= 0) {
    if (!display.Start(&error)) {
      std::fprintf(stderr, "tacdisplay: %s\n", error.c_str());
      return 1;
    }
    std::printf("tacdisplay: COM%d ready, %s\n", o.com,
                o.pacing ? "paced at 38400 baud" : "without pacing");
    std::fflush(stdout);
  }
#ifdef TACDISPLAY_WINDOW
  if (window) {
    std::thread run([&] {
      display.Run(stop, seconds);
      stop = true;
    });
    sim::RunDisplayWindow(argc, argv, display, stop);
    stop = true;
    run.join();
  } else {
    display.Run(stop, seconds);
  }
#else
  display.Run(stop, seconds);
#endif
  std::printf("tacdisplay: stopped, %llu commands, %llu level lines\n",
              static_cast<unsigned long long>(display.Commands()),
              static_cast<unsigned long long>(display.FrameLines()));
  if (log && log != stdout) std::fclose(log);
  return 0;
}

// What the simulator programs (tacprobe, tacdisplay, tacinstrument) share around their main.
#pragma once

#include <atomic>
#include <string>

namespace sim {

// The stop flag of the program: set by SIGTERM, SIGINT and SIGHUP; SIGPIPE is ignored so a
// peer that goes away is a failed write, not the end of the simulator. Installed once.
std::atomic<bool>& InstallStopSignals();

// True when the switch (e.g. "--quiet") is among the arguments.
bool HasSwitch(int argc, char** argv, const char* name);

// The value after the option argv[i] of a command line, read by the simulators' option parsers.
// Each read advances i past the value; a missing or bad value sets error ("--x needs a
// number", "--x: not a number: v", "--x: out of range") and answers false or null.
class OptionValue {
 public:
  OptionValue(int argc, char** argv, int& i, std::string* error)
      : argc_(argc), argv_(argv), i_(i), error_(error), option_(argv[i]) {}
  // The value as text; what names it in the error ("a number", "a list", ...).
  const char* Text(const char* what);
  bool Number(double* out);
  // A whole number within lo..hi.
  bool Integer(int* out, int lo, int hi);

 private:
  int argc_;
  char** argv_;
  int& i_;
  std::string* error_;
  std::string option_;
};

}  // namespace sim

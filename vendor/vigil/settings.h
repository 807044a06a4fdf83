// Where the library finds its files and what the thresholds file holds. The thresholds file
// "vigil.txt" in the data root is plain text, one "name value" a line, "#" starting a comment;
// a missing file is written with the defaults, so there is one to edit.
#pragma once

#include <string>
#include <vector>

#include "vendor/vigil/detector.h"

namespace vigil {

struct Settings {
  Thresholds thresholds;
  int callbackThread = 0;  // 1: callbacks come from the library's own thread
  int logLevel = 1;        // 0 nothing, 1 problems, 2 also pushes and decisions
  int callLog = 0;         // 1: every call is written to "vigil_calls.log" in the data root
};

// A folder given as the caller names it ("c:\Tacmon\", "c:\TacmonData\..." in any case, with
// "\" or "/") or as a host path, as a host path ending in "/". The two roots map to
// $TACMON_ROOT and $TACMON_DATA (default ~/Tacmon and ~/TacmonData).
std::string HostFolder(const char* path);

// Reads the file; each line it cannot use is described in problems and leaves its default.
// created: the file was missing and has been written with the defaults.
Settings ReadSettings(const std::string& file, std::vector<std::string>* problems, bool* created);
std::string FormatSettings(const Settings& s);

}  // namespace vigil

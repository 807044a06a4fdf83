// Start of tacmon: the process-wide start values, the command line (CMyCommandLineInfo) and
// the directory bootstrap (PrepareDataDirectories). Qt-free, so core parts may read the flags.
#pragma once

#include <functional>
#include <string_view>

#include "platform/cp1251.h"

// Name printed twice in the usage message.
inline constexpr const char* kCallName = "MechTacmon";

// Values set during start and read by other parts; the flags never change after parsing.
struct StartValues {
  bool usageShown = false;
  bool extendedMainWindow = false;  // switch p
  bool extendedTestWindow = false;  // switch t
  bool testerMessages = false;      // switch k
  Text1251 logFilePath;             // data root + "Logs\LogFile2.log", set by the bootstrap
};
StartValues& TheStartValues();

// The usage text with the call name filled in.
Text1251 UsageText();

// Parses switches the way the framework hands them over: an argument beginning with "/" or "-"
// loses that character and goes to ParseParam; other arguments are ignored. showUsage is
// called once per help switch.
class CMyCommandLineInfo {
 public:
  explicit CMyCommandLineInfo(StartValues& values, std::function<void()> showUsage)
      : values_(values), showUsage_(std::move(showUsage)) {}
  void ParseParam(std::string_view param, bool isFlag, bool last);
  void ParseCommandLine(int argc, const char* const* argv);

 private:
  StartValues& values_;
  std::function<void()> showUsage_;
};

// Creates the database root and its four database folders (first step of the hub's start).
void CreateDatabaseFolders();
// Creates the data tree under both roots (errors, such as an existing folder, are ignored).
void CreateDataTree();
// Writes the six default enumeration files when "ENUMS\ORGAN\organs.txt" is missing.
// Returns how many files were written.
int WriteDefaultEnumerations();
// The whole bootstrap: tree, enumerations, log file path, message log start. Returns 1.
int PrepareDataDirectories();

// Subcommands of tacpush. A cmd_*.cpp file registers its command with a static registrar:
//   static CommandRegistrar reg{"info", "info FILE", "kind, version, frames ...", RunInfo};
// main.cpp dispatches argv[1] to it with the remaining arguments (converted to CP1251).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

using CommandArgs = std::vector<Text1251>;
using CommandFn = int (*)(const CommandArgs& args);

struct TacpushCommand {
  const char* name;
  const char* usage;    // "info FILE"
  const char* summary;  // one line
  CommandFn run;
};

std::vector<TacpushCommand>& TacpushCommands();

struct CommandRegistrar {
  CommandRegistrar(const char* name, const char* usage, const char* summary, CommandFn run);
};

// Helpers shared by the subcommands.
namespace tacpush {
// Prints "tacpush: FILE: what (code N)" to standard error; returns the exit status 1.
int Fail(std::string_view file, std::string_view what, int code);
// Prints "tacpush: what" and the usage of the command; returns the exit status 2.
int UsageError(const char* command, std::string_view what);
// UTF-8 for the console.
std::string Console(std::string_view cp1251Text);
// True when name ends with ext (".txt"), without regard to case.
bool HasExtension(std::string_view name, std::string_view ext);
}  // namespace tacpush

#include "acquisition/push_file.h"

namespace tacpush {
// A push loaded from a push file (passport-variant reader) or from a TXT/TRF log.
struct LoadedPush {
  Push push;
  bool isLog = false;
  bool trf = false;
  PushFileInfo info;
};
// Loads file; on failure prints the message (file, what, code) and returns the exit status.
// Returns 0 on success.
int LoadForTool(std::string_view file, LoadedPush& out);
// "2024-05-06T07:08:09.100", or empty when the date is not set.
std::string IsoTime(const FrameTime& t);
}  // namespace tacpush

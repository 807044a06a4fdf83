#include "tools/tacpush/command_registry.h"

#include <cstdio>

std::vector<TacpushCommand>& TacpushCommands() {
  static std::vector<TacpushCommand> commands;
  return commands;
}

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, const char* summary,
                                   CommandFn run) {
  TacpushCommands().push_back({name, usage, summary, run});
}

namespace tacpush {

std::string Console(std::string_view text) { return Cp1251ToUtf8(text); }

int Fail(std::string_view file, std::string_view what, int code) {
  std::fprintf(stderr, "tacpush: %s: %s (code %d)\n", Console(file).c_str(),
               std::string(what).c_str(), code);
  return 1;
}

int UsageError(const char* command, std::string_view what) {
  std::fprintf(stderr, "tacpush: %s\n", std::string(what).c_str());
  for (const auto& c : TacpushCommands())
    if (std::string_view(c.name) == command) std::fprintf(stderr, "usage: tacpush %s\n", c.usage);
  return 2;
}

bool HasExtension(std::string_view name, std::string_view ext) {
  return name.size() >= ext.size() && Cp1251EqualNoCase(name.substr(name.size() - ext.size()), ext);
}

}  // namespace tacpush

namespace tacpush {

int LoadForTool(std::string_view file, LoadedPush& out) {
  out.isLog = HasExtension(file, ".txt") || HasExtension(file, ".trf");
  out.trf = HasExtension(file, ".trf");
  if (out.isLog) {
    int rc = ImportLog(out.push, file, kSensorUnknown);
    if (rc == -1) return Fail(file, "cannot open the log", rc);
    if (rc != 0) return Fail(file, "not a TXT or TRF log", rc);
    return 0;
  }
  int rc = ReadPushFile(out.push, file, &out.info);
  switch (rc) {
    case 0:
      return 0;
    case -1:
      return Fail(file, "cannot open the file", rc);
    case -2: {
      char what[96];
      std::snprintf(what, sizeof what, "not a push file: version %d is outside 1001..1006",
                    out.info.version);
      return Fail(file, what, rc);
    }
    case -3:
      return Fail(file,
                  out.info.passportBlock && out.info.frameCount == 0
                      ? "no complete frame record (or a truncated passport block)"
                      : "no complete frame record",
                  rc);
    default:
      return Fail(file, "unreadable push file", rc);
  }
}

std::string IsoTime(const FrameTime& t) {
  if (t.year <= 0 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour < 0 ? 0 : t.hour, t.minute < 0 ? 0 : t.minute, t.second < 0 ? 0 : t.second,
                t.millisecond < 0 ? 0 : t.millisecond);
  return buf;
}

}  // namespace tacpush

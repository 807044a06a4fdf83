// tacpush csv FILE [--display [--format N]]: one line per frame with its raw values, or with the
// display values 0..255 through the push's passport. The passport block carries no wire format,
// so the display uses format 0 (the workstation's default) unless --format names another.
#include <cstdio>

#include "tools/tacpush/command_registry.h"

namespace {

int RunCsv(const CommandArgs& args) {
  const Text1251* file = nullptr;
  bool display = false;
  int format = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const auto& a = args[i];
    if (a == "--display") {
      display = true;
    } else if (a == "--format") {
      if (i + 1 >= args.size() || std::sscanf(args[i + 1].c_str(), "%d", &format) != 1)
        return tacpush::UsageError("csv", "--format needs 0, 1 or 2");
      ++i;
    } else if (!a.empty() && a[0] == '-')
      return tacpush::UsageError("csv", "unknown option " + tacpush::Console(a));
    else if (!file)
      file = &a;
    else
      return tacpush::UsageError("csv", "csv takes one file");
  }
  if (!file) return tacpush::UsageError("csv", "csv needs a file");
  tacpush::LoadedPush loaded;
  if (int rc = tacpush::LoadForTool(*file, loaded)) return rc;
  const Push& p = loaded.push;
  std::string out = "index,capture_time,label";
  for (int s = 1; s <= kSensorCount; ++s) out += ",s" + std::to_string(s);
  out += "\n";
  std::fputs(out.c_str(), stdout);
  for (size_t i = 0; i < p.frames.size(); ++i) {
    const auto& f = p.frames[i];
    out = std::to_string(i) + "," + tacpush::IsoTime(f.captureTime) + "," +
          (f.HasLabel() ? "1" : "0");
    for (int s = 0; s < kSensorCount; ++s) {
      int v =
          display
              ? static_cast<int>(DisplayValueWith(p.passport, s, f.values[s], format, 1.0) + 0.5)
              : f.values[s];
      out += "," + std::to_string(v);
    }
    out += "\n";
    std::fputs(out.c_str(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : tacpush::Fail("<stdout>", "write failed", -1);
}

CommandRegistrar reg{"csv", "csv FILE [--display [--format N]]",
                     "frames as CSV: index, capture time, label, s1..s19", RunCsv};

}  // namespace

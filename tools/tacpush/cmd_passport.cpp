// tacpush passport FILE.dvp [--write OUT.dvp]: a passport as the registry reads it.
// tacpush passport --new FILE.dvp --device N --id HEX12 [--format F] [--autoconnect]: writes a
// passport with default normalization (and its "Add.bin" companion) for a probe, e.g. the
// simulated one, then shows it as above.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/file.h"
#include "platform/paths.h"
#include "tools/tacpush/command_registry.h"

namespace {

int RunPassport(const CommandArgs& args) {
  const Text1251* file = nullptr;
  const Text1251* writeTo = nullptr;
  bool create = false;
  DevicePassport fresh;
  bool haveDevice = false, haveId = false;
  auto number = [&](size_t& i, int lo, int hi, int* out) {
    if (i + 1 >= args.size()) return false;
    char* end = nullptr;
    long v = std::strtol(args[++i].c_str(), &end, 10);
    if (*end || end == args[i].c_str() || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--write") {
      if (i + 1 >= args.size()) return tacpush::UsageError("passport", "--write needs a file");
      writeTo = &args[++i];
    } else if (args[i] == "--new") {
      create = true;
    } else if (args[i] == "--device") {
      if (!number(i, 0, 1000000, &fresh.deviceNumber))
        return tacpush::UsageError("passport", "--device needs a number");
      haveDevice = true;
    } else if (args[i] == "--id") {
      if (i + 1 >= args.size() || !ParseDeviceId(args[++i], fresh.deviceId))
        return tacpush::UsageError("passport", "--id needs 12 hex digits");
      haveId = true;
    } else if (args[i] == "--format") {
      if (!number(i, 0, 2, &fresh.format))
        return tacpush::UsageError("passport", "--format needs 0, 1 or 2");
    } else if (args[i] == "--autoconnect") {
      fresh.useForAutoconnect = 1;
    } else if (!args[i].empty() && args[i][0] == '-') {
      return tacpush::UsageError("passport", "unknown option " + tacpush::Console(args[i]));
    } else if (!file) {
      file = &args[i];
    } else {
      return tacpush::UsageError("passport", "passport takes one file");
    }
  }
  if (!file) return tacpush::UsageError("passport", "passport needs a DVP file");
  if (create) {
    if (!haveDevice || !haveId)
      return tacpush::UsageError("passport", "--new needs --device and --id");
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (localtime_r(&now, &tm)) {
      fresh.day = tm.tm_mday;
      fresh.month = tm.tm_mon + 1;
      fresh.year = tm.tm_year + 1900;
    }
    Text1251 folder = winpath::FolderPart(*file);
    if (!folder.empty()) fsw::MakeDirectories(folder);
    if (WriteDvp(*file, fresh) != 0 || WriteAutoconnectFile(fresh, *file) != 0)
      return tacpush::Fail(*file, "cannot write the passport", -1);
  }
  DevicePassport p;
  if (int rc = ReadDvp(p, *file); rc != 0)
    return tacpush::Fail(*file, "cannot open the passport", rc);
  Text1251 add = CompanionName(*file, "Add.bin");
  bool hasAdd = fsw::FileExists(add);
  if (hasAdd) {
    File f(add, "rb");
    if (int rc = ReadAutoconnectFile(&f, p); rc != 0)
      return tacpush::Fail(add, "unreadable autoconnect companion", rc);
  }
  std::printf("file: %s\n", tacpush::Console(*file).c_str());
  std::printf("device number: %d\n", p.deviceNumber);
  std::printf("device id: %s\n", DeviceIdText(p).c_str());
  std::printf("date: %02d.%02d.%04d\n", p.day, p.month, p.year);
  std::printf("wire format: %d\n", p.format);
  std::printf("channels: %d\n", p.numChannels);
  std::printf("ok: %s\n", OkFlagsText(p).c_str());
  std::printf("autoconnect: %d%s\n", p.useForAutoconnect, hasAdd ? "" : " (no Add.bin)");
  std::printf("--- as written back ---\n%s", tacpush::Console(FormatDvp(p)).c_str());
  if (writeTo) {
    if (int rc = WriteDvp(*writeTo, p); rc != 0)
      return tacpush::Fail(*writeTo, "cannot write the passport", rc);
  }
  return 0;
}

CommandRegistrar reg{"passport",
                     "passport FILE.dvp [--write OUT.dvp] | passport --new FILE.dvp --device N "
                     "--id HEX12 [--format F] [--autoconnect]",
                     "a DVP passport as the registry reads it", RunPassport};

}  // namespace

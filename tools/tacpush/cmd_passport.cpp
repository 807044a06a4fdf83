// tacpush passport FILE.dvp [--write OUT.dvp]: a passport as the registry reads it.
#include <cstdio>

#include "platform/file.h"
#include "platform/paths.h"
#include "tools/tacpush/command_registry.h"

namespace {

int RunPassport(const CommandArgs& args) {
  const Text1251* file = nullptr;
  const Text1251* writeTo = nullptr;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--write") {
      if (i + 1 >= args.size()) return tacpush::UsageError("passport", "--write needs a file");
      writeTo = &args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return tacpush::UsageError("passport", "unknown option " + tacpush::Console(args[i]));
    } else if (!file) {
      file = &args[i];
    } else {
      return tacpush::UsageError("passport", "passport takes one file");
    }
  }
  if (!file) return tacpush::UsageError("passport", "passport needs a DVP file");
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

CommandRegistrar reg{"passport", "passport FILE.dvp [--write OUT.dvp]",
                     "a DVP passport as the registry reads it", RunPassport};

}  // namespace

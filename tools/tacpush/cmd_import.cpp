// tacpush import LOG OUT.psh [--wireless|--mobile]: a TXT/TRF log as a push file.
#include <cstdio>

#include "tools/tacpush/command_registry.h"

namespace {

int RunImport(const CommandArgs& args) {
  std::vector<const Text1251*> files;
  SensorType type = kSensorUnknown;
  for (const auto& a : args) {
    if (a == "--wireless")
      type = kSensorWireless;
    else if (a == "--mobile")
      type = kSensorMobile;
    else if (!a.empty() && a[0] == '-')
      return tacpush::UsageError("import", "unknown option " + tacpush::Console(a));
    else
      files.push_back(&a);
  }
  if (files.size() != 2) return tacpush::UsageError("import", "import needs LOG and OUT.psh");
  const Text1251& log = *files[0];
  const Text1251& out = *files[1];
  Push p = CreatePush();
  int rc = ImportLog(p, log, type);
  if (rc == -1) return tacpush::Fail(log, "cannot open the log", rc);
  if (rc == -2) return tacpush::Fail(log, "not a .txt or .trf log", rc);
  if (rc != 0) return tacpush::Fail(log, "cannot import the log", rc);
  // A push file without a frame record is refused by every reader (-3): do not write one.
  if (p.FrameCount() == 0) return tacpush::Fail(log, "the log holds no complete frame", -3);
  rc = WritePushFile(p, out);
  if (rc != 0) return tacpush::Fail(out, "cannot write the push file", rc);
  std::printf("%s: %d frames, %s, written to %s\n", tacpush::Console(log).c_str(), p.FrameCount(),
              tacpush::Console(SensorTypeText(p.sensorType)).c_str(),
              tacpush::Console(out).c_str());
  return 0;
}

CommandRegistrar reg{"import", "import LOG OUT.psh [--wireless|--mobile]",
                     "TXT/TRF log to a push file with passport block", RunImport};

}  // namespace

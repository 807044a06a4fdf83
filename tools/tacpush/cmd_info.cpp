// tacpush info FILE: what a push file or log holds.
#include <cstdio>

#include "tools/tacpush/command_registry.h"

namespace {

int RunInfo(const CommandArgs& args) {
  if (args.size() != 1) return tacpush::UsageError("info", "info takes one file");
  const Text1251& file = args[0];
  tacpush::LoadedPush loaded;
  if (int rc = tacpush::LoadForTool(file, loaded)) return rc;
  const Push& p = loaded.push;
  std::printf("file: %s\n", tacpush::Console(file).c_str());
  if (loaded.isLog) {
    std::printf("kind: %s log\n", loaded.trf ? "TRF" : "TXT");
    std::printf("sensor type: %d (%s)\n", p.sensorType,
                tacpush::Console(SensorTypeText(p.sensorType)).c_str());
  } else {
    std::printf("kind: push file\n");
    std::printf("version: %d\n", loaded.info.version);
    std::printf("variant: %s\n",
                loaded.info.passportBlock ? "with passport block" : "without passport block");
    if (loaded.info.passportBlock)
      std::printf("passport block version: %d\n", loaded.info.blockVersion);
    if (loaded.info.trailingBytes)
      std::printf("ignored tail: %lld bytes\n", static_cast<long long>(loaded.info.trailingBytes));
  }
  std::printf("frames: %d\n", p.FrameCount());
  std::printf("labels: %d\n", p.LabelCount());
  if (!p.frames.empty()) {
    std::string first = tacpush::IsoTime(p.frames.front().captureTime);
    std::string last = tacpush::IsoTime(p.frames.back().captureTime);
    std::printf("first capture: %s\n", first.empty() ? "-" : first.c_str());
    std::printf("last capture: %s\n", last.empty() ? "-" : last.c_str());
  }
  if (p.hasPassport) {
    std::printf("passport number: %d\n", p.passport.deviceNumber);
    std::printf("device id: %s\n", DeviceIdText(p.passport).c_str());
  } else {
    std::printf("passport: none\n");
  }
  return 0;
}

CommandRegistrar reg{"info", "info FILE", "kind, version, variant, frames, labels, times, passport",
                     RunInfo};

}  // namespace

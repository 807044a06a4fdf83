// Push files of both variants: the first byte picks the reader, the rest is the file. A file
// that reads writes back and reads again to the same frames.
#include <cstdint>
#include <cstdlib>

#include "acquisition/push_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool passportVariant = data[0] & 1;
  Push p;
  PushFileInfo info;
  int rc = ParsePushFile(p, data + 1, size - 1, passportVariant, &info);
  if (rc != 0) {
    if (p.FrameCount() != 0) std::abort();
    return 0;
  }
  if (info.frameCount != p.FrameCount() || p.FrameCount() == 0) std::abort();
  ComputePushStatistics(p, kAllVisible);
  auto bytes = EncodePushFile(p, passportVariant && p.hasPassport);
  Push q;
  if (ParsePushFile(q, bytes.data(), bytes.size(), passportVariant) != 0) std::abort();
  if (q.FrameCount() != p.FrameCount()) std::abort();
  for (int i = 0; i < p.FrameCount(); ++i)
    if (q.frames[i].values != p.frames[i].values || q.frames[i].flags != p.frames[i].flags)
      std::abort();
  return 0;
}

// Passport block: decode any bytes; a decoded block re-encodes to a block that decodes equal.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "acquisition/device_passport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DevicePassport p;
  int used = DecodePassportBlock(data, size, p);
  if (used < 0) return 0;
  if (static_cast<size_t>(used) > size) std::abort();
  auto block = EncodePassportBlock(p);
  DevicePassport q;
  if (DecodePassportBlock(block.data(), block.size(), q) != kPassportBlockSize) std::abort();
  if (EncodePassportBlock(q) != block) std::abort();
  FormatDvp(p);  // any numChannels
  for (int i = 0; i < 19; ++i) {
    double v = DisplayValueWith(p, i, 123, 0, 1.0);
    if (!(v >= 0 && v <= 255)) std::abort();
    ApplyZeroPoint(p, i, 5.0, 1);
    if (!std::isfinite(p.shifts[i]) && std::isfinite(q.shifts[i])) std::abort();
  }
  return 0;
}

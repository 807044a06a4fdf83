// DVP passport text: parse, write back, parse again; the second parse must agree on the fields
// that the text carries.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "acquisition/device_passport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DevicePassport p;
  ParseDvpText(p, std::string_view(reinterpret_cast<const char*>(data), size));
  std::string text = FormatDvp(p);
  DevicePassport q;
  ParseDvpText(q, text);
  if (q.deviceNumber != p.deviceNumber || q.numChannels != p.numChannels || q.format != p.format ||
      DeviceIdText(q) != DeviceIdText(p))
    std::abort();
  for (int i = 0; i < UsedChannels(p); ++i) {
    if ((q.ok[i] & 1) != (p.ok[i] & 1)) std::abort();
    double v = DisplayValueWith(p, i, 1000.0 * i - 30000, p.format, 1.0);
    if (!(v >= 0 && v <= 255)) std::abort();
  }
  return 0;
}

// TXT logs: never more frames than lines, values as the mapping gives them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "acquisition/push_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (SensorType type : {kSensorWireless, kSensorMobile}) {
    Push p;
    ImportLogBytes(p, text, /*trf=*/false, type);
    size_t lines = std::count(text.begin(), text.end(), '\n') + 1;
    if (static_cast<size_t>(p.FrameCount()) > lines) std::abort();
    if (p.sensorType != type) std::abort();
  }
  return 0;
}

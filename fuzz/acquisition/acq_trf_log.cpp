// TRF logs: one frame per complete 62-byte record, values within 16 bits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "acquisition/push_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (SensorType type : {kSensorWireless, kSensorMobile}) {
    Push p;
    ImportLogBytes(p, bytes, /*trf=*/true, type);
    if (static_cast<size_t>(p.FrameCount()) != size / kTrfRecordSize) std::abort();
    for (const auto& f : p.frames)
      for (int v : f.values)
        if (v < 0 || v > 65535) std::abort();
  }
  return 0;
}

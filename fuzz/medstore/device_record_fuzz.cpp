// Fuzz target: the device record file parser.
#include "record_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return medstore_fuzz::FuzzRecord<device_item>(data, size);
}

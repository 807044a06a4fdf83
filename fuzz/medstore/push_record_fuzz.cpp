// Fuzz target: the push record file parser.
#include "record_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return medstore_fuzz::FuzzRecord<push_item>(data, size);
}

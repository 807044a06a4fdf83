// "Logs\logplace.bin": any bytes give a corner 0..4; a corner read back from a written file is
// the corner written.
#include <cstdint>
#include <cstdlib>

#include "app/log/log_format.h"
#include "fuzz/log/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzScratchFile file("logplace.bin");
  file.Write(data, size);
  const int corner = msglog::ReadLogPlace(file.Path());
  if (corner < 0 || corner > 4) std::abort();
  if (corner != 0) {
    if (msglog::WriteLogPlace(file.Path(), corner) != 0) std::abort();
    if (msglog::ReadLogPlace(file.Path()) != corner) std::abort();
  }
  return 0;
}

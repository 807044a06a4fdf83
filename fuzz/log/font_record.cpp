// "pars\DefaultLogFont.bin": up to 60 bytes land in the record, the rest keeps its contents, the
// face name is always terminated; a record written and read again is the same 60 bytes.
#include "app/kit/font_record.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/log/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzScratchFile file("DefaultLogFont.bin");
  file.Write(data, size);
  kit::FontRecord rec;
  std::memset(static_cast<void*>(&rec), 0x5a, sizeof rec);
  const int n = kit::ReadFontRecord(file.Path(), rec);
  const size_t expected = size < sizeof rec ? size : sizeof rec;
  if (n != static_cast<int>(expected)) std::abort();
  const auto* raw = reinterpret_cast<const uint8_t*>(&rec);
  const size_t last = sizeof rec - 1;  // the face name's terminator
  for (size_t i = 0; i < last; ++i)
    if (raw[i] != (i < expected ? data[i] : 0x5a)) std::abort();
  if (raw[last] != 0) std::abort();
  if (kit::FaceName(rec).size() >= sizeof rec.faceName) std::abort();

  if (kit::WriteFontRecord(file.Path(), rec) != 0) std::abort();
  kit::FontRecord again{};
  if (kit::ReadFontRecord(file.Path(), again) != static_cast<int>(sizeof rec)) std::abort();
  if (std::memcmp(&again, &rec, sizeof rec) != 0) std::abort();
  return 0;
}

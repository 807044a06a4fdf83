// The binary passport fields in their stored order, shared by the two layouts that carry them:
// the passport block of push files (fields back to back) and the DeviceData block of database
// push records (one zero byte after every field). The block version word comes first in both
// and is handled by the caller, since it decides which of the later fields are present.
#pragma once

#include <cstddef>
#include <cstdint>

#include "acquisition/detail/bytes.h"
#include "acquisition/device_passport.h"

namespace detail {

// Which of the later fields a layout of some version carries.
struct PassportPresence {
  bool nullAndMax = true;  // nullValues, maxValues, hasNullValues, hasMaxValues
  bool autoconnect = true;
  bool diameter = true;
  bool secondButton = true;
};

// Writes fields, each followed by gap zero bytes.
struct FieldWriter {
  ByteWriter out;
  size_t gap = 0;

  void I32(int32_t v) { out.I32(v); }
  void F64(double v) { out.F64(v); }
  void Raw(const void* data, size_t n) { out.Raw(data, n); }
  void Zeros(size_t n) { out.Zeros(n); }
  void EndField() { out.Zeros(gap); }
};

// Reads fields, skipping gap bytes after each; never reads past the end (see ByteReader).
struct FieldReader {
  ByteReader in;
  size_t gap = 0;

  void I32(int32_t& v) { v = in.I32(); }
  void F64(double& v) { v = in.F64(); }
  void Raw(void* data, size_t n) { in.Raw(data, n); }
  void Zeros(size_t n) { in.Skip(n); }
  void EndField() { in.Skip(gap); }
};

// Every field after the version word, in order. IO is a FieldWriter (with a const passport) or
// a FieldReader; absent fields are neither written nor read.
template <class IO, class Passport>
void PassportFields(IO& io, Passport& p, const PassportPresence& has) {
  auto i32 = [&](auto& v) {
    io.I32(v);
    io.EndField();
  };
  auto f64 = [&](auto& v) {
    io.F64(v);
    io.EndField();
  };
  auto f64s = [&](auto& values) {
    for (auto& v : values) io.F64(v);
    io.EndField();
  };
  i32(p.headerA);
  i32(p.headerB);
  i32(p.headerC);
  io.Raw(p.title.data(), p.title.size());
  io.EndField();
  i32(p.numChannels);
  for (int i = 0; i < kPassportChannels; ++i) {
    io.I32(p.rangeLo[i]);
    io.I32(p.rangeHi[i]);
  }
  io.EndField();
  for (auto& v : p.ok) io.I32(v);
  io.EndField();
  i32(p.deviceNumber);
  io.Raw(p.deviceId.data(), p.deviceId.size());  // in a field of 32 bytes
  io.Zeros(32 - p.deviceId.size());
  io.EndField();
  for (auto* v : {&p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second}) io.I32(*v);
  io.EndField();
  i32(p.refNumber);
  f64s(p.slopes);
  f64s(p.shifts);
  f64s(p.noiseLevel);
  f64(p.refSlope);
  f64(p.refShift);
  i32(p.version);
  if (has.nullAndMax) {
    f64s(p.nullValues);
    f64s(p.maxValues);
    i32(p.hasNullValues);
    i32(p.hasMaxValues);
  }
  if (has.autoconnect) i32(p.useForAutoconnect);
  if (has.diameter) f64(p.diameter);
  if (has.secondButton) i32(p.secondButton);
}

}  // namespace detail

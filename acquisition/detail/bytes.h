// Little-endian encoding helpers for the stored binary formats. The reader never reads past its
// end: missing bytes read as 0 and Ok() turns false.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace detail {

struct ByteWriter {
  std::vector<uint8_t> bytes;

  void Raw(const void* data, size_t n) {
    auto p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
  void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
  void U16(uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
};

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : p_(data), n_(size) {}

  bool Ok() const { return ok_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return n_ - pos_; }

  void Raw(void* out, size_t n) {
    if (!Take(n)) {
      std::memset(out, 0, n);
      return;
    }
    std::memcpy(out, p_ + pos_ - n, n);
  }
  void Skip(size_t n) {
    if (n > Remaining()) {
      ok_ = false;
      pos_ = n_;
    } else {
      pos_ += n;
    }
  }
  uint16_t U16() { return Take(2) ? LoadU16(p_ + pos_ - 2) : 0; }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() { return Take(4) ? LoadU32(p_ + pos_ - 4) : 0; }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  double F64() {
    if (!Take(8)) return 0;
    uint64_t u = uint64_t(LoadU32(p_ + pos_ - 8)) | (uint64_t(LoadU32(p_ + pos_ - 4)) << 32);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }

 private:
  bool Take(size_t n) {
    if (n > Remaining()) {
      ok_ = false;
      pos_ = n_;
      return false;
    }
    pos_ += n;
    return true;
  }
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace detail

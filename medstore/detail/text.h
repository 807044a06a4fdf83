// Line-level helpers of the record files: numbers scanned like atoi/strtod but never past the
// end of their line, numbers written in the C locale, and an output buffer in text mode
// ("\n" goes out as CR LF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace medstore::detail {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// End of the line's content: its line feed, or end.
inline const char* LineEnd(const char* p, const char* end) {
  const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
  return nl ? static_cast<const char*>(nl) : end;
}

inline const char* Find(const char* p, const char* end, char c) {
  if (p >= end) return nullptr;
  return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

inline bool StartsWith(const char* p, const char* end, std::string_view key) {
  return static_cast<size_t>(end - p) >= key.size() && std::memcmp(p, key.data(), key.size()) == 0;
}

// atoi: white space skipped, an optional sign, decimal digits; saturates at the int32 range.
// Returns the position after the digits (after the white space when there are none); *digits
// tells whether any were found.
inline const char* ScanInt(const char* p, const char* end, int32_t* value, bool* digits = nullptr) {
  while (p < end && IsSpace(*p)) ++p;
  bool negative = false;
  const char* start = p;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
  int64_t v = 0;
  const char* d = p;
  while (p < end && IsDigit(*p)) {
    if (v <= 2147483648LL) v = v * 10 + (*p - '0');
    ++p;
  }
  bool any = p != d;
  if (!any) p = start;
  if (digits) *digits = any;
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *value = any ? static_cast<int32_t>(v) : 0;
  return p;
}

// strtod in the C locale, bounded by end.
const char* ScanDouble(const char* p, const char* end, double* value);

// Reads up to n numbers: the first at p, each further one after the next blank. Returns how
// many were read; *stop is where reading ended.
inline int ScanIntList(const char* p, const char* end, int32_t* out, int n) {
  if (n <= 0) return 0;
  p = ScanInt(p, end, &out[0]);
  int i = 1;
  for (; i < n; ++i) {
    const char* b = Find(p, end, ' ');
    if (!b) break;
    p = ScanInt(b + 1, end, &out[i]);
  }
  return i;
}

// Copies [from, to) into a text[cap] field, cut to max characters (at most cap - 1).
inline void CopyField(char* dst, size_t cap, const char* from, const char* to, size_t max) {
  size_t n = static_cast<size_t>(to - from);
  if (max > cap - 1) max = cap - 1;
  if (n > max) n = max;
  std::memcpy(dst, from, n);
  dst[n] = 0;
}

// Record file text in text mode: every "\n" becomes CR LF.
class RecordWriter {
 public:
  explicit RecordWriter(std::string& out) : out_(out) {}
  RecordWriter& Raw(std::string_view s) {
    out_.append(s);
    return *this;
  }
  RecordWriter& Nl() {
    out_.append("\r\n", 2);
    return *this;
  }
  // A text, with its line feeds in text mode.
  RecordWriter& Text(const char* s, size_t n) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
      if (s[i] == '\n') {
        out_.append(s + start, i - start);
        out_.append("\r\n", 2);
        start = i + 1;
      }
    }
    out_.append(s + start, n - start);
    return *this;
  }
  // A text[cap] field: at most cap - 1 characters, fewer when it ends earlier.
  RecordWriter& Field(const char* s, size_t cap) { return Text(s, strnlen(s, cap - 1)); }
  // An owned text; an absent one is written as empty.
  RecordWriter& Owned(const char* s) { return s ? Text(s, std::strlen(s)) : *this; }
  RecordWriter& Int(int64_t v) {
    char buf[24];
    char* e = buf + sizeof buf;
    char* p = e;
    uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
      *--p = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    if (v < 0) *--p = '-';
    out_.append(p, static_cast<size_t>(e - p));
    return *this;
  }
  RecordWriter& Double(double v);  // as "%f"
  RecordWriter& Char(char c) {
    out_.push_back(c);
    return *this;
  }
  RecordWriter& Hex(const unsigned char* data, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    size_t at = out_.size();
    out_.resize(at + 2 * n);
    char* o = out_.data() + at;
    for (size_t i = 0; i < n; ++i) {
      o[2 * i] = kDigits[data[i] >> 4];
      o[2 * i + 1] = kDigits[data[i] & 15];
    }
    return *this;
  }

 private:
  std::string& out_;
};

}  // namespace medstore::detail

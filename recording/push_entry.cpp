#include "recording/push_entry.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace recording {

namespace {

void PutInt32(std::string& out, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void PutInt64(std::string& out, int64_t v) {
  uint64_t u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

// Sequential little-endian reader that refuses to read past the end.
struct Reader {
  std::string_view bytes;
  size_t at = 0;
  size_t Left() const { return bytes.size() - at; }
  bool Int32(int32_t& v) {
    if (Left() < 4) return false;
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    v = static_cast<int32_t>(u);
    at += 4;
    return true;
  }
  bool Int64(int64_t& v) {
    if (Left() < 8) return false;
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(uint8_t(bytes[at + i])) << (8 * i);
    v = static_cast<int64_t>(u);
    at += 8;
    return true;
  }
  bool Bytes(void* out, size_t n) {
    if (Left() < n) return false;
    std::memcpy(out, bytes.data() + at, n);
    at += n;
    return true;
  }
};

}  // namespace

Text1251 DescriptionFileName(std::string_view pushFile) {
  Text1251 name(pushFile);
  if (name.size() >= 3) name.resize(name.size() - 3);
  return name + "dsc";
}

Text1251 EncodeLineBreaks(std::string_view text) {
  Text1251 out(text);
  for (char& c : out) {
    if (c == '\r')
      c = 1;
    else if (c == '\n')
      c = 2;
  }
  return out;
}

Text1251 DecodeLineBreaks(std::string_view text) {
  Text1251 out(text);
  for (char& c : out) {
    if (c == 1)
      c = '\r';
    else if (c == 2)
      c = '\n';
  }
  return out;
}

std::string EncodeDescription(const PushEntry& e) {
  std::string out;
  PutInt32(out, kDescriptionVersion);
  PutInt32(out, e.number);
  PutInt32(out, e.present);
  PutInt64(out, e.startTime);
  PutInt64(out, e.endTime);
  // The stored length counts the bytes before the first zero, as the reader takes them.
  const Text1251 comment = EncodeLineBreaks(e.comment.substr(0, e.comment.find('\0')));
  PutInt32(out, static_cast<int32_t>(comment.size()));
  if (!comment.empty()) {
    out += comment;
    out.push_back('\0');
  }
  out.append(reinterpret_cast<const char*>(e.reservedTime.data()), e.reservedTime.size());
  PutInt32(out, e.reservedWord);
  return out;
}

int ParseDescription(PushEntry& e, std::string_view bytes, std::string_view nameForLog) {
  Reader r{bytes};
  int32_t version = 0;
  if (!r.Int32(version)) return -3;
  if (version < kDescriptionOldestVersion || version > kDescriptionVersion) {
    AddLogMessage(("Incorrect version of file " + std::string(nameForLog)).c_str());
    return -2;
  }
  int32_t number = 0, present = 0;
  if (!r.Int32(number) || !r.Int32(present)) return -3;
  e.number = number;
  e.present = present;
  int64_t start = 0, end = 0;
  if (!r.Int64(start) || !r.Int64(end)) return -3;
  e.startTime = start;
  e.endTime = end;
  e.startExtra = e.endExtra = 0;
  if (version > 391) {
    int32_t n = 0;
    if (!r.Int32(n)) return -3;
    if (n < 0) return -3;
    if (n > 0) {
      // The comment and its terminating zero must fit in what is left.
      if (static_cast<uint64_t>(n) + 1 > r.Left()) return -3;
      std::string_view text = bytes.substr(r.at, static_cast<size_t>(n));
      r.at += static_cast<size_t>(n) + 1;
      e.comment = DecodeLineBreaks(text.substr(0, text.find('\0')));
    } else {
      e.comment.clear();
    }
  }
  if (version > 392) {
    if (!r.Bytes(e.reservedTime.data(), e.reservedTime.size())) return -3;
    int32_t word = 0;
    if (!r.Int32(word)) return -3;
    e.reservedWord = word;
  }
  return 0;
}

int ReadDescription(PushEntry& e) {
  if (e.fileName.empty()) return -1;
  const Text1251 name = DescriptionFileName(e.fileName);
  if (!fsw::FileExists(name) || fsw::IsDirectory(name)) return -1;
  std::string bytes;
  if (!ReadWholeFile(name, bytes)) return -1;
  return ParseDescription(e, bytes, name);
}

int WriteDescription(const PushEntry& e) {
  if (e.fileName.empty()) {
    AddLogMessage("(2029274)");
    return -1;
  }
  if (WriteWholeFile(DescriptionFileName(e.fileName), EncodeDescription(e)) != 0) {
    AddLogMessage("(2028274)");
    return -1;
  }
  return 0;
}

Text1251 ThumbnailLine(const PushEntry& e) {
  std::tm s{}, f{};
  if (!LocalTime(static_cast<std::time_t>(e.startTime), s)) s = {};
  if (!LocalTime(static_cast<std::time_t>(e.endTime), f)) f = {};
  char line[160];
  std::snprintf(line, sizeof line, "%d)%d:%d:%d-%d:%d:%d (%d)", e.number, s.tm_hour, s.tm_min,
                s.tm_sec, f.tm_hour, f.tm_min, f.tm_sec, static_cast<int>(e.endTime - e.startTime));
  return line;
}

}  // namespace recording

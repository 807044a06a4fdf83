#include "golden_data.h"

#include <cmath>
#include <cstring>

#include "acquisition/push_file.h"

namespace {

struct Bytes {
  std::string s;
  void I16(int16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
  void U16(uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
  void I32(int32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
};

// Frame record of any version, written field by field as the format table lists them.
void OldRecord(Bytes& b, int version, const SensorFrame& f) {
  if (version >= 1002) b.I32(f.index);
  b.s += "TC20";
  for (uint16_t w : {0xFFFF, 0x0140, 0x0140, 0x0024}) b.U16(w);
  for (int v : f.values) b.U16(static_cast<uint16_t>(v));
  b.U16(0xFFFF);
  if (version >= 1003) {
    for (const FrameTime* t : {&f.captureTime, &f.storedTime})
      for (int16_t v : {t->year, t->month, t->day, t->hour, t->minute, t->second, t->millisecond})
        b.I16(v);
    int aux = version >= 1006 ? 28 : 26;
    for (int k = 0; k < aux; ++k) b.I32(f.aux[k]);
  }
  if (version >= 1005) b.I32(f.flags);
}

FrameTime TimeAt(int64_t msOfDay) {
  FrameTime t{2024, 3, 15, 0, 0, 0, 0};
  t.hour = static_cast<int16_t>(msOfDay / 3600000);
  t.minute = static_cast<int16_t>(msOfDay / 60000 % 60);
  t.second = static_cast<int16_t>(msOfDay / 1000 % 60);
  t.millisecond = static_cast<int16_t>(msOfDay % 1000);
  return t;
}

DevicePassport GoldenPassport() {
  DevicePassport p;
  p.deviceNumber = 17;
  ParseDeviceId("0a1b2c3d4e5f", p.deviceId);
  p.day = 14;
  p.month = 3;
  p.year = 2024;
  p.format = 1;
  p.version = 2;
  std::strcpy(p.title.data(), "golden probe 17");
  for (int i = 0; i < kSensorCount; ++i) {
    p.slopes[i] = 1.0 + 0.01 * i;
    p.shifts[i] = -100.0 * (i % 3);
  }
  p.ok[12] = 0;
  return p;
}

// A small push whose values show the sign handling: three frames, one label.
Push SmallPush(int version) {
  Push p = CreatePush();
  AllocateFrames(p, 3);
  for (int f = 0; f < 3; ++f) {
    auto& fr = p.frames[f];
    if (version >= 1002) fr.index = 100 + f;
    for (int s = 0; s < kSensorCount; ++s) fr.values[s] = 1000 * f + 10 * s - 50;
    fr.values[0] = f == 2 ? -25536 : 32767 - f;  // 0x9C40 in the last frame
    if (version >= 1003) {
      fr.captureTime = TimeAt(((10 * 60 + 30) * 60 + 5) * 1000LL + 50 * f);
      fr.storedTime = fr.captureTime;
      int aux = version >= 1006 ? 28 : 26;
      for (int k = 0; k < aux; ++k) fr.aux[k] = k * 3 - f;
    }
    if (version >= 1005 && f == 1) fr.flags = 1;
  }
  ComputeLabelCounts(p);
  return p;
}

// A realistic press: 320 frames at 20 per second, pressure rising and falling, a firmer
// inclusion under the centre sensors 9, 10 and 13, three labels.
Push PressPush() {
  Push p = CreatePush();
  const int n = 320;
  AllocateFrames(p, n);
  uint32_t seed = 12345;
  auto noise = [&]() {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % 41) - 20;
  };
  const double pi = 3.14159265358979323846;
  for (int f = 0; f < n; ++f) {
    auto& fr = p.frames[f];
    fr.index = 500 + f;
    double t = double(f) / (n - 1);
    double press = t < 0.1 || t > 0.9 ? 0.0 : std::pow(std::sin(pi * (t - 0.1) / 0.8), 2);
    for (int s = 0; s < kSensorCount; ++s) {
      int sensor = s + 1;
      bool inclusion = sensor == 9 || sensor == 10 || sensor == 13;
      bool edge = sensor == 1 || sensor == 3 || sensor == 17 || sensor == 19;
      double level = 14000.0 * press * (edge ? 0.6 : 1.0) + (inclusion ? 9000.0 * press : 0.0);
      fr.values[s] = static_cast<int32_t>(std::lround(level)) + 150 + 7 * s + noise();
    }
    fr.captureTime = TimeAt(((14 * 60 + 21) * 60 + 59) * 1000LL + 850 + 50LL * f);
    fr.storedTime = fr.captureTime;
    for (int k = 0; k < kAuxWordsInUse; ++k) fr.aux[k] = k < 2 ? 0x4354 - k * 0x0C14 : f % 7 + k;
    if (f == 96 || f == 160 || f == 224) fr.flags = 1;
  }
  p.passport = GoldenPassport();
  p.hasPassport = true;
  ComputeLabelCounts(p);
  return p;
}

std::string PushBytes(const Push& p, int version, bool block, int blockVersion) {
  Bytes b;
  b.I32(version);
  if (block) {
    auto full = EncodePassportBlock(p.passport);
    full.resize(PassportBlockSize(blockVersion));
    full[0] = static_cast<uint8_t>(blockVersion);
    b.s.append(full.begin(), full.end());
  }
  for (const auto& f : p.frames) OldRecord(b, version, f);
  return b.s;
}

std::string TxtLog() {
  // Columns 0..30; a header line, a blank line and a short line are skipped by the importer.
  std::string text = "probe log v2 (columns 0..30)\r\n\r\n";
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 31; ++c) text += std::to_string(65535 - (r * 1000 + c * 10)) + "  ";
    text += "\r\n";
    if (r == 2) text += "1  2  3\r\n";
  }
  return text;
}

std::string TrfLog() {
  Bytes b;
  for (int r = 0; r < 5; ++r)
    for (int w = 0; w < 31; ++w) b.U16(static_cast<uint16_t>(r * 2000 + w * 3));
  b.s += std::string("\x11\x22\x33", 3);  // a partial record, ignored
  return b.s;
}

}  // namespace

std::string ExpectedCsv(const Push& p) {
  std::string out = "index,capture_time,label";
  for (int s = 1; s <= kSensorCount; ++s) out += ",s" + std::to_string(s);
  out += "\n";
  char t[64];
  for (size_t i = 0; i < p.frames.size(); ++i) {
    const auto& f = p.frames[i];
    const auto& c = f.captureTime;
    t[0] = 0;
    if (c.year > 0)
      std::snprintf(t, sizeof t, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", c.year, c.month, c.day,
                    c.hour, c.minute, c.second, c.millisecond);
    out += std::to_string(i) + "," + t + "," + (f.HasLabel() ? "1" : "0");
    for (int v : f.values) out += "," + std::to_string(v);
    out += "\n";
  }
  return out;
}

std::vector<GoldenPush> GoldenPushes() {
  std::vector<GoldenPush> out;
  for (int v = 1001; v <= 1006; ++v)
    out.push_back({"push_" + std::to_string(v) + ".bin", v, false, 0, SmallPush(v)});
  for (int v : {1004, 1005}) {
    GoldenPush g{"push_" + std::to_string(v) + ".psh", v, true, v == 1004 ? 121 : 123,
                 SmallPush(v)};
    g.push.passport = GoldenPassport();
    g.push.hasPassport = true;
    out.push_back(std::move(g));
  }
  out.push_back({"press_1006.psh", 1006, true, 124, PressPush()});
  return out;
}

std::vector<GoldenFile> GoldenFiles() {
  std::vector<GoldenFile> out;
  for (const auto& g : GoldenPushes()) {
    out.push_back({g.name, PushBytes(g.push, g.version, g.passportBlock, g.blockVersion)});
    out.push_back({g.name + ".csv", ExpectedCsv(g.push)});
  }
  out.push_back({"log_wls.txt", TxtLog()});
  out.push_back({"probe.trf", TrfLog()});
  out.push_back({"probe17.dvp", [] {
                   std::string t = FormatDvp(GoldenPassport());
                   std::string crlf;
                   for (char c : t) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
                   return crlf;
                 }()});
  out.push_back({"probe17Add.bin", std::string("\x7c\0\0\0\0\0\0\0", 8)});
  out.push_back({"loose.dvp",
                 "version: 1\r\n"
                 "  device_number :  23 \r\n"
                 "device_id: A0B1C2D3E4F5\r\n"
                 "Date: 1.2.2023\r\n"
                 "ok: 1, 0 1,,1\r\n"
                 "slopes: 1.5, x, 2.5\r\n"
                 "REF_SLOPE: 0\r\n"
                 "a line without colon\r\n"
                 "NUM_CHANNELS: 300\r\n"
                 "FORMAT: 0\r\n"});
  return out;
}

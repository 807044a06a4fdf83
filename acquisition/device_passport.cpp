#include "acquisition/device_passport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/detail/bytes.h"
#include "acquisition/detail/passport_fields.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

DevicePassport::DevicePassport() {
  rangeHi.fill(32000);
  ok.fill(1);
  slopes.fill(1.0);
  noiseLevel.fill(1.0);
  maxValues.fill(32000.0);
  for (auto& s : extraSlopes) s.fill(1.0);
}

int UsedChannels(const DevicePassport& p) {
  return std::clamp<int32_t>(p.numChannels, 0, kPassportChannels);
}

Text1251 DeviceIdText(const DevicePassport& p) {
  char buf[16];
  for (int i = 0; i < 6; ++i) std::snprintf(buf + 2 * i, 3, "%2.2x", p.deviceId[i]);
  return Text1251(buf, 12);
}

bool ParseDeviceId(std::string_view text, std::array<uint8_t, 6>& id) {
  if (text.size() != 12) return false;
  std::array<uint8_t, 6> out{};
  for (int i = 0; i < 6; ++i) {
    char pair[3] = {text[2 * i], text[2 * i + 1], 0};
    unsigned v = 0;
    if (std::sscanf(pair, "%x", &v) != 1) v = 0;
    out[i] = static_cast<uint8_t>(v);
  }
  id = out;
  return true;
}

Text1251 OkFlagsText(const DevicePassport& p) {
  Text1251 s;
  for (int i = 0; i < UsedChannels(p); ++i) s += (p.ok[i] & 1) ? 'X' : '-';
  return s;
}

void ParseOkFlags(std::string_view text, DevicePassport& p) {
  size_t n = std::min<size_t>(text.size(), kPassportChannels);
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    p.ok[i] = (c == '-' || c == ' ' || c == '.') ? 0 : 1;
  }
}

// ---- short number form ----

std::string ShortNumber(double value) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%lf", value);
  std::string s = buf;
  if (s.find_first_of("eE") != std::string::npos) return s;
  size_t point = s.find('.');
  if (point == std::string::npos) return s;  // nan, inf
  // (a) trailing zeros after the point
  while (s.size() > point + 1 && s.back() == '0') s.pop_back();
  size_t n = s.size();
  // (b) and (c) smooth the rounding noise of the sixth decimal ("2.999999", "0.100001"). A
  // number with fewer decimals is exact as it stands: 0.02 stays 0.02 and 0.996 stays 0.996.
  if (n != point + 7) return s;
  if (s[n - 1] >= '6' && s[n - 1] <= '9' && s[n - 2] == '9' && s[n - 3] == '9') {
    // (b) round a run of nines up
    size_t i = n - 2;
    while (i > point && s[i] == '9') --i;
    if (i > point) {
      ++s[i];
      s.resize(i + 1);
      return s;
    }
    // The run reaches the point: integer part one further from zero.
    bool negative = s[0] == '-';
    std::string digits = s.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
    int k = static_cast<int>(digits.size()) - 1;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k < 0)
      digits.insert(digits.begin(), '1');
    else
      ++digits[k];
    return (negative ? "-" : "") + digits + ".";
  }
  if (s[n - 1] >= '1' && s[n - 1] <= '4' && s[n - 2] == '0') {
    // (c) a stray last digit after zeros
    s.pop_back();
    while (s.size() > point + 1 && s.back() == '0') s.pop_back();
  }
  return s;
}

// ---- DVP text ----

namespace {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    --e;
  return s.substr(b, e - b);
}

bool KeyIs(std::string_view key, const char* name) { return Cp1251EqualNoCase(key, name); }

template <typename T>
void ScanScalar(std::string_view value, const char* fmt, T& out) {
  std::string v(value);
  T tmp{};
  if (std::sscanf(v.c_str(), fmt, &tmp) == 1) out = tmp;
}

// Tokens at commas and blanks; each token that scans fills the next slot (up to 128).
template <typename T, typename Store>
void ScanList(std::string_view value, const char* fmt, Store store) {
  std::string v(value);
  int slot = 0;
  size_t i = 0;
  while (i < v.size() && slot < kPassportChannels) {
    while (i < v.size() && (v[i] == ',' || v[i] == ' ' || v[i] == '\t')) ++i;
    size_t b = i;
    while (i < v.size() && v[i] != ',' && v[i] != ' ' && v[i] != '\t') ++i;
    if (i == b) continue;
    std::string token = v.substr(b, i - b);
    T tmp{};
    if (std::sscanf(token.c_str(), fmt, &tmp) == 1) store(slot++, tmp);
  }
}

void ScanDoubles(std::string_view value, std::array<double, kPassportChannels>& out) {
  ScanList<double>(value, "%lg", [&](int slot, double v) { out[slot] = v; });
}

void ApplyDvpLine(DevicePassport& p, std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  std::string_view key = Trim(line.substr(0, colon));
  std::string_view value = Trim(line.substr(colon + 1));
  if (key.empty() || value.empty()) return;

  if (KeyIs(key, "VERSION")) return ScanScalar(value, "%d", p.version);
  if (KeyIs(key, "DEVICE_NUMBER")) return ScanScalar(value, "%d", p.deviceNumber);
  if (KeyIs(key, "NUM_CHANNELS")) return ScanScalar(value, "%d", p.numChannels);
  if (KeyIs(key, "REF_NUMBER")) return ScanScalar(value, "%d", p.refNumber);
  if (KeyIs(key, "FORMAT")) return ScanScalar(value, "%d", p.format);
  if (KeyIs(key, "SET_SECOND_BUTTON")) return ScanScalar(value, "%d", p.secondButton);
  if (KeyIs(key, "REF_SLOPE")) return ScanScalar(value, "%lg", p.refSlope);
  if (KeyIs(key, "REF_SHIFT")) return ScanScalar(value, "%lg", p.refShift);
  if (KeyIs(key, "DIAMETR")) return ScanScalar(value, "%lg", p.diameter);
  if (KeyIs(key, "DATE")) {
    std::string v(value);
    std::sscanf(v.c_str(), "%d.%d.%d", &p.day, &p.month, &p.year);
    return;
  }
  if (KeyIs(key, "DEVICE_ID")) {
    ParseDeviceId(value, p.deviceId);
    return;
  }
  if (KeyIs(key, "OK")) {
    ScanList<int>(value, "%d", [&](int slot, int v) { p.ok[slot] = v & 1; });
    return;
  }
  if (KeyIs(key, "NULL_VALUES")) {
    ScanDoubles(value, p.nullValues);
    p.hasNullValues = 1;
    return;
  }
  if (KeyIs(key, "MAX_VALUES")) {
    ScanDoubles(value, p.maxValues);
    p.hasMaxValues = 1;
    return;
  }
  if (KeyIs(key, "SLOPES")) return ScanDoubles(value, p.slopes);
  if (KeyIs(key, "SHIFTS")) return ScanDoubles(value, p.shifts);
  if (KeyIs(key, "NOISE_LEVEL")) return ScanDoubles(value, p.noiseLevel);
  for (int k = 0; k < kExtraCalibrationSets; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "SLOPES%d", k);
    if (KeyIs(key, name)) return ScanDoubles(value, p.extraSlopes[k]);
    std::snprintf(name, sizeof name, "SHIFTS%d", k);
    if (KeyIs(key, name)) return ScanDoubles(value, p.extraShifts[k]);
  }
}

void ReportWriteFailure(std::string_view fileName) {
  AddLogMessageF("Can't write file '%.*s'", static_cast<int>(fileName.size()), fileName.data());
}

}  // namespace

void ParseDvpText(DevicePassport& p, std::string_view text) {
  // Whole lines, whatever their length: a passport with many channels writes long list lines.
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    ApplyDvpLine(p, text.substr(pos, end - pos));
    pos = end + 1;
  }
}

int ReadDvp(DevicePassport& p, std::string_view fileName) {
  p = DevicePassport{};
  p.fileName = Text1251(fileName);
  // Read as bytes, where a read error (a folder, a failing disk) is seen; ParseDvpText takes
  // CR LF and LF line ends alike.
  std::string text;
  if (!ReadWholeFile(fileName, text, /*textMode=*/false, kDvpFileMaxBytes)) return -1;
  ParseDvpText(p, text);
  return 0;
}

std::string FormatDvp(const DevicePassport& p) {
  std::string out;
  char buf[256];
  auto line = [&](const char* fmt, auto... args) {
    std::snprintf(buf, sizeof buf, fmt, args...);
    out += buf;
  };
  int n = UsedChannels(p);
  auto list = [&](const char* key, const std::array<double, kPassportChannels>& v) {
    out += key;
    for (int i = 0; i < n; ++i) {
      if (i > 0) out += ",";
      out += " " + ShortNumber(v[i]);
    }
    out += "\n";
  };
  line("VERSION: %d\n", p.version);
  line("DEVICE_NUMBER: %d\n", p.deviceNumber);
  out += "DEVICE_ID: " + DeviceIdText(p) + "\n";
  line("DATE: %2.2d.%2.2d.%4.4d\n", p.day, p.month, p.year);
  line("NUM_CHANNELS: %d\n", p.numChannels);
  out += "OK:";
  for (int i = 0; i < n; ++i) {
    if (i > 0) out += ",";
    line(" %d", p.ok[i] & 1);
  }
  out += "\n";
  line("REF_NUMBER: %d\n", p.refNumber);
  if (p.hasNullValues) list("NULL_VALUES:", p.nullValues);
  if (p.hasMaxValues) list("MAX_VALUES:", p.maxValues);
  list("SLOPES:", p.slopes);
  list("SHIFTS:", p.shifts);
  list("NOISE_LEVEL:", p.noiseLevel);
  out += "REF_SLOPE: " + ShortNumber(p.refSlope) + "\n";
  out += "REF_SHIFT: " + ShortNumber(p.refShift) + "\n";
  line("DIAMETR: %lg\n", p.diameter);
  line("SET_SECOND_BUTTON: %d\n", p.secondButton);
  line("FORMAT: %d\n", p.format);
  return out;
}

int WriteDvp(std::string_view fileName, const DevicePassport& p) {
  if (WriteWholeFile(fileName, FormatDvp(p), /*textMode=*/true) != 0) {
    ReportWriteFailure(fileName);
    return -1;
  }
  return 0;
}

// ---- passport block ----

int PassportBlockSize(int32_t v) {
  int size = 4840;
  if (v > 120) size += 1024 + 1024 + 4 + 4;
  if (v > 121) size += 4;
  if (v > 122) size += 8;
  if (v > 123) size += 4;
  return size;
}

std::vector<uint8_t> EncodePassportBlock(const DevicePassport& p) {
  detail::FieldWriter w;
  w.I32(kPassportBlockVersion);
  detail::PassportFields(w, p, detail::PassportPresence{});
  return std::move(w.out.bytes);
}

int DecodePassportBlock(const uint8_t* data, size_t size, DevicePassport& p) {
  p = DevicePassport{};
  if (size < 4) return -2;
  detail::FieldReader r{detail::ByteReader(data, size)};
  int32_t v = 0;
  r.I32(v);
  int need = PassportBlockSize(v);
  if (size < static_cast<size_t>(need)) return -2;
  detail::PassportFields(r, p,
                         {.nullAndMax = v > 120,
                          .autoconnect = v > 121,
                          .diameter = v > 122,
                          .secondButton = v > 123});
  return need;
}

int WritePassportBlock(const DevicePassport& p, File* file) {
  if (!file || !file->IsOpen()) return -1;
  auto block = EncodePassportBlock(p);
  return file->Write(block.data(), block.size()) == block.size() ? 0 : -1;
}

int ReadPassportBlock(DevicePassport& p, File* file) {
  if (!file || !file->IsOpen()) return -1;
  std::vector<uint8_t> block(4);
  if (file->Read(block.data(), 4) != 4) return -2;
  int32_t v = detail::ByteReader(block.data(), 4).I32();
  size_t need = static_cast<size_t>(PassportBlockSize(v));
  block.resize(need);
  if (file->Read(block.data() + 4, need - 4) != need - 4) return -2;
  Text1251 keepName = p.fileName;
  if (DecodePassportBlock(block.data(), block.size(), p) < 0) return -2;
  p.fileName = keepName;
  return 0;
}

// ---- companions ----

Text1251 CompanionName(std::string_view dvpFileName, std::string_view suffix) {
  Text1251 name(dvpFileName);
  size_t sep = name.find_last_of("\\/");
  size_t dot = name.rfind('.');
  if (dot != Text1251::npos && (sep == Text1251::npos || dot > sep)) name.resize(dot);
  return name + Text1251(suffix);
}

int WriteAutoconnectFile(const DevicePassport& p, std::string_view dvpFileName) {
  Text1251 name = CompanionName(dvpFileName, "Add.bin");
  detail::ByteWriter w;
  w.I32(kPassportBlockVersion);
  w.I32(p.useForAutoconnect);
  std::string data(w.bytes.begin(), w.bytes.end());
  if (WriteWholeFile(name, data) != 0) {
    ReportWriteFailure(name);
    return -1;
  }
  return 0;
}

int ReadAutoconnectFile(File* file, DevicePassport& p) {
  if (!file || !file->IsOpen()) return -1;
  uint8_t buf[4];
  if (file->Read(buf, 4) != 4) return -2;
  int32_t v = detail::ByteReader(buf, 4).I32();
  if (v > 121) {
    if (file->Read(buf, 4) != 4) return -2;
    p.useForAutoconnect = detail::ByteReader(buf, 4).I32();
  }
  return 0;
}

int WriteBinaryPassport(const DevicePassport& p, std::string_view dvpFileName) {
  Text1251 name = CompanionName(dvpFileName, ".bin");
  auto block = EncodePassportBlock(p);
  if (WriteWholeFile(name, std::string(block.begin(), block.end())) != 0) {
    ReportWriteFailure(name);
    return -1;
  }
  return 0;
}

// ---- registry ----

namespace {

void ShowUserMessage(const PassportRegistry& r, const char* text) {
  if (r.showMessage)
    r.showMessage(text);
  else
    AddLogMessage(text);
}

Text1251 DvpFolder() { return Text1251(winpath::kDataRoot) + "DVP\\"; }

}  // namespace

void LoadPassports(PassportRegistry& r) { LoadPassports(r, DvpFolder()); }

void LoadPassports(PassportRegistry& r, std::string_view folder) {
  r.passports.clear();
  Text1251 dir(folder);
  for (const auto& e : fsw::ListDirectory(dir + "*.dvp")) {
    if (e.isDirectory) continue;
    Text1251 path = dir + e.name;
    DevicePassport p;
    if (ReadDvp(p, path) != 0) continue;
    Text1251 add = CompanionName(path, "Add.bin");
    if (fsw::FileExists(add)) {
      File f(add, "rb", kDvpFileMaxBytes);
      ReadAutoconnectFile(&f, p);
    }
    WriteDvp(CompanionName(path, "._dvp_"), p);
    r.passports.push_back(std::move(p));
  }
  CheckDuplicateNumbers(r);
  if (!r.passports.empty())
    r.current = r.passports.front();
  else
    AddLogMessageF("(823368)Incorrect iPasp=%d", 0);
}

int SelectPassport(PassportRegistry& r, int index) {
  if (index < 0 || index >= r.Count()) {
    AddLogMessageF("(823368)Incorrect iPasp=%d", index);
    return -1;
  }
  r.current = r.passports[index];
  return 0;
}

int SelectSecondPassport(PassportRegistry& r, int number) {
  for (const auto& p : r.passports) {
    if (p.deviceNumber == number) {
      r.second = p;
      return 0;
    }
  }
  AddLogMessageF("(845612)Incorrect Device Number=%d", number);
  return -1;
}

const DevicePassport* FindPassportById(const PassportRegistry& r, std::string_view idText) {
  for (const auto& p : r.passports)
    if (Cp1251EqualNoCase(DeviceIdText(p), idText)) return &p;
  return nullptr;
}

int CheckDuplicateNumbers(const PassportRegistry& r) {
  for (size_t i = 0; i < r.passports.size(); ++i) {
    for (size_t j = i + 1; j < r.passports.size(); ++j) {
      if (r.passports[i].deviceNumber == r.passports[j].deviceNumber) {
        char text[256];
        std::snprintf(
            text, sizeof text,
            "Некорректные паспорта устройств: устройство с номером %d встречается дважды"_cp,
            r.passports[i].deviceNumber);
        ShowUserMessage(r, text);
        return -1;
      }
    }
  }
  return 0;
}

void ReloadCalibration(PassportRegistry& r, bool fromManometer) {
  ReloadCalibration(r, DvpFolder() + (fromManometer ? "Manometr\\" : ""));
}

void ReloadCalibration(PassportRegistry& r, std::string_view folder) {
  int noted = -1;
  for (int i = 0; i < r.Count() && noted < 0; ++i)
    if (r.passports[i].deviceNumber == r.current.deviceNumber) noted = i;
  Text1251 dir(folder);
  for (const auto& e : fsw::ListDirectory(dir + "*.dvp")) {
    if (e.isDirectory) continue;
    DevicePassport p;
    if (ReadDvp(p, dir + e.name) != 0) continue;
    for (auto& q : r.passports) {
      if (q.deviceNumber != p.deviceNumber) continue;
      q.slopes = p.slopes;
      q.shifts = p.shifts;
    }
  }
  if (noted >= 0) SelectPassport(r, noted);
}

// ---- normalization ----

namespace {
std::atomic<int> gDataFormat{0};
std::atomic<double> gSensitivity[2] = {1.0, 1.0};

bool Inverted(int wireFormat) { return wireFormat == 0 || wireFormat < 0; }

double ClampOrZero(double v, double hi) {
  if (!(v > 0)) return 0;  // NaN too
  return v > hi ? hi : v;
}

double Span(const DevicePassport& p, int channel) {
  return std::max(double(p.rangeHi[channel]) - double(p.rangeLo[channel]), 1e-10);
}

int Slot(int channel) { return std::clamp(channel, 0, kPassportChannels - 1); }
}  // namespace

void SetReceptorDataFormat(int format) { gDataFormat = format; }
int ReceptorDataFormat() { return gDataFormat; }
void SetReceptorSensitivity(int which, double value) { gSensitivity[which ? 1 : 0] = value; }
double ReceptorSensitivity(int which) { return gSensitivity[which ? 1 : 0]; }

double Calibrate(const DevicePassport& p, int channel, double x) {
  int i = Slot(channel);
  return (x * p.slopes[i] + p.shifts[i]) * p.refSlope + p.refShift;
}

double DisplayValueWith(const DevicePassport& p, int channel, double x, int wireFormat,
                        double sensitivity) {
  int i = Slot(channel);
  double q = (Calibrate(p, i, x) - p.rangeLo[i]) * 255.0 / Span(p, i);
  if (Inverted(wireFormat)) q = 255.0 - q;
  return ClampOrZero(q * sensitivity, 255.0);
}

double DisplayFractionWith(const DevicePassport& p, int channel, double x, int wireFormat,
                           double sensitivity) {
  int i = Slot(channel);
  double f = (Calibrate(p, i, x) - p.rangeLo[i]) / Span(p, i);
  if (Inverted(wireFormat)) f = 1.0 - f;
  return ClampOrZero(f * sensitivity, 1.0);
}

double DisplayValue(const DevicePassport& p, int channel, double x, int which) {
  return DisplayValueWith(p, channel, x, ReceptorDataFormat(), ReceptorSensitivity(which));
}

double DisplayFraction(const DevicePassport& p, int channel, double x, int which) {
  return DisplayFractionWith(p, channel, x, ReceptorDataFormat(), ReceptorSensitivity(which));
}

int DisplayIndex(const DevicePassport& p, int channel, double x, int which) {
  return std::clamp(static_cast<int>(DisplayValue(p, channel, x, which) + 0.5), 0, 255);
}

int ZeroPointFrameCount(double dt) {
  double n = std::trunc(5.0 / std::max(dt, 0.0001));
  if (!(n == n)) n = 20;  // NaN period
  return std::max(2, static_cast<int>(std::min(20.0, n)));
}

double ZeroPointMedian(std::vector<double> samples) {
  if (samples.empty()) return 0;
  size_t mid = samples.size() / 2;
  // NaN sorts above every number, so the comparison stays a strict weak order.
  std::nth_element(samples.begin(), samples.begin() + mid, samples.end(), [](double a, double b) {
    if (std::isnan(a)) return false;
    if (std::isnan(b)) return true;
    return a < b;
  });
  return samples[mid];
}

int ApplyZeroPoint(DevicePassport& p, int channel, double median, int wireFormat,
                   bool secondReceptor) {
  if (channel < 0 || channel >= kPassportChannels) return -1;
  if (secondReceptor) median = std::floor(median + 0.5);
  double g = Inverted(wireFormat) ? 32000.0 : 0.0;
  if (p.refSlope == 0 || !std::isfinite(p.refSlope)) return -1;
  double correction = (median - g - p.refShift) / p.refSlope;
  double shifted = p.shifts[channel] - correction;
  if (!std::isfinite(shifted)) return -1;
  p.shifts[channel] = shifted;
  return 0;
}

int ApplyZeroPoint(DevicePassport& p, int channel, double median) {
  return ApplyZeroPoint(p, channel, median, ReceptorDataFormat());
}

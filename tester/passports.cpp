#include "tester/passports.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "acquisition/push_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/sync.h"

namespace tester {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

constexpr int kLockMs = 1000;
constexpr const char* kLockTag = "2736074";

}  // namespace

// ---- edit fields -------------------------------------------------------------------------------

bool ScanInt(std::string_view text, int32_t& value) {
  const std::string s(Trim(text));
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != 0 || errno == ERANGE) return false;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool ScanDouble(std::string_view text, double& value) {
  const std::string s(Trim(text));
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != 0 || !std::isfinite(v)) return false;
  value = v;
  return true;
}

PassportFields FieldsOf(const DevicePassport& p) {
  PassportFields f;
  f.number = std::to_string(p.deviceNumber);
  f.id = DeviceIdText(p);
  f.health = OkFlagsText(p);
  f.refNumber = std::to_string(p.refNumber);
  f.refSlope = ShortNumber(p.refSlope);
  f.refShift = ShortNumber(p.refShift);
  return f;
}

void ParseIdPairs(std::string_view text, std::array<uint8_t, 6>& id) {
  unsigned previous = 0;
  for (size_t k = 0; k < 6; ++k) {
    char pair[3] = {};
    for (size_t j = 0; j < 2 && 2 * k + j < text.size(); ++j) pair[j] = text[2 * k + j];
    unsigned v = 0;
    if (std::sscanf(pair, "%x", &v) == 1) previous = v;
    id[k] = static_cast<uint8_t>(previous);
  }
}

void StoreFields(const PassportFields& f, DevicePassport& p) {
  ScanInt(f.number, p.deviceNumber);
  ParseIdPairs(f.id, p.deviceId);
  for (int i = static_cast<int>(std::min<size_t>(f.health.size(), kPassportChannels));
       i < kPassportChannels; ++i)
    p.ok[i] = 0;
  ParseOkFlags(f.health, p);
  ScanInt(f.refNumber, p.refNumber);
  ScanDouble(f.refSlope, p.refSlope);
  ScanDouble(f.refShift, p.refShift);
}

Text1251 WithoutLast3(std::string_view fileName) {
  return fileName.size() < 3 ? Text1251() : Text1251(fileName.substr(0, fileName.size() - 3));
}

Text1251 FreePassportFileName(int deviceNumber) {
  char name[512];
  std::snprintf(name, sizeof name, "%sDVP\\pasp%d.dvp", winpath::kDataRoot, deviceNumber);
  for (int i = 1; i <= 999 && fsw::FileExists(name); ++i)
    std::snprintf(name, sizeof name, "%sDVP\\pasp%d_v%d.dvp", winpath::kDataRoot, deviceNumber, i);
  return name;
}

void StampNow(DevicePassport& p) {
  const FrameTime t = FrameTime::Now();
  p.year = t.year;
  p.month = t.month;
  p.day = t.day;
  p.hour = t.hour;
  p.minute = t.minute;
  p.second = t.second;
}

// ---- draft passports ---------------------------------------------------------------------------

SensorRanges RangesOfFrames(const std::vector<SensorFrame>& frames, bool second) {
  SensorRanges r;
  r.lo.fill(kDraftLoStart);
  r.hi.fill(kDraftHiStart);
  for (const SensorFrame& f : frames) {
    for (int i = 0; i < kSensorCount; ++i) {
      const int32_t v = second ? f.aux[i] : f.values[i];
      if (second && v == 0) continue;
      r.lo[i] = std::min(r.lo[i], v);
      r.hi[i] = std::max(r.hi[i], v);
      r.seen[i] = true;
    }
  }
  return r;
}

void ApplyDraftRanges(const SensorRanges& r, DevicePassport& p) {
  for (int i = 0; i < kSensorCount; ++i) {
    if (!r.seen[i]) continue;
    double d = double(r.hi[i]) - double(r.lo[i]);
    if (d <= 1) d = 1;
    p.rangeLo[i] = 0;
    p.rangeHi[i] = 32000;
    p.slopes[i] = 32000.0 / d;
    p.shifts[i] = -double(r.lo[i]) * 32000.0 / d;
  }
}

std::vector<SensorFrame> LastPushFrames() {
  Push push = CreatePush();
  if (ReadPushFile(push, kStreamFile) != 0) return {};
  return std::move(push.frames);
}

Text1251 MinMaxName(std::string_view passportFile) { return WithoutLast3(passportFile) + "MinMax"; }

int WriteMinMaxFile(std::string_view passportFile, const SensorRanges& r) {
  std::string text;
  char line[64];
  for (int i = 0; i < kSensorCount; ++i) {
    std::snprintf(line, sizeof line, "%d: %d %d\n", i, r.lo[i], r.hi[i]);
    text += line;
  }
  const Text1251 name = MinMaxName(passportFile);
  if (WriteWholeFile(name, text, true) != 0) {
    AddLogMessageF("Не удалось записать файл %s"_cp, name.c_str());
    return -1;
  }
  return 0;
}

int WriteDraftPassport(std::string_view fileName, bool second) {
  DevicePassport p;
  const SensorRanges r = RangesOfFrames(LastPushFrames(), second);
  ApplyDraftRanges(r, p);
  int code = 0;
  if (second && WriteMinMaxFile(fileName, r) != 0) code = -1;
  if (WriteDvp(fileName, p) != 0) code = -1;
  return code;
}

DevicePassport LoadPassportFile(std::string_view fileName) {
  DevicePassport p;
  ReadDvp(p, fileName);
  return p;
}

// ---- the doubles editor ------------------------------------------------------------------------

Text1251 DoubleLine(int index, double value) {
  return std::to_string(index) + ") " + ShortNumber(value);
}

Text1251 DoubleLineValue(std::string_view line) {
  const size_t at = line.find(')');
  return at == std::string_view::npos ? Text1251() : Text1251(Trim(line.substr(at + 1)));
}

// ---- the passports dialog ----------------------------------------------------------------------

PassportsEditor::PassportsEditor(PassportRegistry& registry, TimedMutex* lock, EditorUser user)
    : registry_(registry), lock_(lock), user_(std::move(user)) {
  std::vector<DevicePassport> all;
  Snapshot(all);
  for (const DevicePassport& p : all)
    rows_.push_back({p.deviceNumber, DeviceIdText(p), OkFlagsText(p), p.useForAutoconnect != 0});
  const DevicePassport defaults;
  slopes_ = defaults.slopes;
  shifts_ = defaults.shifts;
}

bool PassportsEditor::Snapshot(std::vector<DevicePassport>& out) const {
  if (!lock_) {
    out = registry_.passports;
    return true;
  }
  TimedLock l(*lock_, kLockMs);
  if (!l) {
    ReportCantLock(kLockTag);
    return false;
  }
  out = registry_.passports;
  return true;
}

bool PassportsEditor::Commit(std::vector<DevicePassport> passports) {
  if (!lock_) {
    registry_.passports = std::move(passports);
    return true;
  }
  TimedLock l(*lock_, kLockMs);
  if (!l) {
    ReportCantLock(kLockTag);
    return false;
  }
  registry_.passports = std::move(passports);
  return true;
}

bool PassportsEditor::LoadRow(int row) {
  std::vector<DevicePassport> all;
  if (!Snapshot(all)) return false;
  const int number = row >= 0 && row < int(rows_.size()) ? rows_[row].number : 0;
  for (size_t k = 0; k < all.size(); ++k) {
    if (row < 0 || row >= int(rows_.size()) || all[k].deviceNumber != number) continue;
    const DevicePassport& p = all[k];
    editIndex_ = static_cast<int>(k);
    channelCount_ = p.numChannels;
    fields_ = FieldsOf(p);
    for (int i = 0; i < UsedChannels(p); ++i) {
      slopes_[i] = p.slopes[i];
      shifts_[i] = p.shifts[i];
    }
    return true;
  }
  editIndex_ = -1;
  user_.message("Устройство не найдено (1783875)"_cp);
  return false;
}

void PassportsEditor::New() {
  view_ = 1;
  if (rows_.empty()) {
    // The first passport: the default one's fields, appended as registry entry 0.
    const DevicePassport defaults;
    std::vector<DevicePassport> all;
    if (!Snapshot(all)) return;
    editIndex_ = static_cast<int>(all.size());
    channelCount_ = defaults.numChannels;
    fields_ = FieldsOf(defaults);
    slopes_ = defaults.slopes;
    shifts_ = defaults.shifts;
    return;
  }
  if (LoadRow(static_cast<int>(rows_.size()) - 1)) editIndex_ = static_cast<int>(rows_.size());
}

void PassportsEditor::Edit(int row) {
  if (row < 0) {
    user_.message("Паспорт не выбран"_cp);
    return;
  }
  if (LoadRow(row)) view_ = 1;
}

int PassportsEditor::FindNumber(int number) const {
  std::vector<DevicePassport> all;
  if (!Snapshot(all)) return -2;
  for (size_t k = 0; k < all.size(); ++k)
    if (all[k].deviceNumber == number) return static_cast<int>(k);
  return -1;
}

bool PassportsEditor::Delete(int row) {
  if (row < 0 || row >= int(rows_.size())) {
    user_.message("Паспорт не выбран"_cp);
    return false;
  }
  const int number = rows_[row].number;
  const int found = FindNumber(number);
  if (found == -2) return false;
  if (found < 0) {
    user_.message("Паспорт для уничтожения не выбран"_cp);
    return false;
  }
  char question[256];
  std::snprintf(question, sizeof question, "Уничтожить паспорт #%d (ID=%s)?"_cp, number,
                rows_[row].id.c_str());
  if (!user_.confirm(question)) return false;
  std::vector<DevicePassport> all;
  if (!Snapshot(all)) return false;
  int k = -1;
  for (size_t j = 0; j < all.size() && k < 0; ++j)
    if (all[j].deviceNumber == number) k = static_cast<int>(j);
  if (k < 0) return false;
  const Text1251 file = all[k].fileName;
  all.erase(all.begin() + k);
  if (!Commit(std::move(all))) return false;
  rows_.erase(rows_.begin() + row);
  if (!file.empty()) {
    fsw::RemoveFile(file);
    fsw::RemoveFile(WithoutLast3(file) + "_dvp_");
  }
  return true;
}

bool PassportsEditor::AddUpdate(const PassportFields& fields) {
  fields_ = fields;
  std::vector<DevicePassport> all;
  if (!Snapshot(all)) return false;
  if (editIndex_ < 0 || editIndex_ > int(all.size())) {
    user_.message("(2736073)Internal error"_cp);
    return false;
  }
  const bool isNew = editIndex_ == int(all.size());
  if (isNew) all.emplace_back();
  DevicePassport& p = all[editIndex_];
  StoreFields(fields, p);
  for (int i = 0; i < UsedChannels(p); ++i) {
    p.slopes[i] = slopes_[i];
    p.shifts[i] = shifts_[i];
  }
  // Checked on the copy: a refused passport leaves the registry and the rows as they were.
  PassportRegistry check;
  check.showMessage = registry_.showMessage;
  check.passports = all;
  if (CheckDuplicateNumbers(check) != 0) return false;

  if (p.fileName.empty()) p.fileName = FreePassportFileName(p.deviceNumber);
  if (isNew) {
    const std::vector<SensorFrame> frames = LastPushFrames();
    if (!frames.empty()) ApplyDraftRanges(RangesOfFrames(frames, false), p);
  }
  StampNow(p);
  WriteBinaryPassport(p, p.fileName);
  WriteAutoconnectFile(p, p.fileName);
  const bool rewrite =
      isNew || user_.askYes(
                   "Перезаписать текстовый файл с паспортом устройства?\n(иначе будет перезаписан "
                   "только бинарный файл\n    с паспортом устройства и он в дальнейшем будет "
                   "использоваться)"_cp);
  WriteDvp(WithoutLast3(p.fileName) + (rewrite ? "dvp" : "_dvp_"), p);

  const Row row{p.deviceNumber, DeviceIdText(p), OkFlagsText(p), p.useForAutoconnect != 0};
  if (!Commit(std::move(all))) return false;
  if (isNew) {
    rows_.insert(rows_.begin() + editIndex_, row);
  } else {
    // The row follows a changed number, so the passport can still be found by it.
    rows_[editIndex_].number = row.number;
    rows_[editIndex_].id = row.id;
    rows_[editIndex_].health = row.health;
  }
  view_ = 0;
  return true;
}

int PassportsEditor::Exit(const std::vector<bool>& checks) {
  std::vector<DevicePassport> all;
  if (!Snapshot(all)) return 0;
  int rewritten = 0;
  for (DevicePassport& p : all) {
    for (size_t row = 0; row < rows_.size() && row < checks.size(); ++row) {
      if (rows_[row].number != p.deviceNumber) continue;
      const int mark = checks[row] ? 1 : 0;
      if (mark != (p.useForAutoconnect != 0 ? 1 : 0)) {
        p.useForAutoconnect = mark;
        WriteAutoconnectFile(p, p.fileName);
        ++rewritten;
      }
      break;
    }
  }
  for (size_t row = 0; row < rows_.size() && row < checks.size(); ++row)
    rows_[row].checked = checks[row];
  if (rewritten) Commit(std::move(all));
  return rewritten;
}

}  // namespace tester

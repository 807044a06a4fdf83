#include "acquisition/db_mapping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "acquisition/detail/bytes.h"
#include "platform/clock.h"

namespace {

// The DeviceData layout: every field is followed by one byte that stays 0.
class BlockWriter {
 public:
  explicit BlockWriter(unsigned char* b) : b_(b) {}
  void Raw(const void* data, size_t n) {
    std::memcpy(b_ + pos_, data, n);
    pos_ += n + 1;
  }
  void I32(int32_t v) {
    detail::StoreU32(b_ + pos_, static_cast<uint32_t>(v));
    pos_ += 5;
  }
  void F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    detail::StoreU32(b_ + pos_, static_cast<uint32_t>(u));
    detail::StoreU32(b_ + pos_ + 4, static_cast<uint32_t>(u >> 32));
    pos_ += 9;
  }
  template <size_t N>
  void F64s(const std::array<double, N>& v) {
    for (size_t i = 0; i < N; ++i) {
      uint64_t u;
      std::memcpy(&u, &v[i], 8);
      detail::StoreU32(b_ + pos_ + 8 * i, static_cast<uint32_t>(u));
      detail::StoreU32(b_ + pos_ + 8 * i + 4, static_cast<uint32_t>(u >> 32));
    }
    pos_ += 8 * N + 1;
  }
  template <size_t N>
  void I32s(const std::array<int32_t, N>& v) {
    for (size_t i = 0; i < N; ++i) detail::StoreU32(b_ + pos_ + 4 * i, static_cast<uint32_t>(v[i]));
    pos_ += 4 * N + 1;
  }
  size_t Position() const { return pos_; }

 private:
  unsigned char* b_;
  size_t pos_ = 0;
};

class BlockReader {
 public:
  explicit BlockReader(const unsigned char* b) : b_(b) {}
  void Raw(void* out, size_t n) {
    std::memcpy(out, b_ + pos_, n);
    pos_ += n + 1;
  }
  int32_t I32() {
    int32_t v = static_cast<int32_t>(detail::LoadU32(b_ + pos_));
    pos_ += 5;
    return v;
  }
  double F64At(size_t at) const {
    uint64_t u =
        uint64_t(detail::LoadU32(b_ + at)) | (uint64_t(detail::LoadU32(b_ + at + 4)) << 32);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }
  double F64() {
    double v = F64At(pos_);
    pos_ += 9;
    return v;
  }
  template <size_t N>
  void F64s(std::array<double, N>& v) {
    for (size_t i = 0; i < N; ++i) v[i] = F64At(pos_ + 8 * i);
    pos_ += 8 * N + 1;
  }
  template <size_t N>
  void I32s(std::array<int32_t, N>& v) {
    for (size_t i = 0; i < N; ++i) v[i] = static_cast<int32_t>(detail::LoadU32(b_ + pos_ + 4 * i));
    pos_ += 4 * N + 1;
  }

 private:
  const unsigned char* b_;
  size_t pos_ = 0;
};

void CopyTime(int16_t out[7], const FrameTime& t) {
  int16_t v[7] = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond};
  std::memcpy(out, v, sizeof v);
}

FrameTime TimeOf(const int16_t in[7]) {
  return FrameTime{in[0], in[1], in[2], in[3], in[4], in[5], in[6]};
}

FrameTime FromSeconds(int64_t seconds) {
  std::tm tm{};
  if (!LocalTime(static_cast<std::time_t>(seconds), tm)) return FrameTime{0, 0, 0, -1, -1, -1, 0};
  return FrameTime{static_cast<int16_t>(tm.tm_year + 1900),
                   static_cast<int16_t>(tm.tm_mon + 1),
                   static_cast<int16_t>(tm.tm_mday),
                   static_cast<int16_t>(tm.tm_hour),
                   static_cast<int16_t>(tm.tm_min),
                   static_cast<int16_t>(tm.tm_sec),
                   0};
}

// Local time of a frame time in seconds; 0 when the date is not set.
int64_t ToSeconds(const FrameTime& t) {
  if (t.year <= 0 || t.month < 1 || t.day < 1) return 0;
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = std::max<int>(t.hour, 0);
  tm.tm_min = std::max<int>(t.minute, 0);
  tm.tm_sec = std::max<int>(t.second, 0);
  tm.tm_isdst = -1;
  std::time_t s = std::mktime(&tm);
  return s == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(s);
}

template <typename T>
T* AllocateArray(size_t n) {
  if (n == 0) return nullptr;
  void* p = std::calloc(n, sizeof(T));
  if (!p) throw std::bad_alloc();
  return static_cast<T*>(p);
}

char* CopyText(const Text1251& s) {
  char* p = AllocateArray<char>(s.size() + 1);
  std::memcpy(p, s.data(), s.size());
  return p;
}

}  // namespace

int PassportToDeviceData(unsigned char* block, const DevicePassport& p) {
  std::memset(block, 0, MEDSTORE_DEVICE_DATA_SIZE);
  BlockWriter w(block);
  w.I32(kDeviceDataVersion);
  w.I32(p.headerA);
  w.I32(p.headerB);
  w.I32(p.headerC);
  w.Raw(p.title.data(), p.title.size());
  w.I32(p.numChannels);
  std::array<int32_t, 2 * kPassportChannels> ranges{};
  for (int i = 0; i < kPassportChannels; ++i) {
    ranges[2 * i] = p.rangeLo[i];
    ranges[2 * i + 1] = p.rangeHi[i];
  }
  w.I32s(ranges);
  w.I32s(p.ok);
  w.I32(p.deviceNumber);
  uint8_t id[32] = {};
  std::memcpy(id, p.deviceId.data(), 6);
  w.Raw(id, sizeof id);
  std::array<int32_t, 6> date = {p.year, p.month, p.day, p.hour, p.minute, p.second};
  w.I32s(date);
  w.I32(p.refNumber);
  w.F64s(p.slopes);
  w.F64s(p.shifts);
  w.F64s(p.noiseLevel);
  w.F64(p.refSlope);
  w.F64(p.refShift);
  w.I32(p.version);
  w.F64s(p.nullValues);
  w.F64s(p.maxValues);
  w.I32(p.hasNullValues);
  w.I32(p.hasMaxValues);
  w.I32(p.useForAutoconnect);
  w.F64(p.diameter);
  w.I32(p.secondButton);
  return 0;
}

int PassportFromDeviceData(const unsigned char* block, DevicePassport& p) {
  BlockReader r(block);
  int32_t v = r.I32();
  p.headerA = r.I32();
  p.headerB = r.I32();
  p.headerC = r.I32();
  r.Raw(p.title.data(), p.title.size());
  p.numChannels = r.I32();
  std::array<int32_t, 2 * kPassportChannels> ranges{};
  r.I32s(ranges);
  for (int i = 0; i < kPassportChannels; ++i) {
    p.rangeLo[i] = ranges[2 * i];
    p.rangeHi[i] = ranges[2 * i + 1];
  }
  r.I32s(p.ok);
  p.deviceNumber = r.I32();
  uint8_t id[32];
  r.Raw(id, sizeof id);
  std::memcpy(p.deviceId.data(), id, 6);
  std::array<int32_t, 6> date{};
  r.I32s(date);
  p.year = date[0];
  p.month = date[1];
  p.day = date[2];
  p.hour = date[3];
  p.minute = date[4];
  p.second = date[5];
  p.refNumber = r.I32();
  r.F64s(p.slopes);
  r.F64s(p.shifts);
  r.F64s(p.noiseLevel);
  p.refSlope = r.F64();
  p.refShift = r.F64();
  p.version = r.I32();
  r.F64s(p.nullValues);
  r.F64s(p.maxValues);
  p.hasNullValues = r.I32();
  p.hasMaxValues = r.I32();
  if (v >= 123) {
    p.useForAutoconnect = r.I32();
    p.diameter = r.F64();
  }
  if (v >= 124) p.secondButton = r.I32();
  return 0;
}

void PushToDatabase(push_item& rec, const Push& push, int operationId, const Text1251& notes) {
  rec.size = sizeof(push_item);
  rec.version = MEDSTORE_ITEM_VERSION;
  rec.OperationID = operationId;
  rec.DeviceID = 0;
  std::memset(rec.DeviceIDTxt, 0, sizeof rec.DeviceIDTxt);
  Text1251 id = DeviceIdText(push.passport);
  std::memcpy(rec.DeviceIDTxt, id.data(), std::min(id.size(), sizeof rec.DeviceIDTxt - 1));
  FrameTime start = push.startTime != 0   ? FromSeconds(push.startTime)
                    : push.frames.empty() ? FrameTime{}
                                          : push.frames.front().captureTime;
  CopyTime(rec.Time, start);
  rec.DT = 10;
  rec.HeadNum = kSensorCount;
  rec.RawNum = kAuxCapacity;
  const size_t n = push.frames.size();
  rec.NPress = static_cast<int32_t>(n);
  rec.Press = AllocateArray<push_frame>(n);
  rec.RawPress = AllocateArray<push_frame>(n);
  for (size_t i = 0; i < n; ++i) {
    const auto& f = push.frames[i];
    rec.Press[i].Values = AllocateArray<int32_t>(kSensorCount);
    std::copy(f.values.begin(), f.values.end(), rec.Press[i].Values);
    CopyTime(rec.Press[i].Time, f.captureTime);
    rec.RawPress[i].Values = AllocateArray<int32_t>(kAuxCapacity);
    std::copy(f.aux.begin(), f.aux.begin() + kAuxWordsInUse, rec.RawPress[i].Values);
    CopyTime(rec.RawPress[i].Time, f.captureTime);
  }
  rec.Notes = notes.empty() ? nullptr : CopyText(notes);
  const int labels = push.LabelCount();
  rec.NLabels = labels;
  rec.Labels = AllocateArray<push_label>(static_cast<size_t>(labels));
  int k = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!push.frames[i].HasLabel()) continue;
    rec.Labels[k].Type = 0;
    rec.Labels[k].ElementaryPush = static_cast<int32_t>(i);
    rec.Labels[k].Comment = CopyText({});
    ++k;
  }
  PassportToDeviceData(rec.DeviceData, push.passport);
}

void PushFromDatabase(Push& push, const push_item& rec) {
  DevicePassport passport = push.passport;
  FreePush(push);
  PassportFromDeviceData(rec.DeviceData, passport);
  push.passport = passport;
  push.hasPassport = true;

  const int n = rec.Press ? std::max(rec.NPress, 0) : 0;
  const int head = std::clamp(rec.HeadNum, 0, kSensorCount);
  const int raw = std::clamp(rec.RawNum, 0, kAuxWordsInUse);
  AllocateFrames(push, n);
  for (int i = 0; i < n; ++i) {
    auto& f = push.frames[i];
    const push_frame& pf = rec.Press[i];
    if (pf.Values) std::copy(pf.Values, pf.Values + head, f.values.begin());
    f.captureTime = TimeOf(pf.Time);
    f.storedTime = f.captureTime;
    if (rec.RawPress) {
      const push_frame& rf = rec.RawPress[i];
      if (rf.Values) std::copy(rf.Values, rf.Values + raw, f.aux.begin());
      f.storedTime = TimeOf(rf.Time);
    }
  }
  if (rec.Labels) {
    for (int k = 0; k < std::max(rec.NLabels, 0); ++k) {
      int at = rec.Labels[k].ElementaryPush;
      if (at >= 0 && at < n) push.frames[at].SetLabel(true);
    }
  }
  ComputeLabelCounts(push);
  push.startTime = ToSeconds(TimeOf(rec.Time));
  push.endTime = n > 0 ? ToSeconds(push.frames.back().captureTime) : push.startTime;
}

void ReleasePushRecord(push_item& rec) {
  for (push_frame* frames : {rec.Press, rec.RawPress}) {
    if (!frames) continue;
    for (int i = 0; i < std::max(rec.NPress, 0); ++i) std::free(frames[i].Values);
    std::free(frames);
  }
  rec.Press = rec.RawPress = nullptr;
  rec.NPress = 0;
  if (rec.Labels) {
    for (int k = 0; k < std::max(rec.NLabels, 0); ++k) std::free(rec.Labels[k].Comment);
    std::free(rec.Labels);
  }
  rec.Labels = nullptr;
  rec.NLabels = 0;
  std::free(rec.Notes);
  rec.Notes = nullptr;
}

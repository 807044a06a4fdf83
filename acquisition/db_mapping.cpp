#include "acquisition/db_mapping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "acquisition/detail/passport_fields.h"
#include "platform/clock.h"

namespace {

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
  detail::FieldWriter w;
  w.gap = 1;  // every field is followed by one byte that stays 0
  w.I32(kDeviceDataVersion);
  w.EndField();
  detail::PassportFields(w, p, detail::PassportPresence{});
  std::memset(block, 0, MEDSTORE_DEVICE_DATA_SIZE);
  std::memcpy(block, w.out.bytes.data(), w.out.bytes.size());
  return 0;
}

int PassportFromDeviceData(const unsigned char* block, DevicePassport& p) {
  detail::FieldReader r{detail::ByteReader(block, MEDSTORE_DEVICE_DATA_SIZE), 1};
  int32_t v = 0;
  r.I32(v);
  r.EndField();
  // Null and max values are always there; fields an older record lacks keep p's values.
  detail::PassportFields(r, p,
                         {.nullAndMax = true,
                          .autoconnect = v >= 123,
                          .diameter = v >= 123,
                          .secondButton = v >= 124});
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

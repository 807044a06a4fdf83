#include "acquisition/push.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/clock.h"
#include "platform/file.h"

const char* SensorTypeText(SensorType type) {
  switch (type) {
    case kSensorWireless:
      return "беспров.версия"_cp;
    case kSensorMobile:
      return "мобильная версия"_cp;
    default:
      return "???";
  }
}

std::array<uint8_t, kImageBytes> PacketImage::Bytes() const {
  std::array<uint8_t, kImageBytes> out{};
  for (int k = 0; k < kImageWords; ++k) {
    auto w = static_cast<uint16_t>(words[k]);
    out[2 * k] = static_cast<uint8_t>(w & 0xFF);
    out[2 * k + 1] = static_cast<uint8_t>(w >> 8);
  }
  out[kImageBytes - 1] = tail;
  return out;
}

PacketImage PacketImage::FromPacket(const uint8_t* packet, size_t length, int32_t index) {
  PacketImage image;
  image.index = index;
  length = std::min<size_t>(length, kImageBytes);
  for (size_t k = 0; 2 * k + 1 < length; ++k)
    image.words[k] = static_cast<int16_t>(packet[2 * k] | (packet[2 * k + 1] << 8));
  if (length == kImageBytes) image.tail = packet[kImageBytes - 1];
  return image;
}

FrameTime FrameTime::Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  std::time_t t = static_cast<std::time_t>(ms / 1000);
  FrameTime ft;
  std::tm tm{};
  if (!LocalTime(t, tm)) {
    ft.hour = ft.minute = ft.second = -1;
    return ft;
  }
  ft.year = static_cast<int16_t>(tm.tm_year + 1900);
  ft.month = static_cast<int16_t>(tm.tm_mon + 1);
  ft.day = static_cast<int16_t>(tm.tm_mday);
  ft.hour = static_cast<int16_t>(tm.tm_hour);
  ft.minute = static_cast<int16_t>(tm.tm_min);
  ft.second = static_cast<int16_t>(tm.tm_sec);
  ft.millisecond = static_cast<int16_t>(ms % 1000);
  return ft;
}

int64_t FrameTime::ToMilliseconds() const {
  using namespace std::chrono;
  int64_t days = 0;
  if (year > 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
    year_month_day ymd{std::chrono::year(year), std::chrono::month(unsigned(month)),
                       std::chrono::day(unsigned(day))};
    days = sys_days(ymd).time_since_epoch().count();
  }
  return ((days * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL + millisecond;
}

PushStream::PushStream() = default;
PushStream::~PushStream() = default;
PushStream::PushStream(const PushStream&) {}
PushStream& PushStream::operator=(const PushStream&) { return *this; }
PushStream::PushStream(PushStream&&) noexcept = default;
PushStream& PushStream::operator=(PushStream&&) noexcept = default;
bool PushStream::IsOpen() const { return file && file->IsOpen(); }

int Push::LabelCount() const {
  return static_cast<int>(std::count_if(frames.begin(), frames.end(),
                                        [](const SensorFrame& f) { return f.HasLabel(); }));
}

Push CreatePush() { return Push{}; }

void AllocateFrames(Push& push, int n) {
  push.frames.assign(static_cast<size_t>(std::max(n, 0)), SensorFrame{});
  push.currentFrame = 0;
}

void FreePush(Push& push) {
  if (push.stream.file) push.stream.file->Close();
  if (push.stream.textDump) push.stream.textDump->Close();
  push.stream = PushStream{};
  push.frames.clear();
  push.frames.shrink_to_fit();
  push.fileName.clear();
  push.sensorType = kSensorUnknown;
  push.currentFrame = 0;
}

void CopyPush(Push& destination, const Push& source) {
  if (&destination == &source) return;
  destination = source;  // the stream is not copied (see PushStream)
}

void CopyFrame(SensorFrame& destination, const SensorFrame& source) { destination = source; }

void ComputeLabelCounts(Push& push) {
  int count = 0;
  for (size_t i = 0; i < push.frames.size(); ++i) {
    if (i > 0) count += push.frames[i].flags & 1;
    push.frames[i].labelCount = count;
  }
}

void ComputePushStatistics(Push& push, const Visibility& visible, const Push* reference) {
  PushStatistics s;  // 0..255, 0..1, sums 0
  const auto& frames = push.frames;
  if (frames.empty()) {
    push.statistics = s;
    return;
  }
  std::array<double, kSensorCount> refMin{}, refSpan{};
  if (reference) {
    for (int i = 0; i < kSensorCount; ++i) {
      refMin[i] = reference->statistics.sensorMin[i];
      refSpan[i] = std::max(double(reference->statistics.sensorMax[i]) - refMin[i], 1e-10);
    }
  }
  auto norm = [&](int i, int32_t v) {
    return reference ? (v - refMin[i]) / refSpan[i] : double(v);
  };

  for (int i = 0; i < kSensorCount; ++i) s.sensorMin[i] = s.sensorMax[i] = frames[0].values[i];
  int firstVisible = -1;
  for (int i = 0; i < kSensorCount && firstVisible < 0; ++i)
    if (visible[i]) firstVisible = i;
  if (firstVisible >= 0) {
    int32_t v = frames[0].values[firstVisible];
    s.minValue = s.maxValue = v;
    s.normMin = s.normMax = static_cast<float>(norm(firstVisible, v));
  }

  for (const auto& f : frames) {
    for (int i = 0; i < kSensorCount; ++i) {
      int32_t v = f.values[i];
      s.sensorMin[i] = std::min(s.sensorMin[i], v);
      s.sensorMax[i] = std::max(s.sensorMax[i], v);
      if (!visible[i]) continue;
      s.minValue = std::min(s.minValue, v);
      s.maxValue = std::max(s.maxValue, v);
      double n = norm(i, v);
      s.normMin = std::min(s.normMin, static_cast<float>(n));
      s.normMax = std::max(s.normMax, static_cast<float>(n));
      s.sensorSum[i] += n;
    }
  }

  if (firstVisible >= 0) {
    s.sumMin = 1e30;
    s.sumMax = -1e30;
    for (int i = 0; i < kSensorCount; ++i) {
      if (!visible[i]) continue;
      s.sumMin = std::min(s.sumMin, s.sensorSum[i]);
      s.sumMax = std::max(s.sumMax, s.sensorSum[i]);
    }
  }
  push.statistics = s;
}

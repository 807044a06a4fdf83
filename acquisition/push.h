// The in-memory model of mechanoreceptor data: the packet image handed over by the link, a frame
// (one sample of the 19 sensors), a push (one recorded press with its labels and passport) and
// the statistics kept with a push for display. Sensors are 1..19 on screen and 0..18 in arrays.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "acquisition/device_passport.h"
#include "platform/cp1251.h"

class File;

inline constexpr int kSensorCount = 19;
inline constexpr int kAuxCapacity = 46;    // aux slots allocated per frame
inline constexpr int kAuxWordsInUse = 28;  // aux words stored by version 1006 files
inline constexpr int kAuxWordsOld = 26;    // aux words stored by versions 1003..1005
inline constexpr int kLiveHistory = 100;   // frames kept by a recording window
inline constexpr int kImageWords = 45;
inline constexpr int kImageBytes = 91;

// Sensor type of a push.
using SensorType = int;
inline constexpr SensorType kSensorUnknown = 0;
inline constexpr SensorType kSensorWireless = 1;
inline constexpr SensorType kSensorMobile = 2;
// "беспров.версия", "мобильная версия" or "???" (CP1251).
const char* SensorTypeText(SensorType type);

// What the link delivers for one display period: the packet words averaged over the period.
// Packets shorter than 91 bytes fill only their leading words.
struct PacketImage {
  std::array<int16_t, kImageWords> words{};
  uint8_t tail = 0;   // last byte of a 91-byte packet
  int32_t index = 0;  // delivery counter since the link connected

  // The raw 91 bytes (words little-endian, then the tail).
  std::array<uint8_t, kImageBytes> Bytes() const;
  // Image of one raw packet of up to 91 bytes; missing bytes are 0.
  static PacketImage FromPacket(const uint8_t* packet, size_t length, int32_t index = 0);
};

// Local time of a frame. Undetermined fields hold 0 (date) or -1 (time of day).
struct FrameTime {
  int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;

  bool operator==(const FrameTime&) const = default;
  static FrameTime Now();
  // Milliseconds since an arbitrary epoch (for durations between frames); date fields <= 0
  // count as the epoch's.
  int64_t ToMilliseconds() const;
};

struct SensorFrame {
  std::array<int32_t, kSensorCount> values{};  // raw values, sensor order 1..19
  std::array<int32_t, kAuxCapacity> aux{};
  FrameTime captureTime;
  FrameTime storedTime;
  int16_t statusWord0 = 0;
  int16_t statusWord1 = 0;
  std::array<int16_t, 10> extraWords{};
  int32_t index = 0;
  int32_t flags = 0;       // bit 0: the frame carries a label
  int32_t labelCount = 0;  // running count of labels up to this frame

  bool HasLabel() const { return (flags & 1) != 0; }
  void SetLabel(bool on) { flags = on ? (flags | 1) : (flags & ~1); }
};

struct PushStatistics {
  int32_t minValue = 0;
  int32_t maxValue = 255;
  std::array<int32_t, kSensorCount> sensorMin{};
  std::array<int32_t, kSensorCount> sensorMax{};
  float normMin = 0.0f;
  float normMax = 1.0f;
  std::array<double, kSensorCount> sensorSum{};
  double sumMin = 0.0;
  double sumMax = 0.0;
};

// The open stream file of a push being recorded. It belongs to one push only: copying a push
// leaves the copy without a stream, and assigning a push keeps the destination's own stream.
struct PushStream {
  enum class State { kNoFile, kVersionWritten, kPassportWritten };
  State state = State::kNoFile;
  std::unique_ptr<File> file;      // "pars\tmpSavedData.bin"
  std::unique_ptr<File> textDump;  // "pars\tmpSavedDataTxt.txt" when switched on
  Text1251 fileName;
  Text1251 textDumpName;
  Text1251 markerName;  // the marker naming the operation folder, while there is one
  bool writeFailed = false;

  PushStream();
  ~PushStream();
  PushStream(const PushStream&);
  PushStream& operator=(const PushStream&);
  PushStream(PushStream&&) noexcept;
  PushStream& operator=(PushStream&&) noexcept;
  bool IsOpen() const;
};

using Visibility = std::array<bool, kSensorCount>;
inline constexpr Visibility kAllVisible = {true, true, true, true, true, true, true,
                                           true, true, true, true, true, true, true,
                                           true, true, true, true, true};

struct Push {
  Text1251 fileName;
  std::vector<SensorFrame> frames;
  int sensorCount = kSensorCount;
  SensorType sensorType = kSensorUnknown;
  int currentFrame = 0;
  DevicePassport passport;
  bool hasPassport = false;  // recorded live or read with a passport block
  int64_t startTime = 0;     // seconds since 1970
  int64_t endTime = 0;
  std::array<int32_t, kSensorCount> secondValues{};
  PushStatistics statistics;
  PushStream stream;

  int FrameCount() const { return static_cast<int>(frames.size()); }
  int LabelCount() const;
};

Push CreatePush();
void AllocateFrames(Push& push, int n);  // n empty frames (n < 0 counts as 0)
void FreePush(Push& push);
void CopyPush(Push& destination, const Push& source);
void CopyFrame(SensorFrame& destination, const SensorFrame& source);
void ComputeLabelCounts(Push& push);
// Statistics over the visible sensors; display-normalized values against reference's
// sensorMin/sensorMax when a reference push is given, else the raw values.
void ComputePushStatistics(Push& push, const Visibility& visible, const Push* reference = nullptr);

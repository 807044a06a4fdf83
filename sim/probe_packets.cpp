#include "sim/probe_packets.h"

#include <cstddef>

namespace sim {

namespace {

// Packet words of sensors 1..19, per format, as the wire carries them.
constexpr int kWords0[kSensors] = {10, 8,  6,  11, 9,  7,  24, 14, 13, 12,
                                   23, 22, 15, 17, 19, 21, 16, 18, 20};
constexpr int kWords1[kSensors] = {8,  6,  4,  9,  7,  5,  22, 12, 11, 10,
                                   21, 20, 13, 15, 17, 19, 14, 16, 18};
constexpr int kWords2[kSensors] = {11, 9,  7,  12, 10, 8,  25, 15, 14, 13,
                                   24, 23, 16, 18, 20, 22, 17, 19, 21};

void PutWord(std::vector<uint8_t>& p, int word, int value) {
  auto v = static_cast<uint16_t>(value);
  p[2 * word] = static_cast<uint8_t>(v & 0xFF);
  p[2 * word + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> EncodeTc(int format, const std::array<int16_t, kSensors>& s,
                              const ProbeStatus& st, bool badHeader) {
  std::vector<uint8_t> p(static_cast<std::size_t>(PacketLength(format)), 0);
  p[0] = badHeader ? 'X' : 'T';
  p[1] = badHeader ? 'X' : 'C';
  p[2] = '1';
  p[3] = format == 0 ? '2' : '4';
  for (int i = 0; i < kSensors; ++i)
    PutWord(p, SensorWord(format, i), s[static_cast<std::size_t>(i)]);
  if (format == 0) {
    PutWord(p, 2, st.counter);
    PutWord(p, 3, st.supply0);
    PutWord(p, 4, st.supply1);
    PutWord(p, 25, st.marker);
  } else {
    PutWord(p, 3, st.counter);
    PutWord(p, 23, st.supplyRaw);
    PutWord(p, 24, st.button);
    PutWord(p, 25, st.marker);
    PutWord(p, 26, 0x0101);
    PutWord(p, 27, 0);
  }
  return p;
}

}  // namespace

int PacketLength(int format) {
  switch (format) {
    case 0:
      return 52;
    case 1:
      return 56;
    case 2:
      return 91;
    default:
      return 0;
  }
}

int SensorWord(int format, int sensor) {
  if (sensor < 0 || sensor >= kSensors) return -1;
  switch (format) {
    case 0:
      return kWords0[sensor];
    case 1:
      return kWords1[sensor];
    case 2:
      return kWords2[sensor];
    default:
      return -1;
  }
}

std::vector<uint8_t> EncodePacket(int format, const std::array<int16_t, kSensors>& sensors,
                                  const ProbeStatus& status, bool badHeader) {
  if (format == 0 || format == 1) return EncodeTc(format, sensors, status, badHeader);
  std::vector<uint8_t> p(91, 0);
  p[0] = badHeader ? 'X' : 'K';
  p[1] = badHeader ? 'X' : 'T';
  p[2] = 'Z';
  p[3] = static_cast<uint8_t>(status.counter & 0xFF);
  p[4] = static_cast<uint8_t>(status.counter >> 8);
  p[5] = 'A';
  for (int i = 0; i < kSensors; ++i)
    PutWord(p, SensorWord(2, i), sensors[static_cast<std::size_t>(i)]);
  PutWord(p, 30, status.marker);
  uint8_t sum = 0;
  for (std::size_t i = 0; i < 90; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  p[90] = sum;  // final byte: a simple sum of the others
  return p;
}

std::vector<uint8_t> EncodeSecondPacket(int format, const std::array<int16_t, kSensors>& sensors,
                                        const ProbeStatus& status) {
  return EncodeTc(format == 0 ? 0 : 1, sensors, status, false);
}

}  // namespace sim

// Packet encoder of the simulated probe: builds the bytes a probe puts on the wire, written
// from the wire description independently of the link's decoder, so the tests check one
// against the other.
//
// Formats: 0 = 52 bytes "TC12", 26 words; 1 = 56 bytes "TC14", 28 words; 2 = 91 bytes "KTZ",
// two bytes, "A", 45 words and a final byte. Words are little-endian 16-bit.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

inline constexpr int kSensors = 19;

int PacketLength(int format);  // 52, 56 or 91; 0 for an unknown format

// Word of the packet that carries sensor s (0-based, sensor 1 first) in each format.
int SensorWord(int format, int sensor);

struct ProbeStatus {
  int16_t supply0 = 372;  // format 0: words 3 and 4, volts × 100
  int16_t supply1 = 368;
  int16_t supplyRaw = 12700;  // format 1: word 23, volts = raw × 7.5517 / 20000
  int16_t button = 0;         // format 1: word 24, the probe's second button
  int16_t marker = 0;         // spare word (0: 25, 1: 25, 2: 30) for timing probes
  uint16_t counter = 0;       // packet counter (0: word 2, 1: word 3, 2: bytes 3-4)
};

// One packet of the first probe. badHeader replaces the "TC"/"KT" bytes by "XX".
std::vector<uint8_t> EncodePacket(int format, const std::array<int16_t, kSensors>& sensors,
                                  const ProbeStatus& status, bool badHeader = false);

// One packet of a second probe: always "TC", 52 bytes for format 0 and 56 otherwise.
std::vector<uint8_t> EncodeSecondPacket(int format, const std::array<int16_t, kSensors>& sensors,
                                        const ProbeStatus& status);

}  // namespace sim

#include "acquisition/wire_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Packet word offset (from the byte base) of sensors 1..19.
constexpr int kSensorIdx[kSensorCount] = {5,  3,  1,  6,  4,  2,  19, 9,  8, 7,
                                          18, 17, 10, 12, 14, 16, 11, 13, 15};

bool IsTc(const uint8_t* p) { return p[0] == 'T' && p[1] == 'C'; }
bool IsKtz(const uint8_t* p) { return p[0] == 'K' && p[1] == 'T' && p[2] == 'Z'; }
int Normalized(int format) { return (format == 1 || format == 2) ? format : 0; }

}  // namespace

int PacketLength(int format, bool detecting) {
  switch (format) {
    case 1:
      return 56;
    case 2:
      return 91;
    case 0:
      return 52;
    default:
      return detecting ? 91 : 52;
  }
}

int PacketWords(int format) { return PacketLength(Normalized(format)) / 2; }

int SecondPacketLength(int format) { return (format == 1 || format == 2) ? 56 : 52; }

bool CheckReply(const uint8_t* b, size_t n, int format, bool adapter) {
  n = std::min<size_t>(n, 100);
  if (format == 2) {
    for (size_t j = 0; j < 94 && j + 5 < n; ++j)
      if (IsKtz(b + j) && b[j + 5] == 'A') return true;
    return false;
  }
  if (adapter) {
    static const char kMarker[] = "CONNECTION";
    for (size_t j = 0; j < 90 && j + 10 <= n; ++j)
      if (std::memcmp(b + j, kMarker, 10) == 0) return true;
    return false;
  }
  for (size_t j = 0; j < 98 && j + 1 < n; ++j)
    if (IsTc(b + j)) return true;
  return false;
}

bool FeedByte(PacketAssembler& a, uint8_t byte) {
  if (a.filled >= kMaxPacketLength) a.filled = 0;  // cannot happen; keeps the buffer bounded
  a.buffer[a.filled++] = byte;
  bool ktzFormat = a.format == 2 && !a.secondReceptor;
  if (!ktzFormat) {
    if (a.filled == 2 && !IsTc(a.buffer.data())) {
      a.buffer[0] = a.buffer[1];
      a.filled = 1;
      return false;
    }
  } else if (a.filled == 3 && !IsKtz(a.buffer.data())) {
    a.buffer[0] = a.buffer[1];
    a.buffer[1] = a.buffer[2];
    a.filled = 2;
    return false;
  }
  if (a.filled >= a.Length()) {
    std::copy(a.buffer.begin(), a.buffer.begin() + a.filled, a.packet.begin());
    a.packetLength = a.filled;
    a.filled = 0;
    return true;
  }
  return false;
}

bool IsValidPacket(const uint8_t* p, int length, int format) {
  if (format == 2) return length >= 6 && IsKtz(p) && p[5] == 'A';
  return length >= 2 && IsTc(p);
}

int FormatOfPacket(const uint8_t* p, int length) {
  if (length >= 2 && p[0] == 'K' && p[1] == 'T') return 2;
  if (length < 4) return kFormatUnknown;
  if (p[2] == '1' && p[3] == '2') return 0;
  if (p[2] == '1' && p[3] == '4') return 1;
  return kFormatUnknown;
}

int DetectFormat(ByteSource& source, const std::atomic<bool>& stop, int& format) {
  PacketAssembler a;
  a.detecting = true;
  a.format = format;
  const auto startSecond = static_cast<long long>(std::floor(source.Seconds()));
  int valid = 0;
  long long bytesRead = 0;
  bool gotData = false;
  double lastByte = 0;
  for (;;) {
    if (stop.load()) return -9;
    if (static_cast<long long>(std::floor(source.Seconds())) - startSecond >= 3)
      return valid > 10 ? 0 : -10;
    uint8_t byte = 0;
    int r = source.ReadByte(byte, 100);
    if (r < 0) return -9;
    if (r == 0) {
      if (gotData && source.Seconds() - lastByte >= 2.0) return -9;
      continue;
    }
    gotData = true;
    lastByte = source.Seconds();
    ++bytesRead;
    a.format = format;
    if (FeedByte(a, byte)) {
      if (IsValidPacket(a.packet.data(), a.packetLength, format)) {
        ++valid;
        format = FormatOfPacket(a.packet.data(), a.packetLength);
        if (valid > 30) return 0;
      }
    } else if (bytesRead > 4 && format != 2 && a.filled >= 4 && IsTc(a.buffer.data())) {
      // The header of the packet being assembled decides its length.
      format = (a.buffer[2] == '1' && a.buffer[3] == '4') ? 1 : 0;
    }
  }
}

void StorePacket(PacketRing& ring, const uint8_t* packet, int length) {
  length = std::clamp(length, 0, kMaxPacketLength);
  auto& slot = ring.packets[ring.position];
  slot.fill(0);
  for (int k = 0; 2 * k + 1 < length; ++k)
    slot[k] = static_cast<int16_t>(packet[2 * k] | (packet[2 * k + 1] << 8));
  if (length == kMaxPacketLength) ring.tail = packet[kMaxPacketLength - 1];
  ring.position = (ring.position + 1) % kPacketRingSize;
  ring.count = std::min(ring.count + 1, kPacketRingSize);
}

int AveragePackets(PacketRing& ring, PacketImage& image, bool unsignedWords) {
  int n = std::clamp(ring.count, 0, kPacketRingSize);
  if (n == 1) {
    image.words = ring.packets[0];
  } else if (n > 1) {
    for (int k = 0; k < kImageWords; ++k) {
      int64_t sum = 0;
      for (int i = 0; i < n; ++i)
        sum += unsignedWords ? int64_t(static_cast<uint16_t>(ring.packets[i][k]))
                             : int64_t(ring.packets[i][k]);
      image.words[k] = static_cast<int16_t>(static_cast<uint16_t>(sum / n));
    }
  }
  if (n > 0) image.tail = ring.tail;
  ring.count = 0;
  ring.position = 0;
  return n;
}

int SensorWord(int sensor, int base) { return base / 2 + kSensorIdx[sensor]; }

int SensorBase(int format, bool fromDebugFile, bool secondReceptor) {
  int f = Normalized(format);
  if (secondReceptor) return f == 0 ? 10 : 6;
  if (f == 0) return 10;
  if (f == 1) return 6;
  return fromDebugFile ? 6 : 12;
}

void DecodeImage(const PacketImage& image, const PacketImage* second, int format,
                 bool fromDebugFile, SensorFrame& frame,
                 std::array<int32_t, kSensorCount>* secondValues) {
  const int f = Normalized(format);  // a format left undetermined decodes as format 0
  const int base = SensorBase(f, fromDebugFile, false);
  const auto& w = image.words;
  for (int s = 0; s < kSensorCount; ++s) frame.values[s] = w[SensorWord(s, base)];

  frame.extraWords.fill(0);
  if (f == 0) {
    frame.statusWord0 = w[3];
    frame.statusWord1 = w[4];
  } else if (f == 1) {
    frame.statusWord0 = w[23];
    frame.statusWord1 = w[26];
    for (int k = 0; k < 4; ++k) frame.extraWords[k] = w[23 + k];
    frame.extraWords[9] = w[3];
  } else {
    frame.statusWord0 = frame.statusWord1 = 0;
  }
  frame.index = image.index;
  if (fromDebugFile) return;

  frame.aux.fill(0);
  if (second) {
    const int sbase = SensorBase(f, false, true);
    for (int s = 0; s < kSensorCount; ++s) {
      int32_t v = second->words[SensorWord(s, sbase)];
      frame.aux[s] = v;
      if (secondValues) (*secondValues)[s] = v;
    }
  } else {
    for (int k = 0; k < kAuxWordsInUse; ++k) frame.aux[k] = w[k];
  }
}

Text1251 AdapterConnectCommand(std::string_view deviceIdText) {
  return "btcaa=" + Text1251(deviceIdText) + "\r\n";
}

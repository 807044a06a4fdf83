// The mechanoreceptor wire protocol: packet formats 0 ("TC12", 52 bytes), 1 ("TC14", 56 bytes)
// and 2 ("KTZ..A", 91 bytes), the adapter's reply check, packet assembly from a byte stream,
// format detection, averaging of one display period into a PacketImage, and decoding of an
// image into a SensorFrame. No ports here: bytes come through the small ByteSource interface.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "acquisition/push.h"

inline constexpr int kFormatUnknown = -1;
inline constexpr int kMaxPacketLength = 91;
inline constexpr int kPacketRingSize = 100;

// Packet length of a format: 52, 56 or 91. While detecting, an undetermined format (-1) reads
// 91 bytes; afterwards a format left at -1 is treated as format 0 (52 bytes).
int PacketLength(int format, bool detecting = false);
// Words of a packet of the format (26, 28, 45); -1 counts as format 0.
int PacketWords(int format);
// Length of the second mechanoreceptor's "TC" packets: 52 with format 0 (or -1), else 56.
int SecondPacketLength(int format);

// True when the expected marker is in the first bytes read after opening a port (at most 100).
bool CheckReply(const uint8_t* bytes, size_t count, int format, bool adapter);

// Cuts a byte stream into packets of the current format's length.
struct PacketAssembler {
  int format = 0;
  bool detecting = false;       // -1 reads 91 bytes while detecting
  bool secondReceptor = false;  // "TC" packets of SecondPacketLength(format)
  std::array<uint8_t, kMaxPacketLength> buffer{};
  int filled = 0;
  std::array<uint8_t, kMaxPacketLength> packet{};  // the last complete packet
  int packetLength = 0;

  int Length() const {
    return secondReceptor ? SecondPacketLength(format) : PacketLength(format, detecting);
  }
  void Reset() { filled = 0; }
};
// Appends one byte; true when it completed a packet (then in a.packet, a.packetLength bytes).
bool FeedByte(PacketAssembler& a, uint8_t byte);

// A byte stream with a clock, as format detection needs it. ReadByte waits at most timeoutMs
// and returns 1 with a byte, 0 when nothing came in time, -1 when the source is gone.
// Seconds is a monotonic clock in seconds (the port's own, or a test's simulated time).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int ReadByte(uint8_t& byte, int timeoutMs) = 0;
  virtual double Seconds() = 0;
};

// Detects the wire format from a live stream (format is read and updated). Returns 0 on
// success (more than 30 valid packets, or more than 10 within 3 whole seconds), -9 when the
// stream went silent for 2 seconds after data had started, the source was lost or a stop was
// requested, -10 when too few valid packets arrived.
int DetectFormat(ByteSource& source, const std::atomic<bool>& stop, int& format);
// True when a complete packet counts as valid during detection for the given format.
bool IsValidPacket(const uint8_t* packet, int length, int format);
// Format named by a valid packet's header: "TC12" 0, "TC14" 1, "KT" 2, otherwise -1.
int FormatOfPacket(const uint8_t* packet, int length);

// Packets stored during one display period (the reading loop fills it, the timer averages it).
struct PacketRing {
  std::array<std::array<int16_t, kImageWords>, kPacketRingSize> packets{};
  int count = 0;     // packets since the last period, at most 100
  int position = 0;  // next slot
  uint8_t tail = 0;  // last byte of the latest 91-byte packet
};
// Stores the words of one complete packet (its leading words; the rest 0).
void StorePacket(PacketRing& ring, const uint8_t* packet, int length);
// Averages the stored packets into image (truncated toward zero; the second mechanoreceptor's
// words added as unsigned). With no packets the image stays as it was (delivered again).
// Restarts the ring for the next period. Returns the number of packets averaged.
int AveragePackets(PacketRing& ring, PacketImage& image, bool unsignedWords);

// Decodes an image into the frame's values, aux, status and extra words. second: the second
// mechanoreceptor's image, or nullptr; its values go into aux slots 0..18 and secondValues.
// fromDebugFile: only values and status/extra words are taken.
void DecodeImage(const PacketImage& image, const PacketImage* second, int format,
                 bool fromDebugFile, SensorFrame& frame,
                 std::array<int32_t, kSensorCount>* secondValues = nullptr);
// Packet word of sensor s (0-based) for a byte base 6, 10 or 12.
int SensorWord(int sensor, int base);
// Byte base of the sensor words: first mechanoreceptor by format and debug flag, or second.
int SensorBase(int format, bool fromDebugFile, bool secondReceptor);

// Adapter commands.
Text1251 AdapterConnectCommand(std::string_view deviceIdText);  // "btcaa=%s\r\n"
inline constexpr const char* kAdapterSearchCommand = "btsearch\r\n";
inline constexpr const char* kAdapterDisconnectCommand = "btdis\r\n";

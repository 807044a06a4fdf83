#include "acquisition/wire_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Packet(const char* header, int length, int fill = 0) {
  std::vector<uint8_t> p(length, static_cast<uint8_t>(fill));
  std::memcpy(p.data(), header, std::strlen(header));
  return p;
}

std::vector<uint8_t> Ktz(int fill = 0) {
  auto p = Packet("KTZ", 91, fill);
  p[5] = 'A';
  return p;
}

// A byte stream on a simulated clock: each byte takes byteMs, a gap advances the clock.
class ScriptedSource : public ByteSource {
 public:
  void Bytes(const std::vector<uint8_t>& b, double byteMs = 1.0) {
    for (uint8_t x : b) items_.push_back({false, x, byteMs});
  }
  void Gap(double ms) { items_.push_back({true, 0, ms}); }
  int ReadByte(uint8_t& byte, int timeoutMs) override {
    if (items_.empty()) {
      now_ += timeoutMs / 1000.0;
      return 0;
    }
    Item it = items_.front();
    if (it.gap) {
      double wait = std::min<double>(it.ms, timeoutMs);
      now_ += wait / 1000.0;
      items_.front().ms -= wait;
      if (items_.front().ms <= 0) items_.pop_front();
      return 0;
    }
    items_.pop_front();
    now_ += it.ms / 1000.0;
    byte = it.byte;
    return 1;
  }
  double Seconds() override { return now_; }

 private:
  struct Item {
    bool gap;
    uint8_t byte;
    double ms;
  };
  std::deque<Item> items_;
  double now_ = 100.0;
};

std::vector<std::vector<uint8_t>> Assemble(PacketAssembler& a, const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> out;
  for (uint8_t b : bytes)
    if (FeedByte(a, b)) out.emplace_back(a.packet.begin(), a.packet.begin() + a.packetLength);
  return out;
}

TEST(CheckReplyTest, MarkersByFormatAndAdapter) {
  struct Case {
    std::string bytes;
    int format;
    bool adapter;
    bool ok;
  } cases[] = {
      {"xxCONNECTIONyy", 0, true, true},
      {"xxCONNECTIO", 0, true, false},
      {std::string(90, '.') + "CONNECTION", 1, true, false},  // j must be below 90
      {std::string(89, '.') + "CONNECTION", 1, true, true},
      {"..TC", 0, false, true},
      {std::string(98, '.') + "TC", 0, false, false},
      {"KTZ..A", 2, true, true},
      {"KTZ..B", 2, false, false},
      {"KTZ..", 2, false, false},  // "A" would lie beyond the bytes read
      {"TC", 2, false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckReply(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), c.format,
                         c.adapter),
              c.ok)
        << c.bytes;
}

TEST(Assembler, DropsStrayBytesBeforeHeaders) {
  PacketAssembler a;
  a.format = 0;
  auto p = Packet("TC12", 52, 7);
  std::vector<uint8_t> stream = {'x'};
  stream.insert(stream.end(), p.begin(), p.end());
  stream.insert(stream.end(), {'T', 'T'});
  stream.insert(stream.end(), p.begin() + 1, p.end());  // "TTC12..." recovers at "TC"
  auto packets = Assemble(a, stream);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0], p);
  EXPECT_EQ(packets[1], p);

  PacketAssembler k;
  k.format = 2;
  auto q = Ktz(3);
  std::vector<uint8_t> s2 = {'K', 'K'};
  s2.insert(s2.end(), q.begin() + 1, q.end());
  packets = Assemble(k, s2);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0], q);
}

TEST(Assembler, LengthsByFormat) {
  EXPECT_EQ(PacketLength(0), 52);
  EXPECT_EQ(PacketLength(1), 56);
  EXPECT_EQ(PacketLength(2), 91);
  EXPECT_EQ(PacketLength(-1, true), 91);
  EXPECT_EQ(PacketLength(-1), 52);  // a format left undetermined assembles as format 0
  EXPECT_EQ(SecondPacketLength(0), 52);
  EXPECT_EQ(SecondPacketLength(2), 56);
  PacketAssembler second;
  second.format = 2;
  second.secondReceptor = true;
  auto p = Packet("TC14", 56);
  EXPECT_EQ(Assemble(second, p).size(), 1u);
}

struct DetectCase {
  const char* name;
  int startFormat;
  std::vector<std::vector<uint8_t>> packets;
  double byteMs;
  int rc;
  int format;
};

TEST(DetectFormatTest, Table) {
  auto tc12 = Packet("TC12", 52), tc14 = Packet("TC14", 56), tc20 = Packet("TC20", 52);
  std::vector<DetectCase> cases = {
      {"31 TC12 succeed at once", 0, std::vector(31, tc12), 1.0, 0, 0},
      {"TC14 stream from format 0", 0, std::vector(31, tc14), 1.0, 0, 1},
      {"12 then 14: the last decides", 0, {tc12, tc14}, 1.0, -10, 1},
      {"TC20 sets -1", 0, {tc12, tc20}, 1.0, -10, -1},
      {"11 packets within 3 s", 0, std::vector(11, tc12), 1.0, 0, 0},
      {"10 packets fail", 0, std::vector(10, tc12), 1.0, -10, 0},
      {"KTZ stream in format 2", 2, std::vector(31, Ktz()), 0.5, 0, 2},
      {"TC stream never becomes 2", 2, std::vector(31, tc12), 0.5, -10, 2},
      {"from -1 a TC12 stream", -1, std::vector(31, tc12), 1.0, 0, 0},
  };
  for (const auto& c : cases) {
    ScriptedSource src;
    for (const auto& p : c.packets) src.Bytes(p, c.byteMs);
    src.Bytes(std::vector<uint8_t>(4000, 'x'));  // the line stays busy without packets
    std::atomic<bool> stop{false};
    int format = c.startFormat;
    EXPECT_EQ(DetectFormat(src, stop, format), c.rc) << c.name;
    EXPECT_EQ(format, c.format) << c.name;
  }
}

TEST(DetectFormatTest, SilenceStopAndLoss) {
  auto tc12 = Packet("TC12", 52);
  {
    ScriptedSource src;
    src.Bytes(tc12);
    src.Gap(2500);
    src.Bytes(tc12);
    std::atomic<bool> stop{false};
    int format = 0;
    // Start at x.0 s: the window ends at +3 s whole, silence of 2 s comes first.
    EXPECT_EQ(DetectFormat(src, stop, format), -9);
  }
  {
    ScriptedSource src;  // nothing at all: no silence rule before data, -10 after 3 s
    std::atomic<bool> stop{false};
    int format = 0;
    EXPECT_EQ(DetectFormat(src, stop, format), -10);
    EXPECT_LE(src.Seconds(), 103.2);
  }
  {
    ScriptedSource src;
    std::atomic<bool> stop{true};
    int format = 0;
    EXPECT_EQ(DetectFormat(src, stop, format), -9);
  }
  struct Lost : ByteSource {
    int ReadByte(uint8_t&, int) override { return -1; }
    double Seconds() override { return 0; }
  } lost;
  std::atomic<bool> stop{false};
  int format = 1;
  EXPECT_EQ(DetectFormat(lost, stop, format), -9);
}

TEST(Averaging, TruncatesTowardZeroAndRepeatsWithoutPackets) {
  PacketRing ring;
  for (int v : {1, 2, 4}) {
    auto p = Packet("TC12", 52);
    p[12] = static_cast<uint8_t>(v);   // word 6
    p[14] = static_cast<uint8_t>(-v);  // word 7 = 0x00FF-ish; use the high byte for sign
    p[15] = 0xFF;
    StorePacket(ring, p.data(), 52);
  }
  PacketImage img;
  EXPECT_EQ(AveragePackets(ring, img, false), 3);
  EXPECT_EQ(img.words[6], 2);  // 7 / 3
  // Word 7 holds -1, -2, -4 as int16: sum -7, / 3 toward zero = -2.
  EXPECT_EQ(img.words[7], -2);
  EXPECT_EQ(img.words[30], 0);  // beyond a 52-byte packet
  EXPECT_EQ(ring.count, 0);
  img.words[6] = 99;
  EXPECT_EQ(AveragePackets(ring, img, false), 0);
  EXPECT_EQ(img.words[6], 99);  // the previous image is delivered again

  // The second mechanoreceptor adds unsigned words: 0xFFFF and 0x0001 average to 0x8000.
  PacketRing second;
  auto a = Packet("TC12", 52), b = Packet("TC12", 52);
  a[20] = 0xFF;
  a[21] = 0xFF;
  b[20] = 0x01;
  StorePacket(second, a.data(), 52);
  StorePacket(second, b.data(), 52);
  PacketImage s;
  AveragePackets(second, s, true);
  EXPECT_EQ(static_cast<uint16_t>(s.words[10]), 0x8000);

  // More than 100 packets in a period: the ring keeps the last 100 and counts at most 100.
  PacketRing big;
  for (int i = 0; i < 150; ++i) {
    auto p = Packet("KTZ", 91);
    p[12] = static_cast<uint8_t>(i < 50 ? 200 : 10);
    p[90] = static_cast<uint8_t>(i);
    StorePacket(big, p.data(), 91);
  }
  PacketImage bi;
  EXPECT_EQ(AveragePackets(big, bi, false), 100);
  EXPECT_EQ(bi.words[6], 10);
  EXPECT_EQ(bi.tail, 149);
}

std::vector<uint8_t> PacketWithSensorWords(const char* header, int length, int base) {
  auto p = Packet(header, length);
  for (int s = 0; s < kSensorCount; ++s) {
    int w = SensorWord(s, base);
    int16_t v = static_cast<int16_t>(100 * (s + 1));
    p[2 * w] = static_cast<uint8_t>(v & 0xFF);
    p[2 * w + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  return p;
}

TEST(Decoding, SensorWordsPerFormat) {
  const int words0[] = {10, 8, 6, 11, 9, 7, 24, 14, 13, 12, 23, 22, 15, 17, 19, 21, 16, 18, 20};
  const int words1[] = {8, 6, 4, 9, 7, 5, 22, 12, 11, 10, 21, 20, 13, 15, 17, 19, 14, 16, 18};
  const int words2[] = {11, 9, 7, 12, 10, 8, 25, 15, 14, 13, 24, 23, 16, 18, 20, 22, 17, 19, 21};
  for (int s = 0; s < kSensorCount; ++s) {
    EXPECT_EQ(SensorWord(s, SensorBase(0, false, false)), words0[s]);
    EXPECT_EQ(SensorWord(s, SensorBase(1, false, false)), words1[s]);
    EXPECT_EQ(SensorWord(s, SensorBase(2, false, false)), words2[s]);
    EXPECT_EQ(SensorWord(s, SensorBase(2, true, false)), words1[s]);
    EXPECT_EQ(SensorWord(s, SensorBase(2, false, true)), words1[s]);
    EXPECT_EQ(SensorWord(s, SensorBase(-1, false, false)), words0[s]);
  }
  struct Case {
    const char* header;
    int length;
    int format;
  } cases[] = {{"TC12", 52, 0}, {"TC14", 56, 1}, {"KTZ", 91, 2}, {"TC20", 52, -1}};
  for (const auto& c : cases) {
    auto p = PacketWithSensorWords(c.header, c.length, SensorBase(c.format, false, false));
    auto img = PacketImage::FromPacket(p.data(), p.size(), 5);
    SensorFrame f;
    DecodeImage(img, nullptr, c.format, false, f);
    for (int s = 0; s < kSensorCount; ++s) EXPECT_EQ(f.values[s], 100 * (s + 1)) << c.format;
    EXPECT_EQ(f.index, 5);
    EXPECT_EQ(f.aux[0], img.words[0]);
    EXPECT_EQ(f.aux[27], img.words[27]);
    EXPECT_EQ(f.aux[28], 0);
  }
}

TEST(Decoding, ExtremesStatusAndExtraWords) {
  auto p = Packet("TC12", 52);
  p[20] = 0xFF;
  p[21] = 0x7F;  // word 10 = 0x7FFF: sensor 1 in format 0
  p[6] = 3;      // word 3
  p[8] = 4;      // word 4
  SensorFrame f;
  DecodeImage(PacketImage::FromPacket(p.data(), 52), nullptr, 0, false, f);
  EXPECT_EQ(f.values[0], 32767);
  EXPECT_EQ(f.statusWord0, 3);
  EXPECT_EQ(f.statusWord1, 4);
  p[20] = 0x00;
  p[21] = 0x80;
  DecodeImage(PacketImage::FromPacket(p.data(), 52), nullptr, 0, false, f);
  EXPECT_EQ(f.values[0], -32768);

  auto q = Packet("TC14", 56);
  for (int w = 23; w <= 26; ++w) q[2 * w] = static_cast<uint8_t>(w);
  q[6] = 33;
  SensorFrame g;
  DecodeImage(PacketImage::FromPacket(q.data(), 56), nullptr, 1, false, g);
  EXPECT_EQ(g.statusWord0, 23);
  EXPECT_EQ(g.statusWord1, 26);
  EXPECT_EQ(g.extraWords, (std::array<int16_t, 10>{23, 24, 25, 26, 0, 0, 0, 0, 0, 33}));
  SensorFrame h;
  DecodeImage(PacketImage::FromPacket(q.data(), 56), nullptr, 2, false, h);
  EXPECT_EQ(h.statusWord0, 0);
  EXPECT_EQ(h.extraWords, (std::array<int16_t, 10>{}));
}

TEST(Decoding, SecondReceptorAndDebugFile) {
  auto first = PacketWithSensorWords("KTZ", 91, 12);
  auto second = PacketWithSensorWords("TC14", 56, 6);
  for (int s = 0; s < kSensorCount; ++s) {  // second values: 100..1900 plus 1
    int w = SensorWord(s, 6);
    second[2 * w] += 1;
  }
  auto img = PacketImage::FromPacket(first.data(), 91);
  auto img2 = PacketImage::FromPacket(second.data(), 56);
  SensorFrame f;
  std::array<int32_t, kSensorCount> secondValues{};
  DecodeImage(img, &img2, 2, false, f, &secondValues);
  EXPECT_EQ(f.values[0], 100);
  EXPECT_EQ(f.aux[0], 101);
  EXPECT_EQ(f.aux[18], 1901);
  EXPECT_EQ(f.aux[19], 0);
  EXPECT_EQ(secondValues[18], 1901);

  // Debug file: values at base 6 for format 2, aux left as they were.
  auto dbg = PacketWithSensorWords("TC20", 52, 6);
  SensorFrame d;
  d.aux[0] = 77;
  DecodeImage(PacketImage::FromPacket(dbg.data(), 52), nullptr, 2, true, d);
  EXPECT_EQ(d.values[6], 700);
  EXPECT_EQ(d.aux[0], 77);
}

TEST(AdapterCommands, Texts) {
  EXPECT_EQ(AdapterConnectCommand("0a1b2c3d4e5f"), "btcaa=0a1b2c3d4e5f\r\n");
  EXPECT_STREQ(kAdapterDisconnectCommand, "btdis\r\n");
  EXPECT_STREQ(kAdapterSearchCommand, "btsearch\r\n");
}

}  // namespace

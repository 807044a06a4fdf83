// The byte-stream path of the link: reply check, format detection over a scripted source,
// packet assembly in every format, averaging and decoding.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "acquisition/wire_protocol.h"

namespace {
// Bytes of the input, one per millisecond; after the end the source stays silent.
class InputSource : public ByteSource {
 public:
  InputSource(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  int ReadByte(uint8_t& b, int timeoutMs) override {
    if (i_ >= n_) {
      now_ += timeoutMs / 1000.0;
      return 0;
    }
    now_ += 0.001;
    b = d_[i_++];
    return 1;
  }
  double Seconds() override { return now_; }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t i_ = 0;
  double now_ = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int startFormat = (data[0] % 4) - 1;  // -1..2
  ++data;
  --size;
  for (bool adapter : {false, true})
    CheckReply(data, std::min<size_t>(size, 100), startFormat, adapter);

  InputSource src(data, size);
  std::atomic<bool> stop{false};
  int format = startFormat;
  int rc = DetectFormat(src, stop, format);
  if (rc != 0 && rc != -9 && rc != -10) std::abort();
  if (format < -1 || format > 2) std::abort();

  for (int f = -1; f <= 2; ++f) {
    for (bool second : {false, true}) {
      PacketAssembler a;
      a.format = f;
      a.secondReceptor = second;
      PacketRing ring;
      PacketImage image, secondImage;
      for (size_t i = 0; i < size; ++i) {
        if (!FeedByte(a, data[i])) continue;
        if (a.packetLength < 1 || a.packetLength > kMaxPacketLength) std::abort();
        StorePacket(ring, a.packet.data(), a.packetLength);
        if (ring.count > kPacketRingSize) std::abort();
        if (i % 7 == 0) {
          AveragePackets(ring, second ? secondImage : image, second);
          SensorFrame frame;
          std::array<int32_t, kSensorCount> sv{};
          DecodeImage(image, second ? &secondImage : nullptr, f, i % 2 == 0, frame, &sv);
          for (int v : frame.values)
            if (v < -32768 || v > 32767) std::abort();
        }
      }
    }
  }
  return 0;
}

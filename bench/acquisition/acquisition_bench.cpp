// Throughput of the acquisition path: packet assembly + averaging + decoding against the probe's
// line rate (115200 baud = 11,520 bytes/s), and push file read/write of a 100,000-frame push
// beside a plain read of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "acquisition/push_file.h"
#include "acquisition/wire_protocol.h"
#include "platform/file.h"

namespace {

constexpr double kLineRate = 11520.0;  // bytes per second at 115200 baud, 8N1
constexpr int kFrames = 100000;

std::vector<uint8_t> Stream(int format, int packets) {
  const char* header = format == 0 ? "TC12" : format == 1 ? "TC14" : "KTZ";
  int length = PacketLength(format);
  std::vector<uint8_t> out;
  out.reserve(size_t(packets) * length);
  for (int p = 0; p < packets; ++p) {
    size_t start = out.size();
    out.resize(start + length);
    for (int i = 0; i < length; ++i) out[start + i] = static_cast<uint8_t>((p * 31 + i * 7) & 0x7F);
    std::memcpy(&out[start], header, std::strlen(header));
    if (format == 2) out[start + 5] = 'A';
  }
  return out;
}

// Every byte through the assembler; each packet stored; one image averaged and decoded per
// display period (10 packets, as at 0.05 s and ~200 packets per second).
void BM_DecodeStream(benchmark::State& state) {
  const int format = static_cast<int>(state.range(0));
  const auto bytes = Stream(format, 10000);
  for (auto _ : state) {
    PacketAssembler a;
    a.format = format;
    PacketRing ring;
    PacketImage image;
    SensorFrame frame;
    int packets = 0;
    for (uint8_t b : bytes) {
      if (!FeedByte(a, b)) continue;
      StorePacket(ring, a.packet.data(), a.packetLength);
      if (++packets % 10 == 0) {
        AveragePackets(ring, image, false);
        DecodeImage(image, nullptr, format, false, frame);
        benchmark::DoNotOptimize(frame.values[0]);
      }
    }
  }
  const double total = double(bytes.size()) * state.iterations();
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["x_line_rate"] =
      benchmark::Counter(total / kLineRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeStream)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

Push BigPush() {
  Push p = CreatePush();
  AllocateFrames(p, kFrames);
  for (int f = 0; f < kFrames; ++f) {
    auto& fr = p.frames[f];
    fr.index = f;
    for (int s = 0; s < kSensorCount; ++s) fr.values[s] = (f * 13 + s * 101) % 30000;
    for (int k = 0; k < kAuxWordsInUse; ++k) fr.aux[k] = f + k;
    fr.captureTime = {2024, 1, 1, 10, 0, 0, static_cast<int16_t>(f % 1000)};
    fr.flags = f % 97 == 0;
  }
  return p;
}

std::string TempName(const char* tag) {
  return "/tmp/tacmon_bench_" + std::to_string(::getpid()) + "_" + tag + ".psh";
}

void FrameCounter(benchmark::State& state) {
  state.counters["frames_per_s"] =
      benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_WritePushFile(benchmark::State& state) {
  const Push p = BigPush();
  const std::string name = TempName("w");
  for (auto _ : state)
    if (WritePushFile(p, name) != 0) state.SkipWithError("write failed");
  std::remove(name.c_str());
  FrameCounter(state);
}
BENCHMARK(BM_WritePushFile)->Unit(benchmark::kMillisecond);

void BM_ReadPushFile(benchmark::State& state) {
  const std::string name = TempName("r");
  WritePushFile(BigPush(), name);
  for (auto _ : state) {
    Push p;
    if (ReadPushFile(p, name) != 0) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(p.frames.data());
  }
  std::remove(name.c_str());
  FrameCounter(state);
}
BENCHMARK(BM_ReadPushFile)->Unit(benchmark::kMillisecond);

// One frame appended to the recording stream, as the operation window does once per display
// period; every record is handed to the system at once (a crash loses at most that frame).
// Goal: far below a display period (50 ms) -- a few microseconds.
void BM_AppendStreamFrame(benchmark::State& state) {
  const std::string name = TempName("s");
  Push p = CreatePush();
  if (OpenPushStream(p, false, name) != 0 || WriteStreamPassport(p, DevicePassport{}) != 0) {
    state.SkipWithError("cannot open the stream");
    return;
  }
  SensorFrame f;
  for (int s = 0; s < kSensorCount; ++s) f.values[s] = 1000 + s;
  for (auto _ : state) {
    ++f.index;
    if (AppendStreamFrame(p, f) != 0) state.SkipWithError("append failed");
  }
  p.stream = PushStream{};
  std::remove(name.c_str());
}
BENCHMARK(BM_AppendStreamFrame)->Unit(benchmark::kMicrosecond);

// The same bytes read plainly into memory: the floor for the reader.
void BM_PlainReadSameBytes(benchmark::State& state) {
  const std::string name = TempName("p");
  WritePushFile(BigPush(), name);
  for (auto _ : state) {
    std::string bytes;
    if (!ReadWholeFile(name, bytes)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bytes.data());
  }
  std::remove(name.c_str());
  FrameCounter(state);
}
BENCHMARK(BM_PlainReadSameBytes)->Unit(benchmark::kMillisecond);

// Decoding alone, from bytes already in memory.
void BM_ParsePushBytes(benchmark::State& state) {
  const auto bytes = EncodePushFile(BigPush(), true);
  for (auto _ : state) {
    Push p;
    ParsePushFile(p, bytes.data(), bytes.size(), true);
    benchmark::DoNotOptimize(p.frames.data());
  }
  FrameCounter(state);
}
BENCHMARK(BM_ParsePushBytes)->Unit(benchmark::kMillisecond);

}  // namespace

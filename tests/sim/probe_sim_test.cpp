// The simulated probe on a real pseudo-terminal, driven through our serial port.
#include "sim/probe_sim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/serial.h"
#include "support/scratch_roots.h"

namespace {

class RunningProbe {
 public:
  explicit RunningProbe(sim::ProbeOptions o) : probe_(std::move(o)) {
    std::string err;
    started_ = probe_.Start(&err);
    EXPECT_TRUE(started_) << err;
    if (started_) thread_ = std::thread([this] { probe_.Run(stop_); });
  }
  ~RunningProbe() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  sim::ProbeSim& probe() { return probe_; }

 private:
  sim::ProbeSim probe_;
  std::atomic<bool> stop_{false};
  bool started_ = false;
  std::thread thread_;
};

// Everything that arrives within ms.
std::string ReadFor(ByteTransport& port, int ms) {
  std::string out;
  double end = MonotonicSeconds() + ms / 1000.0;
  char buf[512];
  while (MonotonicSeconds() < end) {
    IoResult r = port.Read(buf, sizeof buf, 20);
    if (r.Ok()) out.append(buf, r.count);
  }
  return out;
}

std::shared_ptr<SerialPort> OpenCom(int n) {
  int code = 0;
  auto p = SerialPort::Open(SerialPort::PortName(n), 115200, &code);
  EXPECT_EQ(code, kSerialOk);
  return p;
}

TEST(ProbeSim, AdapterConnectsOnlyToItsIdAndStopsOnBtdis) {
  ScratchRoots roots;
  sim::ProbeOptions o;
  o.com = 7;
  o.format = 1;
  o.id = "0a1b2c3d4e5f";
  RunningProbe probe(o);
  auto port = OpenCom(7);
  ASSERT_TRUE(port);
  EXPECT_EQ(ReadFor(*port, 200), "") << "an adapter is quiet until asked";

  port->WriteText("btcaa=111111111111\r\n", 1000);
  EXPECT_EQ(ReadFor(*port, 300), "ERROR\r\n");

  port->WriteText("btcaa=0A1B2C3D4E5F\r\n", 1000);
  std::string got = ReadFor(*port, 300);
  ASSERT_GE(got.size(), 12u + 56u * 10);
  EXPECT_EQ(got.substr(0, 12), "CONNECTION\r\n");
  EXPECT_EQ(got.substr(12, 4), "TC14");
  // The line rate: 11520 bytes a second carry about 205 packets of 56 bytes.
  EXPECT_NEAR(static_cast<double>(got.size() - 12) / 56 / 0.3, 205, 40);

  port->WriteText("btdis\r\n", 1000);
  ReadFor(*port, 100);  // what was on the way
  EXPECT_EQ(ReadFor(*port, 300), "");
}

TEST(ProbeSim, SearchListsTheDeviceEndedByOk) {
  ScratchRoots roots;
  sim::ProbeOptions o;
  o.com = 8;
  o.id = "010203040506";
  RunningProbe probe(o);
  auto port = OpenCom(8);
  ASSERT_TRUE(port);
  port->WriteText("btsearch\r\n", 1000);
  std::string got = ReadFor(*port, 300);
  size_t q = got.find("QRX");
  ASSERT_NE(q, std::string::npos) << got;
  ASSERT_GE(q, 18u);
  EXPECT_EQ(got.substr(q - 18, 18), "01:02:03:04:05:06 ");
  EXPECT_EQ(got.substr(got.size() - 4), "OK\r\n");
  EXPECT_EQ(got.find("OK"), got.size() - 4) << "no early end of the answer";
}

TEST(ProbeSim, SearchListsSeveralDevicesPacedLineByLine) {
  ScratchRoots roots;
  char arg0[] = "tacprobe", a1[] = "--com", a2[] = "8", a3[] = "--search-ids",
       a4[] = "0A0B0C0D0E0F,a1a2a3a4a5a6", a5[] = "--search-delay", a6[] = "0.3";
  char* argv[] = {arg0, a1, a2, a3, a4, a5, a6};
  sim::ProbeOptions o;
  double seconds = 0;
  bool help = false;
  std::string error;
  ASSERT_TRUE(sim::ParseProbeArgs(7, argv, &o, &seconds, &help, &error)) << error;
  EXPECT_EQ(o.searchIds, (std::vector<std::string>{"0a0b0c0d0e0f", "a1a2a3a4a5a6"}));
  RunningProbe probe(o);
  auto port = OpenCom(8);
  ASSERT_TRUE(port);
  port->WriteText("btsearch\r\n", 1000);
  // Four lines 0.3 s apart: the inquiry at once, each device later, "OK" last.
  const std::string early = ReadFor(*port, 150);
  EXPECT_EQ(early, "\r\nInquiry\r\n");
  const std::string rest = ReadFor(*port, 1200);
  EXPECT_EQ(rest,
            "0a:0b:0c:0d:0e:0f QRX tacprobe\r\n"
            "a1:a2:a3:a4:a5:a6 QRX tacprobe\r\n"
            "OK\r\n");

  char b3[] = "--search-ids", b4[] = "0a0b0c0d0e0f,xyz";
  char* bad[] = {arg0, a1, a2, b3, b4};
  EXPECT_FALSE(sim::ParseProbeArgs(5, bad, &o, &seconds, &help, &error));
}

TEST(ProbeSim, DirectProbeStreamsWhileThePortIsOpenAndLinkGoesAtTheEnd) {
  ScratchRoots roots;
  std::filesystem::path link = roots.ports() / "COM9";
  {
    sim::ProbeOptions o;
    o.com = 9;
    o.format = 0;
    o.direct = true;
    o.rate = 100;
    RunningProbe probe(o);
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    auto port = OpenCom(9);
    ASSERT_TRUE(port);
    std::string got = ReadFor(*port, 500);
    ASSERT_GE(got.size(), 52u * 30);
    EXPECT_EQ(got.substr(0, 4), "TC12");
    EXPECT_NEAR(got.size() / 52.0, 50, 12);
    port->Close();
    SleepMs(100);
    uint64_t written = probe.probe().PacketsWritten();
    SleepMs(300);
    EXPECT_LE(probe.probe().PacketsWritten() - written, 2u) << "nothing streamed to a closed port";
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(ProbeSim, PowerButtonDropsTheLinkUntilTheAdapterIsToldToConnectAgain) {
  ScratchRoots roots;
  // Reads until t seconds after t0.
  auto readUntil = [](ByteTransport& port, double t0, double t) {
    return ReadFor(port, std::max(0, static_cast<int>((t0 + t - MonotonicSeconds()) * 1000)));
  };
  {
    // Adapter. On 0..0.8 s, off 0.8..2.0, on 2.0..2.8, off 2.8..4.0, on from 4.0.
    sim::ProbeOptions o;
    o.com = 13;
    o.script = *sim::PushScript::Parse("rest:0.8,off:1.2");
    RunningProbe probe(o);
    const double t0 = MonotonicSeconds();
    ASSERT_TRUE(probe.probe().PowerButton());
    auto port = OpenCom(13);
    ASSERT_TRUE(port);
    port->WriteText("btcaa=0a1b2c3d4e5f\r\n", 1000);
    std::string on = readUntil(*port, t0, 0.5);
    ASSERT_GE(on.size(), 12u + 56u * 10);
    EXPECT_EQ(on.substr(0, 12), "CONNECTION\r\n");
    readUntil(*port, t0, 1.0);
    EXPECT_EQ(readUntil(*port, t0, 2.6), "") << "switched on again, but the link had dropped";
    readUntil(*port, t0, 3.1);
    // Told to connect while the probe is off: the adapter pages until it is switched on.
    port->WriteText("btcaa=0a1b2c3d4e5f\r\n", 1000);
    EXPECT_EQ(readUntil(*port, t0, 3.7), "");
    std::string again = readUntil(*port, t0, 4.5);
    ASSERT_GE(again.size(), 12u);
    EXPECT_EQ(again.substr(0, 12), "CONNECTION\r\n");
  }
  {
    // Without an adapter the probe streams whenever it is on and the port is open; after the
    // given number of pushes it stays off.
    sim::ProbeOptions o;
    o.com = 14;
    o.direct = true;
    o.rate = 100;
    o.script = *sim::PushScript::Parse("rest:0.8,off:0.8");
    o.pushes = 2;
    RunningProbe probe(o);
    const double t0 = MonotonicSeconds();
    auto port = OpenCom(14);
    ASSERT_TRUE(port);
    EXPECT_GT(readUntil(*port, t0, 0.6).size(), 52u * 30);
    readUntil(*port, t0, 1.0);
    EXPECT_EQ(readUntil(*port, t0, 1.5), "");
    readUntil(*port, t0, 1.8);
    EXPECT_GT(readUntil(*port, t0, 2.3).size(), 52u * 30);
    readUntil(*port, t0, 3.4);
    EXPECT_EQ(readUntil(*port, t0, 4.4), "") << "off for good after two pushes";
  }
}

TEST(ProbeSim, FaultModes) {
  ScratchRoots roots;
  {
    // Silence after 0.3 s of streaming, back after reconnection.
    sim::ProbeOptions o;
    o.com = 10;
    o.direct = true;
    o.silenceAfter = 0.3;
    RunningProbe probe(o);
    auto port = OpenCom(10);
    ASSERT_TRUE(port);
    EXPECT_GT(ReadFor(*port, 600).size(), 1000u);
    EXPECT_EQ(ReadFor(*port, 300), "");
    port->Close();
    SleepMs(100);
    port = OpenCom(10);
    EXPECT_GT(ReadFor(*port, 300).size(), 1000u);
  }
  {
    // Hang-up: the reader sees the line end, then the port comes back.
    sim::ProbeOptions o;
    o.com = 11;
    o.direct = true;
    o.hangupAfter = 0.2;
    o.hangupFor = 0.3;
    RunningProbe probe(o);
    auto port = OpenCom(11);
    ASSERT_TRUE(port);
    IoStatus st = IoStatus::kOk;
    double end = MonotonicSeconds() + 2;
    char buf[256];
    while (MonotonicSeconds() < end && st != IoStatus::kLost)
      st = port->Read(buf, sizeof buf, 100).status;
    EXPECT_EQ(st, IoStatus::kLost);
    port->Close();
    SleepMs(500);
    port = OpenCom(11);
    ASSERT_TRUE(port);
    EXPECT_GT(ReadFor(*port, 300).size(), 500u);
  }
  {
    // Stray bytes: one before every 3rd packet.
    sim::ProbeOptions o;
    o.com = 12;
    o.direct = true;
    o.format = 0;
    o.strayEvery = 3;
    o.rate = 200;
    RunningProbe probe(o);
    auto port = OpenCom(12);
    std::string got = ReadFor(*port, 300);
    size_t packets = 0, strays = 0;
    for (size_t i = 0; i + 4 <= got.size(); ++i) {
      if (got.compare(i, 4, "TC12") != 0) continue;
      ++packets;
      strays += i > 0 && static_cast<unsigned char>(got[i - 1]) == 0xA5;
    }
    ASSERT_GT(packets, 30u);
    EXPECT_NEAR(static_cast<double>(strays), packets / 3.0, 1.5);
  }
}

}  // namespace

// The link timer of the reading thread with the test in the operation window's place: packets
// written by hand on pseudo-terminals, the timer ticked by the test, the images taken from the
// ring. Shows what one display period makes of exactly the packets that arrived in it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "acquisition/link/com_read_thread.h"
#include "link_test_support.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "sim/probe_packets.h"
#include "sim/pty_link.h"
#include "support/scratch_roots.h"

namespace {

using Sensors = std::array<int16_t, sim::kSensors>;

constexpr const char* kId = "0a1b2c3d4e5f";

// Writes all bytes unless the reader leaves them unread for a second.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  const double end = MonotonicSeconds() + 1.0;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EAGAIN && MonotonicSeconds() < end) {
      SleepMs(1);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A probe on a pseudo-terminal that streams format-1 packets (for the connect and the format
// detection) until the test takes over and writes packets of its own.
class HandProbe {
 public:
  explicit HandProbe(int com) {
    std::string err;
    pty_ = sim::PtyLink::Create(com, &err);
    EXPECT_TRUE(pty_) << err;
    // Never blocks the test when the link stops reading (a failed connect, a retry pause).
    if (pty_) ::fcntl(pty_->Master(), F_SETFL, ::fcntl(pty_->Master(), F_GETFL) | O_NONBLOCK);
  }
  ~HandProbe() { StopStreaming(); }
  bool ok() const { return pty_ != nullptr; }
  void StartStreaming() {
    streaming_ = true;
    thread_ = std::thread([this] {
      Sensors rest{};
      rest.fill(1000);
      auto packet = sim::EncodePacket(1, rest, {});
      while (streaming_.load()) {
        WriteAll(pty_->Master(), packet);
        SleepMs(2);
      }
    });
  }
  void StopStreaming() {
    streaming_ = false;
    if (thread_.joinable()) thread_.join();
  }
  bool Write(const std::vector<uint8_t>& packet) { return WriteAll(pty_->Master(), packet); }

 private:
  std::unique_ptr<sim::PtyLink> pty_;
  std::atomic<bool> streaming_{false};
  std::thread thread_;
};

class LinkTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceptorDataFormat(0);
    host.SetHubWindow(hub.handle());
  }
  void TearDown() override {
    if (link) link->Quit();
  }
  void Make(const LinkSettings& s) {
    host.SetSettings(s);
    LoadPassports(host.Passports());
    LinkOwner owner;
    owner.window = window.handle();
    link = std::make_unique<CCOMReadThread>(host, owner);
  }
  // Ticks the link timer until it delivers an image (the test plays the operation window).
  bool NextImage(PacketImage& image, PacketImage* second = nullptr) {
    double end = MonotonicSeconds() + 2.0;
    int32_t index = 0;
    while (MonotonicSeconds() < end) {
      link->TickTimers();
      if (link->TakeImage(image, index, second)) return true;
      SleepMs(1);
    }
    return false;
  }
  // Waits until counter() has stayed the same for 100 ms.
  template <class Counter>
  static void WaitQuiet(Counter counter) {
    uint64_t last = counter();
    double since = MonotonicSeconds();
    while (MonotonicSeconds() - since < 0.1) {
      SleepMs(5);
      uint64_t now = counter();
      if (now != last) last = now, since = MonotonicSeconds();
    }
  }

  ScratchRoots roots;
  LogCapture log;
  SimpleLinkHost host;
  RecordingWindow hub;
  RecordingWindow window;
  std::unique_ptr<CCOMReadThread> link;
};

// Sensor values of the packets of one display period and what each sensor must average to.
struct AveragingCase {
  const char* what;
  std::vector<int16_t> words;  // one value per packet
  int16_t average;
};

// Packets whose sensor s carries cases[s].words[p] in packet p (every case has n words).
std::vector<Sensors> PacketsOf(const std::vector<AveragingCase>& cases) {
  std::vector<Sensors> packets(cases.front().words.size());
  for (size_t s = 0; s < cases.size(); ++s)
    for (size_t p = 0; p < packets.size(); ++p) packets[p][s] = cases[s].words[p];
  return packets;
}

TEST_F(LinkTimer, FirstProbeAveragesSignedWordsTruncatingTowardZero) {
  HandProbe probe(5);
  ASSERT_TRUE(probe.ok());
  WritePassportFile("p5", 5, kId, 1, true);
  LinkSettings s;
  s.autoconnect = 0;
  s.comPort = 5;
  s.device = 5;
  Make(s);
  probe.StartStreaming();
  link->Start();
  link->PostThreadMessage(kLinkMsgConnectRead);
  ASSERT_TRUE(WaitUntil([&] { return link->TimerMode() == LinkTimerMode::kAveraging; }, 10000));
  probe.StopStreaming();
  WaitQuiet([&] { return link->PacketsRead(); });
  PacketImage image;
  ASSERT_TRUE(NextImage(image));  // the streamed packets leave the period

  // Two periods: three packets, then two; each sensor is one case.
  const std::vector<std::vector<AveragingCase>> periods = {
      {{"3 3 2", {3, 3, 2}, 2},
       {"-3 -3 -2", {-3, -3, -2}, -2},
       {"-1 1 0", {-1, 1, 0}, 0},
       {"1 -1 -1: -1/3 toward zero", {1, -1, -1}, 0},
       {"largest words do not wrap", {32767, 32767, 32766}, 32766},
       {"smallest words do not wrap", {-32768, -32768, -32768}, -32768}},
      {{"-1 1: 0, never 32767", {-1, 1}, 0},
       {"-3 -2", {-3, -2}, -2},
       {"3 2", {3, 2}, 2},
       {"-32768 32767", {-32768, 32767}, 0}},
  };
  for (const auto& cases : periods) {
    const uint64_t before = link->PacketsRead();
    const auto packets = PacketsOf(cases);
    for (const Sensors& p : packets) ASSERT_TRUE(probe.Write(sim::EncodePacket(1, p, {})));
    ASSERT_TRUE(WaitUntil([&] { return link->PacketsRead() == before + packets.size(); }, 1000));
    ASSERT_TRUE(NextImage(image));
    SensorFrame f;
    DecodeImage(image, nullptr, 1, false, f);
    for (size_t c = 0; c < cases.size(); ++c)
      EXPECT_EQ(f.values[c], cases[c].average) << cases[c].what;
  }
}

TEST_F(LinkTimer, SecondProbeAveragesUnsignedWordsTruncatingTowardZero) {
  WritePassportFile("p5", 5, kId, 1, true);
  WritePassportFile("p6", 6, "666666666666", 1, true);
  ProbeProcess first({"--com", "5", "--format", "1"}, (roots.base() / "probe.txt").string());
  ASSERT_TRUE(first.Ready(5)) << first.Output();
  HandProbe second(6);
  ASSERT_TRUE(second.ok());
  LinkSettings s;
  s.autoconnect = 0;
  s.connect2 = 1;
  s.comPort = 5;
  s.comPort2 = 6;
  s.device = 5;
  s.device2 = 6;
  Make(s);
  link->Start();
  link->PostThreadMessage(kLinkMsgConnectRead);
  ASSERT_TRUE(WaitUntil([&] { return link->TimerMode() == LinkTimerMode::kAveraging; }, 10000))
      << first.Output();
  PacketImage image, secondImage;
  ASSERT_TRUE(NextImage(image, &secondImage));

  // The second probe's words are added as unsigned 16-bit values: a negative word counts as
  // 65536 less, so -3, -3, -2 (65533, 65533, 65534) give 65533, which reads as -3.
  const std::vector<std::vector<AveragingCase>> periods = {
      {{"3 3 2", {3, 3, 2}, 2},
       {"-3 -3 -2 as 65533 65533 65534", {-3, -3, -2}, -3},
       {"1 2 4", {1, 2, 4}, 2},
       {"32767 32767 32766", {32767, 32767, 32766}, 32766}},
      {{"-1 1 as 65535 1: 32768", {-1, 1}, -32768}, {"3 2", {3, 2}, 2}},
  };
  for (const auto& cases : periods) {
    const uint64_t before = link->SecondPacketsRead();
    const auto packets = PacketsOf(cases);
    for (const Sensors& p : packets) ASSERT_TRUE(second.Write(sim::EncodeSecondPacket(1, p, {})));
    ASSERT_TRUE(
        WaitUntil([&] { return link->SecondPacketsRead() == before + packets.size(); }, 1000));
    ASSERT_TRUE(NextImage(image, &secondImage));
    SensorFrame f;
    std::array<int32_t, kSensorCount> values{};
    DecodeImage(image, &secondImage, 1, false, f, &values);
    for (size_t c = 0; c < cases.size(); ++c)
      EXPECT_EQ(values[c], cases[c].average) << cases[c].what;
  }
}

TEST_F(LinkTimer, AHugeDisplayPeriodRunsTheTimerAtItsLongestPeriod) {
  // 1e9 s is 1e12 ms, far beyond an int: the timer runs every 600 s instead.
  WriteBytes(roots.data() / "pars" / "test.bin",
             std::string(4, '\0') + "TC" + std::string(50, '\0'));
  LinkSettings s;
  s.fileMode = 1;
  s.displayPeriod = 1e9;
  Make(s);
  link->Start();
  link->PostThreadMessage(kLinkMsgConnectPoll);
  ASSERT_TRUE(WaitUntil([&] { return link->TimerMode() == LinkTimerMode::kPoll; }, 3000));
  EXPECT_EQ(link->TimerPeriodMs(), 600000);
  const int next = link->TickTimers();
  EXPECT_GT(next, 590000);
  EXPECT_LE(next, 600000);
}

}  // namespace

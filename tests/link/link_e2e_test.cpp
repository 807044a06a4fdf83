// The link end to end: CCOMReadThread against tacprobe on pseudo-terminals, with the message
// log captured, a hub window that records 1046/1048 and a pump playing the operation window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "acquisition/link/com_read_thread.h"
#include "link_test_support.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/pty_link.h"
#include "support/scratch_roots.h"

using namespace std::string_literals;

namespace {

constexpr const char* kId = "0a1b2c3d4e5f";

class LinkE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceptorDataFormat(0);
    host.SetHubWindow(hub.handle());
  }
  void TearDown() override {
    if (link) link->Quit();
    pump.Stop();
  }
  void Make(const LinkSettings& s) {
    host.SetSettings(s);
    LoadPassports(host.Passports());
    LinkOwner owner;
    owner.window = pump.handle();
    link = std::make_unique<CCOMReadThread>(host, owner);
  }
  void Run() {
    link->Start();
    pump.Start(*link);
  }
  // Makes the link with s, runs it and asks it to connect.
  void Connect(const LinkSettings& s) {
    Make(s);
    Run();
    link->PostThreadMessage(kLinkMsgConnectRead);
  }
  // Probe 5 on COM5, no autoconnection; with TwoFixedPorts probe 6 on COM6 as the second.
  static LinkSettings FixedPort() {
    LinkSettings s;
    s.autoconnect = 0;
    s.comPort = 5;
    s.device = 5;
    return s;
  }
  static LinkSettings TwoFixedPorts() {
    LinkSettings s = FixedPort();
    s.connect2 = 1;
    s.comPort2 = 6;
    s.device2 = 6;
    return s;
  }
  std::unique_ptr<ProbeProcess> Probe(std::vector<std::string> args, int com = 5) {
    auto p = std::make_unique<ProbeProcess>(args, (roots.base() / "probe.txt").string());
    if (p->Ready(com)) return p;
    ADD_FAILURE() << "tacprobe did not start: " << p->Output();
    return nullptr;
  }
  // Index of the first message m in v at or after from, -1 when none.
  static int Find(const std::vector<uint32_t>& v, uint32_t m, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < v.size(); ++i)
      if (v[i] == m) return static_cast<int>(i);
    return -1;
  }

  ScratchRoots roots;
  LogCapture log;
  SimpleLinkHost host;
  RecordingWindow hub;
  WindowPump pump;
  std::unique_ptr<CCOMReadThread> link;
};

TEST_F(LinkE2E, FixedPortConnectsReadsAtTheDisplayRateAndDisconnects) {
  WritePassportFile("probe5", 5, kId, 1, true);
  auto probe =
      Probe({"--com", "5", "--direct", "--format", "1", "--noise", "0", "--script", "rest:60"});
  ASSERT_TRUE(probe);
  Connect(FixedPort());
  ASSERT_TRUE(pump.WaitConnected(1, 10000)) << probe->Output();
  ASSERT_TRUE(pump.WaitImages(5, 3000));

  EXPECT_TRUE(log.Contains("Test ICom=5 Device=5"));
  EXPECT_TRUE(log.Contains("Device (mech.receptor?) return: '"));
  EXPECT_TRUE(log.Contains(
      "Механорецептор #1: соединение установлено на порт COM5 (device id=0a1b2c3d4e5f)"));
  EXPECT_EQ(Cp1251ToUtf8(host.StatusText()), "Механорецептор #1: COM5 (device id=0a1b2c3d4e5f)");
  EXPECT_EQ(ReceptorDataFormat(), 1);
  {
    TimedLock l(host.PassportLock(), 1000);
    EXPECT_EQ(host.Passports().current.deviceNumber, 5);
  }
  auto msgs = hub.Messages();
  int closed = Find(msgs, kLinkMsgPortClosed);
  int status = Find(msgs, kLinkMsgStatusText);
  ASSERT_GE(closed, 0);
  EXPECT_GT(status, closed) << "the port is closed first, then the new status is told";

  // One image per display period, each the probe's values in sensor order.
  int before = pump.ImageCount();
  SleepMs(1000);
  int perSecond = pump.ImageCount() - before;
  EXPECT_NEAR(perSecond, 20, 3);
  auto images = pump.Images();
  for (size_t i = 1; i < images.size(); ++i) EXPECT_EQ(images[i].index, images[i - 1].index + 1);
  SensorFrame f;
  DecodeImage(images.back().image, nullptr, 1, false, f);
  for (int sensor = 0; sensor < 19; ++sensor) EXPECT_EQ(f.values[sensor], 1000 + 10 * sensor);

  link->RequestStop();
  EXPECT_TRUE(log.WaitFor("Разорвано соединение с механорецептором", 3000));
  EXPECT_TRUE(hub.WaitFor(kLinkMsgPortClosed, 2, 1000));
  EXPECT_TRUE(
      WaitUntil([&] { return probe->Output().find("port closed") != std::string::npos; }, 2000));
  EXPECT_EQ(link->TimerMode(), LinkTimerMode::kNone);
}

TEST_F(LinkE2E, AutoconnectTriesOnlyFlaggedPassportsAndRemembersThePort) {
  WritePassportFile("a", 11, "111111111111", 1, false);
  WritePassportFile("b", 12, kId, 1, true);
  WritePassportFile("c", 13, "333333333333", 1, false);
  auto probe = Probe({"--com", "5", "--format", "1"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(1, 15000)) << probe->Output();

  EXPECT_TRUE(log.Contains("Механорецептор: автосоединение..."));
  for (const char* line :
       {"Test ICom=3 Device=12", "Test ICom=4 Device=12", "Test ICom=5 Device=12"})
    EXPECT_EQ(log.Count(line), 1) << line;
  EXPECT_EQ(log.Count("Test ICom="), 3);
  EXPECT_FALSE(log.Contains("Device=11"));
  EXPECT_FALSE(log.Contains("Device=13"));
  EXPECT_TRUE(
      log.Contains("Механорецептор: соединение установлено на порт COM5 (device id=0a1b2c3d4e5f)"));
  EXPECT_EQ(Cp1251ToUtf8(host.StatusText()), "Механорецептор: COM5 (device id=0a1b2c3d4e5f)");
  EXPECT_NE(probe->Output().find("connect 0a1b2c3d4e5f"), std::string::npos);
  {
    TimedLock l(host.PassportLock(), 1000);
    EXPECT_EQ(host.Passports().current.deviceNumber, 12);
  }
  ParameterSet set;
  LoadPars("CCOMReadThread_ComPasp", &set);
  int32_t com = 0, pasp = -1;
  EXPECT_EQ(GetPar("iComLast", com, set), 0);
  EXPECT_EQ(GetPar("iPaspLast", pasp, set), 0);
  EXPECT_EQ(com, 5);
  EXPECT_EQ(pasp, 1);

  // Disconnect tells the adapter to let go of the probe.
  link->RequestStop();
  EXPECT_TRUE(WaitUntil([&] { return probe->Output().find("btdis") != std::string::npos; }, 3000));

  // The next Connect starts its first pass at the remembered port.
  ASSERT_TRUE(log.WaitFor("Разорвано соединение с механорецептором", 3000));
  link->PostThreadMessage(kLinkMsgConnectRead);
  ASSERT_TRUE(pump.WaitConnected(2, 15000)) << probe->Output();
  EXPECT_EQ(log.Count("Test ICom=5 Device=12"), 2);
  EXPECT_EQ(log.Count("Test ICom=3 Device=12"), 1);
}

TEST_F(LinkE2E, Format2PassportSwitchesTheFormatAndSendsNoConnectCommand) {
  WritePassportFile("k", 21, kId, 2, true);
  WritePassportFile("z", 22, "222222222222", 0, true);
  auto probe = Probe({"--com", "5", "--format", "2"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(1, 15000)) << probe->Output();
  EXPECT_EQ(ReceptorDataFormat(), 2);
  EXPECT_TRUE(log.Contains("Test ICom=5 Device=21"));
  EXPECT_EQ(probe->Output().find("btcaa"), std::string::npos) << probe->Output();
  ASSERT_TRUE(pump.WaitImages(3, 2000));
  SensorFrame f;
  DecodeImage(pump.Images().back().image, nullptr, 2, false, f);
  EXPECT_GT(f.values[9], 900);  // a probe's values, not an empty image
  link->RequestStop();
  SleepMs(1500);
  EXPECT_EQ(probe->Output().find("btdis"), std::string::npos) << "no adapter commands in format 2";
}

TEST_F(LinkE2E, ConnectionAnsweredAndThenSilentFailsWithMinus8) {
  auto probe = Probe({"--com", "5", "--format", "1", "--silent-after-connect"});
  ASSERT_TRUE(probe);
  Make(LinkSettings{});
  double t0 = MonotonicSeconds();
  EXPECT_EQ(link->OpenReceptorPort(5, kId, true), -8);
  double took = MonotonicSeconds() - t0;
  EXPECT_GT(took, 15.0);  // 60 rounds of gathering
  EXPECT_LT(took, 40.0);
  EXPECT_FALSE(link->PortOpen(1));
  EXPECT_GE(hub.Count(kLinkMsgPortClosed), 2);
  EXPECT_TRUE(WaitUntil([&] { return probe->Output().find("btdis") != std::string::npos; }, 2000));
}

TEST_F(LinkE2E, SlowAdapterAndStrayOrCorruptBytesStillConnectAndRead) {
  WritePassportFile("b", 12, kId, 1, true);
  auto probe = Probe({"--com", "5", "--format", "1", "--slow-start", "1.5", "--stray", "5",
                      "--corrupt", "0.0002"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(1, 15000)) << probe->Output();
  EXPECT_EQ(ReceptorDataFormat(), 1);
  int before = pump.ImageCount();
  uint64_t packets = link->PacketsRead();
  SleepMs(1000);
  EXPECT_NEAR(pump.ImageCount() - before, 20, 3);
  // Stray bytes cost the packet they fall into at most; the stream stays in step.
  EXPECT_GT(link->PacketsRead() - packets, 120u);
}

TEST_F(LinkE2E, WrongHeaderOnAFixedPortIsRefusedWithMinus8) {
  auto probe = Probe({"--com", "5", "--direct", "--format", "1", "--wrong-header"});
  ASSERT_TRUE(probe);
  Make(LinkSettings{});
  EXPECT_EQ(link->OpenReceptorPort(5, kId, false), -8);
  EXPECT_FALSE(link->PortOpen(1));
}

TEST_F(LinkE2E, SilenceOfTwoSecondsReconnectsAfterTellingTheHub) {
  WritePassportFile("b", 12, kId, 1, true);
  auto probe = Probe({"--com", "5", "--format", "1", "--silence-after", "1"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(1, 15000));
  ASSERT_TRUE(pump.WaitConnected(2, 15000)) << probe->Output();
  auto msgs = hub.Messages();
  int firstStatus = Find(msgs, kLinkMsgStatusText);
  ASSERT_GE(firstStatus, 0);
  ASSERT_GT(static_cast<int>(msgs.size()), firstStatus + 1);
  EXPECT_EQ(msgs[firstStatus + 1], kLinkMsgPortClosed) << "1048 comes first after the silence";
  EXPECT_GE(Find(msgs, kLinkMsgStatusText, firstStatus + 1), 0);
  EXPECT_EQ(link->Connections(), 2);
  EXPECT_GE(probe->Output().find("btdis"), probe->Output().find("silent"));
}

// The probe's power button: each pass of the script is the probe switched on (while the link
// is already asking the adapter to connect), resting, pressed, held, released and switched off.
// Every pass is one connection with its frames and one loss that the hub hears of, as with a real
// probe that the surgeon switches on for each push.
TEST_F(LinkE2E, PowerButtonSessionOfTwoPushesGivesTwoConnectionsAndTwoLosses) {
  WritePassportFile("b", 12, kId, 1, true);
  auto probe = Probe({"--com", "5", "--format", "1", "--noise", "0", "--script",
                      "off:1,rest:1.5,press:0.4:0.8,hold:0.4,release:0.4,rest:0.4,off:2.5",
                      "--pushes", "2"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(2, 20000)) << probe->Output();
  // The second loss: the probe is off for good and the link goes back to connecting.
  auto count = [&](const std::string& text) {
    std::string out = probe->Output();
    int n = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
    return n;
  };
  ASSERT_TRUE(WaitUntil([&] { return count("btdis") >= 2; }, 10000)) << probe->Output();
  ASSERT_TRUE(WaitUntil([&] { return count("connect " + std::string(kId)) >= 3; }, 5000))
      << probe->Output();
  EXPECT_EQ(count("switched off"), 2);
  EXPECT_EQ(count("switched on"), 2);
  EXPECT_EQ(count("CONNECTION"), 2);
  EXPECT_EQ(link->Connections(), 2);
  EXPECT_EQ(pump.Connected(), 2);

  // The hub hears of every connection, and of every loss right after it.
  auto msgs = hub.Messages();
  std::vector<int> status;
  for (size_t i = 0; i < msgs.size(); ++i)
    if (msgs[i] == kLinkMsgStatusText) status.push_back(static_cast<int>(i));
  ASSERT_EQ(status.size(), 2u);
  for (int at : status) {
    ASSERT_GT(static_cast<int>(msgs.size()), at + 1);
    EXPECT_EQ(msgs[static_cast<size_t>(at) + 1], kLinkMsgPortClosed);
  }

  // The frames of each connection (the image index starts again at 0): rest, a press, and the
  // release back to rest before the link dropped.
  std::vector<std::vector<int>> centre;
  for (const auto& t : pump.Images()) {
    if (centre.empty() || t.index == 0) centre.emplace_back();
    SensorFrame f;
    DecodeImage(t.image, nullptr, 1, false, f);
    centre.back().push_back(f.values[9]);
  }
  ASSERT_EQ(centre.size(), 2u);
  const int rest = 1000 + 10 * 9;
  for (const auto& v : centre) {
    ASSERT_GT(v.size(), 30u);
    EXPECT_EQ(v.front(), rest);
    auto peak = std::max_element(v.begin(), v.end());
    EXPECT_GT(*peak, rest + 5000);
    EXPECT_NE(std::find(peak, v.end(), rest), v.end()) << "released before switched off";
  }
}

TEST_F(LinkE2E, SilenceIsNoticedTwoSecondsAfterTheLastPacketNotLater) {
  WritePassportFile("p5", 5, kId, 1, true);
  auto probe = Probe({"--com", "5", "--direct", "--format", "1", "--silence-after", "1"});
  ASSERT_TRUE(probe);
  Connect(FixedPort());
  ASSERT_TRUE(pump.WaitConnected(1, 10000)) << probe->Output();
  const int closedBefore = hub.Count(kLinkMsgPortClosed);
  // The moment the last packet was read, and the moment the hub hears of the closed port.
  uint64_t packets = link->PacketsRead();
  double lastPacket = MonotonicSeconds();
  double closed = 0;
  const double end = lastPacket + 10.0;
  while (MonotonicSeconds() < end) {
    const double now = MonotonicSeconds();
    if (hub.Count(kLinkMsgPortClosed) > closedBefore) {
      closed = now;
      break;
    }
    if (link->PacketsRead() != packets) {
      packets = link->PacketsRead();
      lastPacket = now;
    }
    SleepMs(1);
  }
  ASSERT_GT(closed, 0) << "the silence was never noticed";
  EXPECT_NE(probe->Output().find("silent"), std::string::npos);
  // Two seconds of silence, with room for a slow machine on the late side only.
  EXPECT_GE(closed - lastPacket, 1.95);
  EXPECT_LE(closed - lastPacket, 2.8);
}

TEST_F(LinkE2E, DisconnectKeepsTheLinkLockOnlyBrieflyThoughTheAdapterPauses) {
  WritePassportFile("p5", 5, kId, 1, true);
  auto probe = Probe({"--com", "5", "--direct", "--format", "1"});
  ASSERT_TRUE(probe);
  LinkSettings s = FixedPort();
  Make(s);
  ASSERT_TRUE(link->Connect());  // on this thread; the reading thread is not started
  // Another thread keeps taking the link lock, as the window's timers do, and notes its
  // longest wait while this thread disconnects (which sends "btdis" and pauses 100 ms).
  std::atomic<bool> done{false};
  double longest = 0;
  std::thread timers([&] {
    while (!done.load()) {
      const double t0 = MonotonicSeconds();
      TimedLock l(LinkLock(), 2000);
      longest = std::max(longest, MonotonicSeconds() - t0);
    }
  });
  SleepMs(20);
  const double t0 = MonotonicSeconds();
  link->Disconnect();
  const double took = MonotonicSeconds() - t0;
  done = true;
  timers.join();
  EXPECT_GE(took, 0.1) << "the adapter pause belongs to the disconnect";
  EXPECT_LT(longest, 0.09);
  EXPECT_FALSE(link->PortOpen(1));
  EXPECT_TRUE(log.Contains("Разорвано соединение с механорецептором"));
  EXPECT_TRUE(WaitUntil([&] { return probe->Output().find("btdis") != std::string::npos; }, 2000));
}

TEST_F(LinkE2E, HangUpIsNoticedAtOnceAndTheProbeIsReconnected) {
  WritePassportFile("b", 12, kId, 1, true);
  auto probe = Probe({"--com", "5", "--format", "1", "--hangup-after", "1", "--hangup-for", "0.5"});
  ASSERT_TRUE(probe);
  LinkSettings s;
  s.autoconnect = 1;
  Connect(s);
  ASSERT_TRUE(pump.WaitConnected(1, 15000));
  ASSERT_TRUE(pump.WaitConnected(2, 15000)) << probe->Output();
  EXPECT_GE(hub.Count(kLinkMsgPortClosed), 2);
}

TEST_F(LinkE2E, DebugFilePlaysInALoop) {
  // Version word, then 52-byte blocks: only those beginning with "TC" become images.
  std::string file = "\xEE\x03\x00\x00"s;
  auto block = [](const char* head, int16_t value) {
    std::string b(52, '\0');
    b[0] = head[0];
    b[1] = head[1];
    b[10] = static_cast<char>(value & 0xFF);
    b[11] = static_cast<char>(value >> 8);
    return b;
  };
  file += block("TC", 111) + block("XX", 222) + block("TC", 333);
  WriteBytes(roots.data() / "pars" / "test.bin", file);
  LinkSettings s;
  s.fileMode = 1;
  Make(s);
  Run();
  link->PostThreadMessage(kLinkMsgConnectPoll);
  ASSERT_TRUE(pump.WaitConnected(1, 3000));
  ASSERT_TRUE(pump.WaitImages(6, 3000));
  auto images = pump.Images();
  std::vector<int> values, indices;
  for (size_t i = 0; i < 6; ++i) {
    values.push_back(images[i].image.words[5]);
    indices.push_back(images[i].index);
  }
  EXPECT_EQ(values, (std::vector<int>{111, 333, 111, 333, 111, 333}));
  EXPECT_EQ(indices, (std::vector<int>{0, 2, 3, 5, 6, 8}));
  EXPECT_EQ(pump.Connected(), 1) << "the loop is one connection";
  link->PostThreadMessage(kLinkMsgDisconnect);
  EXPECT_TRUE(WaitUntil([&] { return !link->PortOpen(1); }, 2000));
}

TEST_F(LinkE2E, MissingDebugFileGivesInvalidHandleAndNoConnection) {
  LinkSettings s;
  s.fileMode = 1;
  s.debugFile = "C:\\Tacmon\\pars\\nothing.bin";
  Make(s);
  Run();
  link->PostThreadMessage(kLinkMsgConnectPoll);
  EXPECT_TRUE(log.WaitFor("INVALID HANDLE VALUE!", 2000));
  SleepMs(300);
  EXPECT_EQ(pump.Connected(), 0);
  EXPECT_EQ(pump.ImageCount(), 0);
}

TEST_F(LinkE2E, TwoProbesDeliverBothImages) {
  WritePassportFile("p5", 5, kId, 1, true);
  WritePassportFile("p6", 6, "666666666666", 1, true);
  auto probe = Probe(
      {"--com", "5", "--second-com", "6", "--format", "1", "--noise", "0", "--script", "rest:60"});
  ASSERT_TRUE(probe);
  Connect(TwoFixedPorts());
  ASSERT_TRUE(pump.WaitConnected(1, 10000)) << probe->Output();
  ASSERT_TRUE(pump.WaitImages(5, 3000));
  EXPECT_EQ(Cp1251ToUtf8(host.StatusText()),
            "Механорецепторы:  #1: COM5 (device id=0a1b2c3d4e5f); #2: COM6");
  {
    TimedLock l(host.PassportLock(), 1000);
    EXPECT_EQ(host.Passports().current.deviceNumber, 5);
    EXPECT_EQ(host.Passports().second.deviceNumber, 6);
  }
  SensorFrame f;
  std::array<int32_t, 19> second{};
  auto last = pump.Images().back();
  DecodeImage(last.image, &last.second, 1, false, f, &second);
  for (int sensor = 0; sensor < 19; ++sensor) {
    EXPECT_EQ(f.values[sensor], 1000 + 10 * sensor);
    EXPECT_EQ(second[sensor], 2000 + 10 * sensor);
  }
}

TEST_F(LinkE2E, AQuietSecondPortNeitherThrottlesTheFirstNorGoesUnnoticed) {
  WritePassportFile("p5", 5, kId, 1, true);
  WritePassportFile("p6", 6, "666666666666", 1, true);
  auto probe = Probe({"--com", "5", "--format", "1"});
  ASSERT_TRUE(probe);
  std::string err;
  auto quiet = sim::PtyLink::Create(6, &err);
  ASSERT_TRUE(quiet) << err;
  Connect(TwoFixedPorts());
  ASSERT_TRUE(pump.WaitConnected(1, 10000)) << probe->Output();
  uint64_t before = link->PacketsRead();
  SleepMs(1000);
  EXPECT_GT(link->PacketsRead() - before, 150u) << "the first probe is read at its full rate";
  // The second probe says something and falls silent: noticed after 2 s, and reconnected.
  int closedBefore = hub.Count(kLinkMsgPortClosed);
  std::string packet(56, '\0');
  packet[0] = 'T', packet[1] = 'C', packet[2] = '1', packet[3] = '4';
  double sent = MonotonicSeconds();
  ASSERT_EQ(::write(quiet->Master(), packet.data(), packet.size()), 56);
  EXPECT_TRUE(WaitUntil([&] { return link->SecondPacketsRead() == 1; }, 1000));
  // Still open 1.5 s after the packet, however long seeing it took on a busy machine.
  int quietMs = 1500 - static_cast<int>((MonotonicSeconds() - sent) * 1000);
  EXPECT_FALSE(hub.WaitFor(kLinkMsgPortClosed, closedBefore + 1, std::max(quietMs, 0)));
  EXPECT_TRUE(hub.WaitFor(kLinkMsgPortClosed, closedBefore + 1, 2500));
  EXPECT_TRUE(pump.WaitConnected(2, 10000));
}

TEST_F(LinkE2E, PollTimerInPortModeDeliversWithoutEverWaiting) {
  WritePassportFile("p5", 5, kId, 0, true);
  auto probe = Probe({"--com", "5", "--direct", "--format", "0", "--silence-after", "1"});
  ASSERT_TRUE(probe);
  LinkSettings s = FixedPort();
  Make(s);
  // Connect on this thread (the thread is not started): the poll timer runs after it.
  ASSERT_TRUE(link->Connect());
  ASSERT_EQ(link->TimerMode(), LinkTimerMode::kPoll);
  double longest = 0;
  int images = 0;
  double end = MonotonicSeconds() + 2.0;  // streaming, then silent: neither may block the caller
  while (MonotonicSeconds() < end) {
    double t0 = MonotonicSeconds();
    link->TickTimers();
    longest = std::max(longest, MonotonicSeconds() - t0);
    PacketImage img;
    int32_t index;
    while (link->TakeImage(img, index)) {
      EXPECT_EQ(img.words[0], 'T' | ('C' << 8));
      ++images;
    }
    SleepMs(2);
  }
  EXPECT_LT(longest, 0.02);
  EXPECT_GT(images, 5);
  link->CloseBothPorts();
}

TEST_F(LinkE2E, PortFailuresAreReportedOnlyWhenAsked) {
  std::filesystem::create_symlink("/dev/null", roots.ports() / "COM4");
  struct Case {
    int port;
    int code;
    const char* message;
  } cases[] = {{5, -1, "INVALID HANDLE VALUE!"}, {4, -2, "CommState = FALSE!"}};
  for (const Case& c : cases) {
    std::shared_ptr<ByteTransport> p;
    EXPECT_EQ(OpenLinkPort(c.port, false, &p), c.code);
    EXPECT_FALSE(log.Contains(c.message));
    EXPECT_EQ(OpenLinkPort(c.port, true, &p), c.code);
    EXPECT_EQ(log.Count(c.message), 1) << c.message;
    EXPECT_FALSE(p);
  }
  Make(LinkSettings{});
  EXPECT_EQ(link->OpenReceptorPort(5, kId, true), -1);
  EXPECT_EQ(log.Count("INVALID HANDLE VALUE!"), 1) << "the link's own connects stay quiet";
}

TEST_F(LinkE2E, QuitEndsTheThreadAtOnceEvenDuringARetryPause) {
  WritePassportFile("p5", 5, kId, 1, true);
  LinkSettings s;
  s.autoconnect = 0;
  s.comPort = 5;  // nothing there: a 10 s pause follows every try
  s.device = 5;
  Connect(s);
  ASSERT_TRUE(log.WaitFor("MechReceptor: Can't connect", 3000));
  double t0 = MonotonicSeconds();
  EXPECT_EQ(link->Quit(), 1);
  // Far below the 10 s pause, with room for a loaded machine.
  EXPECT_LT(MonotonicSeconds() - t0, 5.0);
  EXPECT_FALSE(link->Running());
}

}  // namespace

namespace {

TEST(Tacprobe, HelpUsageAndACleanEndOnSigtermThatRemovesItsLinks) {
  ScratchRoots roots;
  ProbeProcess help({"--help"}, (roots.base() / "help.txt").string());
  EXPECT_EQ(help.Wait(5000), 0);
  EXPECT_NE(help.Output().find("usage: tacprobe --com N"), std::string::npos);
  ProbeProcess bad({"--format", "1"}, (roots.base() / "bad.txt").string());
  EXPECT_EQ(bad.Wait(5000), 2) << "no port number";

  ProbeProcess probe({"--com", "7", "--second-com", "8"}, (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(7)) << probe.Output();
  EXPECT_TRUE(std::filesystem::is_symlink(roots.ports() / "COM8"));
  probe.Signal(SIGTERM);
  EXPECT_EQ(probe.Wait(3000), 0);
  EXPECT_NE(probe.Output().find("stopped"), std::string::npos);
  for (const char* name : {"COM7", "COM8"})
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(roots.ports() / name)))
        << name;
}

}  // namespace

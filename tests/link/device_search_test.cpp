// The device search: the report and the offered device from the answers, the registry change
// after a yes, and the search itself against simulated adapters and streaming probes on
// pseudo-terminals, alone and queued behind a connected link on its reading thread.
#include "acquisition/link/device_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "acquisition/link/com_read_thread.h"
#include "link_test_support.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/probe_sim.h"
#include "sim/pty_link.h"
#include "support/scratch_roots.h"

namespace {

using Id = std::array<uint8_t, 6>;

// A simulated probe running on its own thread for as long as the object lives.
class RunningProbe {
 public:
  explicit RunningProbe(sim::ProbeOptions o) : probe_(std::move(o)) {
    std::string err;
    const bool started = probe_.Start(&err);
    EXPECT_TRUE(started) << err;
    if (started) thread_ = std::thread([this] { probe_.Run(stop_); });
  }
  ~RunningProbe() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  sim::ProbeSim probe_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

sim::ProbeOptions Adapter(int com, const std::string& id) {
  sim::ProbeOptions o;
  o.com = com;
  o.id = id;
  return o;
}

sim::ProbeOptions Streaming(int com, double rate = 0) {
  sim::ProbeOptions o;
  o.com = com;
  o.direct = true;
  o.rate = rate;
  return o;
}

TEST(DeviceSearchReport, AnswersAreCollectedWithoutNulsOrDoubledCarriageReturns) {
  Text1251 report;
  AppendPortAnswer(report, 3, std::string("\r\r\nIn\0q\r\r\r\n", 11));
  AppendPortAnswer(report, 12, "OK\r\n");
  EXPECT_EQ(report, "COM3:\n\r\nInq\r\nCOM12:\nOK\r\n");
  AppendPortAnswer(report, 13, "OK");
  AppendPortAnswer(report, 14, "OK");
  EXPECT_EQ(report, "COM3:\n\r\nInq\r\nCOM12:\nOK\r\nCOM13:\nOK\nCOM14:\nOK");

  // The report stops at 2559 characters, also in the middle of a port's head.
  Text1251 full(kSearchReportLimit - 3, 'x');
  AppendPortAnswer(full, 7, "abc");
  EXPECT_EQ(full, Text1251(kSearchReportLimit - 3, 'x') + "\nCO");
  AppendPortAnswer(full, 8, "abc");
  EXPECT_EQ(full.size(), kSearchReportLimit);
}

TEST(DeviceSearchReport, OfferedDeviceIsTheAddressEighteenCharactersBeforeQrx) {
  const struct {
    const char* report;
    std::optional<Id> device;
  } cases[] = {
      {"COM3:\r\nInquiry\r\n01:02:03:04:05:06 QRX tacprobe\r\nOK", Id{1, 2, 3, 4, 5, 6}},
      {"COM3:\n 0a:1B:2c:3d:4e:5f QRX\nCOM5:\n11:11:11:11:11:11 QRX", Id{10, 27, 44, 61, 78, 95}},
      {"COM3:\n0x1:2:3:4:5:6 and QRX", Id{1, 2, 3, 4, 5, 6}},
      {"COM3:\nInquiry\r\nOK\r\n", std::nullopt},               // nobody in reach
      {"01:02:03:04:05:06 QRX", std::nullopt},                  // QRX before index 19
      {"COM3:\nxx:02:03:04:05:06 QRX", std::nullopt},           // not a number
      {"COM3:\n101:02:03:04:05:6 QRX tacprobe", std::nullopt},  // not a byte
      {"COM3:\n  01:02:03:04:05 QRX tacprobe", std::nullopt},   // five numbers
  };
  for (const auto& c : cases) EXPECT_EQ(OfferedDevice(c.report), c.device) << c.report;
  EXPECT_EQ(Cp1251ToUtf8(ConnectQuestion({10, 27, 44, 61, 78, 95})),
            "\nСоединиться с устройством с номером 0a:1b:2c:3d:4e:5f?");
}

TEST(DeviceSearchRegistry, OnlyTheChosenDeviceIsLeftForAutoconnect) {
  PassportRegistry r;
  for (int n : {1, 2, 3}) {
    DevicePassport p;
    p.deviceNumber = n;
    p.deviceId = {0, 0, 0, 0, 0, static_cast<uint8_t>(n)};
    p.useForAutoconnect = n != 2;
    p.fileName = "c:\\Tacmon\\DVP\\p" + std::to_string(n) + ".dvp";
    r.passports.push_back(p);
  }
  UseOnlyForAutoconnect(r, {0, 0, 0, 0, 0, 2});
  ASSERT_EQ(r.Count(), 3);
  for (const DevicePassport& p : r.passports)
    EXPECT_EQ(p.useForAutoconnect, p.deviceNumber == 2) << p.deviceNumber;

  // An unknown device: a copy of the first passport with its id, behind no file.
  const Id other{0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6};
  UseOnlyForAutoconnect(r, other);
  ASSERT_EQ(r.Count(), 4);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r.passports[i].useForAutoconnect, 0);
  const DevicePassport& added = r.passports.back();
  EXPECT_EQ(added.deviceId, other);
  EXPECT_EQ(added.useForAutoconnect, 1);
  EXPECT_EQ(added.deviceNumber, 1);
  EXPECT_TRUE(added.fileName.empty());
  EXPECT_EQ(r.passports[0].fileName, "c:\\Tacmon\\DVP\\p1.dvp");

  PassportRegistry empty;
  UseOnlyForAutoconnect(empty, other);
  ASSERT_EQ(empty.Count(), 1);
  EXPECT_EQ(empty.passports[0].deviceId, other);
  EXPECT_EQ(empty.passports[0].useForAutoconnect, 1);
  EXPECT_EQ(empty.passports[0].numChannels, DevicePassport{}.numChannels);
}

TEST(DeviceSearch, EveryAdapterIsAskedAndAStreamingPortCannotHoldTheSearch) {
  ScratchRoots roots;
  LogCapture log;
  // COM3: an adapter that sees two devices, its answer spread over several rounds; COM4: a
  // probe without an adapter that streams as long as the port is open; COM6: an adapter that
  // sees itself.
  sim::ProbeOptions a = Adapter(3, "0a0b0c0d0e0f");
  a.searchIds = {"0a0b0c0d0e0f", "a1a2a3a4a5a6"};
  a.searchDelay = 0.3;
  RunningProbe first(a);
  RunningProbe streaming(Streaming(4));
  RunningProbe second(Adapter(6, "010203040506"));

  int closes = 0;
  const double start = MonotonicSeconds();
  DeviceSearchResult r = SearchDevices([&] { ++closes; }, {}, {}, 1, 8);
  const double took = MonotonicSeconds() - start;

  EXPECT_EQ(closes, 2) << "the link's ports are closed before and after";
  EXPECT_EQ(r.portsAnswered, 3);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(Cp1251ToUtf8(r.report),
            "COM3:\n\r\nInquiry\r\n0a:0b:0c:0d:0e:0f QRX tacprobe\r\n"
            "a1:a2:a3:a4:a5:a6 QRX tacprobe\r\nOK\n"
            "COM4:\n(порт передает данные без остановки, опрос прерван)\n"
            "COM6:\n\r\nInquiry\r\n01:02:03:04:05:06 QRX tacprobe\r\nOK"
            "\nРезультаты записаны в файл C:\\Tacmon\\DVP\\search_devices.txt");
  EXPECT_EQ(r.device, (Id{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f}));
  // The streaming port is cut off after its 4096 bytes (about 0.4 s of the line and the pauses
  // between its rounds); the answers take about a second.
  EXPECT_LT(took, 6.0);
  EXPECT_TRUE(log.Contains("Поиск устройств: COM4 передает данные без остановки"));
  EXPECT_EQ(log.Count("INVALID HANDLE VALUE!"), 5) << "ports 1, 2, 5, 7 and 8 do not exist";

  // The file holds the raw answers of the whole search.
  const std::string file = ReadBytes(roots.data() / "DVP" / "search_devices.txt");
  EXPECT_EQ(file.find("\r\nInquiry\r\n0a:0b:0c:0d:0e:0f QRX tacprobe\r\n"), 0u);
  EXPECT_GE(file.size(), 4096u);
  const std::string last = "\r\nInquiry\r\n01:02:03:04:05:06 QRX tacprobe\r\nOK";
  ASSERT_GT(file.size(), last.size());
  EXPECT_EQ(file.substr(file.size() - last.size()), last);
}

TEST(DeviceSearch, NoAnswerAnywhereLeavesOnlyTheClosingSentence) {
  ScratchRoots roots;
  LogCapture log;
  DeviceSearchResult r = SearchDevices({}, {});
  EXPECT_EQ(Cp1251ToUtf8(r.report),
            "\nРезультаты записаны в файл C:\\Tacmon\\DVP\\search_devices.txt");
  EXPECT_FALSE(r.device);
  EXPECT_EQ(log.Count("INVALID HANDLE VALUE!"), kSearchLastPort);
  EXPECT_FALSE(std::filesystem::exists(roots.data() / "DVP" / "search_devices.txt"));
}

TEST(DeviceSearch, EachPortIsBoundedInBytesTimeRoundsAndByAStop) {
  ScratchRoots roots;
  LogCapture log;
  // A silent port: a pseudo-terminal nobody answers on.
  std::string err;
  auto silent = sim::PtyLink::Create(9, &err);
  ASSERT_TRUE(silent) << err;
  RunningProbe fast(Streaming(10));
  RunningProbe slow(Streaming(11, 10));  // 10 packets a second: never silent for 200 ms

  SearchLimits fewRounds;
  fewRounds.rounds = 3;
  SearchLimits shortPort;
  shortPort.portMs = 1500;
  const struct {
    const char* what;
    int port;
    SearchLimits limits;
    bool stopSoon;
    SearchEnd end;
    double minSeconds, maxSeconds;
  } cases[] = {
      {"silent, rounds end it", 9, fewRounds, false, SearchEnd::kRoundsDone, 0.9, 1.8},
      {"silent, stopped", 9, {}, true, SearchEnd::kStopped, 0.2, 1.0},
      {"streaming, byte bound", 10, {}, false, SearchEnd::kBounded, 0.3, 3.0},
      {"trickling, time bound", 11, shortPort, false, SearchEnd::kBounded, 1.45, 2.2},
      {"no such port", 12, {}, false, SearchEnd::kNotOpened, 0, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const double start = MonotonicSeconds();
    auto stop = [&] { return c.stopSoon && MonotonicSeconds() - start > 0.3; };
    const PortSearch s = SearchPort(c.port, stop, c.limits);
    EXPECT_EQ(s.end, c.end);
    EXPECT_GE(s.seconds, c.minSeconds);
    EXPECT_LE(s.seconds, c.maxSeconds);
    if (c.port == 10) {
      EXPECT_EQ(s.answer.size(), 4096u);
    }
    if (c.port == 11) {
      EXPECT_LT(s.answer.size(), 4096u);
    }
    if (c.port == 12) {
      EXPECT_EQ(s.code, kSerialCannotOpen);
    }
  }
  // A port cut off is open again afterwards (the search closed it).
  EXPECT_TRUE(CanOpenPort(10));

  // A port that hangs up ends its search at once instead of waiting out the rounds.
  auto lost = sim::PtyLink::Create(13, &err);
  ASSERT_TRUE(lost) << err;
  std::thread hangUp([&] {
    SleepMs(300);
    lost->HangUp();
  });
  const PortSearch s = SearchPort(13, {});
  hangUp.join();
  EXPECT_EQ(s.end, SearchEnd::kLost);
  EXPECT_LT(s.seconds, 1.0);
}

TEST(DeviceSearch, TheReadingThreadStopsItsLinkBeforeTheSearchTakesThePort) {
  ScratchRoots roots;
  LogCapture log;
  SetReceptorDataFormat(1);
  WritePassportFile("probe5", 5, "0a1b2c3d4e5f", 1, true);
  RunningProbe probe(Adapter(5, "0a1b2c3d4e5f"));
  SimpleLinkHost host;
  RecordingWindow hub;
  host.SetHubWindow(hub.handle());
  LinkSettings s;
  s.autoconnect = 1;
  host.SetSettings(s);
  LoadPassports(host.Passports());
  WindowPump pump;
  LinkOwner owner;
  owner.window = pump.handle();
  CCOMReadThread link(host, owner);
  link.Start();
  pump.Start(link);
  link.PostThreadMessage(kLinkMsgConnectRead);
  ASSERT_TRUE(pump.WaitConnected(1, 10000));
  ASSERT_TRUE(pump.WaitImages(3, 3000));

  // The Disconnect command, then the search: it waits for the reading loop to end.
  const int closedBefore = hub.Count(kLinkMsgPortClosed);
  link.RequestStop();
  auto job = std::make_shared<DeviceSearchJob>();
  job->last = 8;
  link.RequestDeviceSearch(job);
  ASSERT_TRUE(WaitUntil([&] { return job->done.load(); }, 15000));
  EXPECT_TRUE(log.Contains("Разорвано соединение с механорецептором"));
  EXPECT_NE(job->result.report.find("COM5:\n\r\nInquiry\r\n0a:1b:2c:3d:4e:5f QRX tacprobe"),
            std::string::npos)
      << job->result.report;
  EXPECT_EQ(job->result.device, (Id{0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}));
  EXPECT_FALSE(link.PortOpen(1));
  EXPECT_GE(hub.Count(kLinkMsgPortClosed), closedBefore + 3)
      << "disconnect, and the search before and after";

  // A search stopped from outside ends early and says so.
  auto stopped = std::make_shared<DeviceSearchJob>();
  stopped->stop = true;
  link.RequestDeviceSearch(stopped);
  ASSERT_TRUE(WaitUntil([&] { return stopped->done.load(); }, 3000));
  EXPECT_TRUE(stopped->result.stopped);
  pump.Stop();
  link.Quit();
}

}  // namespace

// tacpush record OUT.psh --seconds S [--port N --device D | --auto]: records a push from a
// probe without the GUI, through the same link code as the operation window: the reading
// thread connects, the zero point is taken from the first frames (probe at rest), then the
// passport block and one frame per display period go into OUT.psh. Ctrl-C stops cleanly and
// keeps what was recorded. With --operation FOLDER it records as the workstation does: OUT is
// the stream file (normally "c:\Tacmon\pars\tmpSavedData.bin"), a marker beside it names the
// folder, and a clean end copies the push into the folder as "hh-mm-ss.psh".
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "acquisition/link/com_read_thread.h"
#include "acquisition/push_file.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/report.h"
#include "tools/tacpush/command_registry.h"

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_quietLog{false};

void OnInterrupt(int) { g_interrupted = true; }

void ConsoleLog(const char* text) {
  if (!g_quietLog.load()) std::fprintf(stderr, "log: %s\n", tacpush::Console(text).c_str());
}

struct RecordOptions {
  Text1251 out;
  double seconds = -1;
  int port = 0;
  int device = -1;
  bool autoconnect = false;
  int format = 0;
  double period = 0.05;
  Text1251 id;  // for a passport made up when the registry has none for the device
  double connectTimeout = 30;
  bool quiet = false;
  Text1251 operation;  // operation folder; empty: OUT is the push itself
};

bool ParseNumber(const Text1251& s, double* out) {
  char* end = nullptr;
  *out = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == 0;
}

int Parse(const CommandArgs& args, RecordOptions* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const Text1251& a = args[i];
    auto next = [&](double* v) { return i + 1 < args.size() && ParseNumber(args[++i], v); };
    double v = 0;
    if (a == "--seconds") {
      if (!next(&o->seconds) || o->seconds <= 0)
        return tacpush::UsageError("record", "--seconds needs a positive number");
    } else if (a == "--port") {
      if (!next(&v) || v < 1 || v > 255)
        return tacpush::UsageError("record", "--port needs 1..255");
      o->port = static_cast<int>(v);
    } else if (a == "--device") {
      if (!next(&v) || v < 0) return tacpush::UsageError("record", "--device needs a number");
      o->device = static_cast<int>(v);
    } else if (a == "--auto") {
      o->autoconnect = true;
    } else if (a == "--format") {
      if (!next(&v) || (v != 0 && v != 1 && v != 2))
        return tacpush::UsageError("record", "--format needs 0, 1 or 2");
      o->format = static_cast<int>(v);
    } else if (a == "--period") {
      if (!next(&o->period) || o->period < 0.005 || o->period > 10)
        return tacpush::UsageError("record", "--period needs 0.005..10 seconds");
    } else if (a == "--id") {
      if (i + 1 >= args.size()) return tacpush::UsageError("record", "--id needs 12 hex digits");
      o->id = args[++i];
      std::array<uint8_t, 6> check{};
      if (!ParseDeviceId(o->id, check))
        return tacpush::UsageError("record", "--id needs 12 hex digits");
    } else if (a == "--connect-timeout") {
      if (!next(&o->connectTimeout) || o->connectTimeout <= 0)
        return tacpush::UsageError("record", "--connect-timeout needs seconds");
    } else if (a == "--quiet") {
      o->quiet = true;
    } else if (a == "--operation") {
      if (i + 1 >= args.size()) return tacpush::UsageError("record", "--operation needs a folder");
      o->operation = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return tacpush::UsageError("record", "unknown option " + a);
    } else if (o->out.empty()) {
      o->out = a;
    } else {
      return tacpush::UsageError("record", "one output file only");
    }
  }
  if (o->out.empty()) return tacpush::UsageError("record", "no output file");
  if (o->seconds <= 0) return tacpush::UsageError("record", "--seconds is required");
  if (o->autoconnect == (o->port > 0))
    return tacpush::UsageError("record", "give either --port N --device D or --auto");
  if (o->port > 0 && o->device < 0) return tacpush::UsageError("record", "--port needs --device");
  return 0;
}

// Makes sure the registry has the passport the connection needs: a default one (with --id)
// when the data root has none.
bool EnsurePassport(SimpleLinkHost& host, const RecordOptions& o) {
  TimedLock l(host.PassportLock(), 1000);
  PassportRegistry& r = host.Passports();
  for (const DevicePassport& p : r.passports) {
    if (o.autoconnect ? p.useForAutoconnect != 0 : p.deviceNumber == o.device) return true;
  }
  DevicePassport p;
  p.deviceNumber = o.device >= 0 ? o.device : 0;
  p.format = o.format;
  if (!o.id.empty())
    ParseDeviceId(o.id, p.deviceId);
  else if (o.autoconnect)
    return false;
  r.passports.push_back(p);
  std::fprintf(
      stderr,
      "tacpush: no passport for the probe in DVP\\, using a default one (device %d, id %s)\n",
      p.deviceNumber, DeviceIdText(p).c_str());
  return true;
}

int RunRecord(const CommandArgs& args) {
  RecordOptions o;
  if (int rc = Parse(args, &o)) return rc;
  g_quietLog = o.quiet;
  LogSink oldSink = SetLogSink(&ConsoleLog);

  SimpleLinkHost host;
  LinkSettings s;
  s.autoconnect = o.autoconnect ? 1 : 0;
  s.connect2 = 0;
  s.comPort = o.port > 0 ? o.port : 3;
  s.device = o.device >= 0 ? o.device : 0;
  s.displayPeriod = o.period;
  host.SetSettings(s);
  SetReceptorDataFormat(o.format);
  LoadPassports(host.Passports());
  if (!EnsurePassport(host, o)) {
    SetLogSink(oldSink);
    return tacpush::Fail("DVP", "no passport is flagged for autoconnect (give --id)", -1);
  }

  auto hub = std::make_shared<MessageQueueTarget>();
  auto window = std::make_shared<MessageQueueTarget>();
  WindowHandle hubHandle = RegisterWindow(hub);
  WindowHandle windowHandle = RegisterWindow(window);
  host.SetHubWindow(hubHandle);
  LinkOwner owner;
  owner.window = windowHandle;
  auto link = std::make_unique<CCOMReadThread>(host, owner);

  struct sigaction sa {
  }, oldInt{}, oldTerm{};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  g_interrupted = false;

  Push push = CreatePush();
  int rc = 0;
  const int opened = o.operation.empty() ? OpenPushStream(push, false, o.out)
                                         : OpenOperationPushStream(push, o.operation, false, o.out);
  if (opened != 0) {
    rc = tacpush::Fail(o.out, "cannot be written", -1);
  } else {
    link->Start();
    link->PostThreadMessage(kLinkMsgConnectRead);
    const int zeroFrames = ZeroPointFrameCount(o.period);
    std::vector<std::vector<double>> samples(kSensorCount);
    DevicePassport passport;
    int sinceConnect = -1;  // frames since the connection; -1 before it
    int recorded = 0;
    double connectDeadline = MonotonicSeconds() + o.connectTimeout;
    double recordStart = -1;
    double lastProgress = 0;
    std::printf("tacpush: connecting...\n");
    std::fflush(stdout);
    while (!g_interrupted.load()) {
      double now = MonotonicSeconds();
      if (sinceConnect < 0 && now > connectDeadline) {
        rc = tacpush::Fail(o.out, "no probe connected in time", -1);
        break;
      }
      if (recordStart >= 0 && now - recordStart >= o.seconds) break;
      int next = link->TickTimers();
      ThreadMessage m;
      while (hub->queue.Peek(m)) {
        if (m.message == kLinkMsgStatusText)
          std::printf("\ntacpush: %s\n", tacpush::Console(host.StatusText()).c_str());
        else if (m.message == kLinkMsgPortClosed && sinceConnect >= 0)
          std::printf("\ntacpush: the probe's port was closed; reconnecting\n");
      }
      if (!window->queue.Get(m, std::clamp(next < 0 ? 10 : next, 1, 10))) continue;
      if (m.message == kLinkMsgConnected) {
        if (sinceConnect < 0) {
          sinceConnect = 0;
          link->ResetDeliveryCounter();
          TimedLock l(host.PassportLock(), 1000);
          passport = host.Passports().current;
          std::printf("tacpush: connected; hold the probe at rest for the zero point\n");
        }
        continue;
      }
      if (m.message != kLinkMsgNewImage || sinceConnect < 0) continue;
      PacketImage image;
      int32_t index = 0;
      while (link->TakeImage(image, index)) {
        SensorFrame frame;
        DecodeImage(image, nullptr, ReceptorDataFormat(), false, frame);
        frame.index = index;
        frame.captureTime = frame.storedTime = FrameTime::Now();
        if (sinceConnect < zeroFrames) {
          for (int c = 0; c < kSensorCount; ++c)
            samples[c].push_back(Calibrate(passport, c, frame.values[c]));
        } else if (sinceConnect == zeroFrames) {
          for (int c = 0; c < kSensorCount; ++c)
            ApplyZeroPoint(passport, c, ZeroPointMedian(samples[c]), ReceptorDataFormat());
          if (WriteStreamPassport(push, passport) != 0) {
            rc = tacpush::Fail(o.out, "write failed", -1);
            g_interrupted = true;
            break;
          }
          recordStart = MonotonicSeconds();
        } else {
          if (AppendStreamFrame(push, frame) != 0) {
            rc = tacpush::Fail(o.out, "write failed", -1);
            g_interrupted = true;
            break;
          }
          ++recorded;
        }
        ++sinceConnect;
      }
      if (recordStart >= 0 && now - lastProgress >= 0.25) {
        now = std::max(now, recordStart);
        lastProgress = now;
        std::printf("\rrecording: %5.1f s, %d frames", now - recordStart, recorded);
        std::fflush(stdout);
      }
    }
    link->RequestStop();
    link->Quit();
    std::printf("\n");
    int closed = 0;
    if (o.operation.empty()) {
      closed = push.stream.file ? push.stream.file->Close() : 0;
    } else if (push.stream.file) {
      Text1251 kept = ClosePushStream(push, o.operation, FrameTime::Now()).fileName;
      if (kept.empty())
        closed = -1;
      else
        std::printf("tacpush: kept as %s\n", tacpush::Console(kept).c_str());
    }
    if (closed != 0 && rc == 0) rc = tacpush::Fail(o.out, "write failed", -1);
    if (rc == 0 || recorded > 0) {
      std::printf("tacpush: %s: %d frames%s\n", tacpush::Console(o.out).c_str(), recorded,
                  g_interrupted.load() ? " (stopped)" : "");
    }
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  link.reset();
  UnregisterWindow(windowHandle);
  UnregisterWindow(hubHandle);
  SetLogSink(oldSink);
  return rc;
}

CommandRegistrar reg{
    "record",
    "record OUT.psh --seconds S [--port N --device D | --auto] [--format F] "
    "[--period DT] [--id HEX12] [--connect-timeout S] [--operation FOLDER] [--quiet]",
    "record a push from a probe (zero point, passport, one frame per period)", RunRecord};

}  // namespace

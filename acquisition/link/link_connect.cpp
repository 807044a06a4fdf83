// Connecting: opening and checking probe ports (the adapter's connect command, its reply, the
// format detection), the debug input file, and the connection procedures of the three modes
// (autoconnect scan, one probe on a fixed port, two probes).
#include <cstring>

#include "acquisition/link/com_read_thread.h"
#include "acquisition/link/detail/link_limits.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"

using namespace link_detail;

namespace {

constexpr int kReplyBytes = 100;
constexpr int kReplyRounds = 60;

const char* kComPaspSet = "CCOMReadThread_ComPasp";

// DetectFormat reads through this: a port with the monotonic clock, lost once quitting.
class PortByteSource : public ByteSource {
 public:
  PortByteSource(ByteTransport& port, const std::atomic<bool>& quitting)
      : port_(port), quitting_(quitting) {}
  int ReadByte(uint8_t& byte, int timeoutMs) override {
    if (quitting_.load()) return -1;
    IoStatus st{};
    int b = port_.ReadByte(timeoutMs, &st);
    if (b >= 0) {
      byte = static_cast<uint8_t>(b);
      return 1;
    }
    return st == IoStatus::kTimeout || st == IoStatus::kCancelled ? 0 : -1;
  }
  double Seconds() override { return MonotonicSeconds(); }

 private:
  ByteTransport& port_;
  const std::atomic<bool>& quitting_;
};

// The reply as the message log shows it: up to the first NUL, control bytes other than line
// ends shown as dots.
Text1251 ReplyText(const uint8_t* buffer, int count) {
  Text1251 t;
  for (int i = 0; i < count && buffer[i] != 0; ++i) {
    char c = static_cast<char>(buffer[i]);
    t += (buffer[i] < 0x20 && c != '\r' && c != '\n') ? '.' : c;
  }
  return t;
}

struct PassportChoice {
  int index = -1;
  int deviceNumber = 0;
  int format = 0;
  bool autoconnect = false;
  Text1251 id;
};

}  // namespace

int OpenLinkPort(int port, bool report, std::shared_ptr<ByteTransport>* out, int baud) {
  int code = kSerialOk;
  std::string why;
  auto p = SerialPort::Open(SerialPort::PortName(port), baud, &code, &why);
  if (!p) {
    if (report) {
      switch (code) {
        case kSerialCannotGetState:
          AddLogMessage("CommState = FALSE!");
          break;
        case kSerialCannotSetTimeouts:
          AddLogMessage("ERROR SETTING INTERVALS!");
          break;
        case kSerialCannotBuildFlags:
          AddLogMessage("ERROR BUILDING FLAGS!");
          break;
        case kSerialCannotSetState:
          AddLogMessage("ERROR SETTING FLAGS!");
          break;
        default:
          AddLogMessage("INVALID HANDLE VALUE!");
          break;
      }
    }
    return code;
  }
  *out = std::move(p);
  return kSerialOk;
}

int CCOMReadThread::GatherReply(ByteTransport& port, uint8_t* buffer) {
  int filled = 0;
  for (int round = 0; round < kReplyRounds && !Stopping(); ++round) {
    if (round > 0) Pause(200);
    std::memset(buffer, 0, kReplyBytes);
    filled = 0;
    while (filled < kReplyBytes) {
      int b = port.ReadByte(200);
      if (b < 0) break;
      buffer[filled++] = static_cast<uint8_t>(b);
    }
    if (filled >= kReplyBytes) break;
  }
  return filled;
}

int CCOMReadThread::OpenReceptorPort(int port, const Text1251& deviceId, bool adapter,
                                     bool report) {
  fileMode_ = host_.Settings().fileMode != 0;
  CloseBothPorts();
  TellHubPortClosed();

  std::shared_ptr<ByteTransport> p;
  int code = OpenLinkPort(port, report, &p);
  if (code != kSerialOk) return code;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("7122739");
      p->Close();
      return kSerialCannotOpen;
    }
    port1_ = p;
  }
  int format = ReceptorDataFormat();
  if (adapter && format != 2) {
    Text1251 cmd = AdapterConnectCommand(deviceId);
    IoResult w = p->WriteText(cmd, 1000);
    if (w.count < cmd.size()) {
      if (report) AddLogMessage("Истек таймаут соединения"_cp);
      ClosePort(1);
      return -6;
    }
  }
  uint8_t reply[kReplyBytes + 1] = {};
  int got = GatherReply(*p, reply);
  if (!CheckReply(reply, static_cast<size_t>(got), format, adapter)) {
    SendAdapterDisconnect(1);
    CloseBothPorts();
    TellHubPortClosed();
    Pause(100);
    return -8;
  }
  AddLogMessageF("Device (mech.receptor?) return: '%s'", ReplyText(reply, got).c_str());

  PortByteSource source(*p, quitting_);
  int detected = format;
  int r = DetectFormat(source, stopRequested_, detected);
  if (detected != format) {
    SetReceptorDataFormat(detected);
    host_.DataFormatChanged(detected);
  }
  if (r == -9) {
    SendAdapterDisconnect(1);
    CloseBothPorts();
    TellHubPortClosed();
    Pause(100);
  }
  return r;
}

int CCOMReadThread::OpenSecondPort(int port, bool report) {
  std::shared_ptr<ByteTransport> p;
  int code = OpenLinkPort(port, report, &p);
  if (code != kSerialOk) return code;
  std::shared_ptr<ByteTransport> old;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("7122739");
      p->Close();
      return kSerialCannotOpen;
    }
    old = std::move(port2_);
    port2_ = p;
  }
  if (old) old->Close();
  return 0;
}

bool CCOMReadThread::OpenDebugFile() {
  LinkSettings s = host_.Settings();
  auto f = FileTransport::Open(winpath::Resolve(s.debugFile));
  if (!f) {
    AddLogMessage("INVALID HANDLE VALUE!");
    return false;
  }
  uint8_t version[4];
  f->Read(version, 4, 0);  // the push file version: kept, never used
  std::shared_ptr<ByteTransport> old;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("7122739");
      return false;
    }
    old = std::move(port1_);
    port1_ = f;
  }
  if (old) old->Close();
  return true;
}

bool CCOMReadThread::ConnectFile() {
  CloseBothPorts();
  TellHubPortClosed();
  return OpenDebugFile();
}

void CCOMReadThread::ConnectedStep() {
  if (Stopping()) return;
  TimedLock link(LinkLock(), kLinkLockMs);
  if (!link) {
    ReportCantLock("43828739");
    return;
  }
  KillLinkTimer();
  if (OwnerHasView()) {
    PostMessageTo(owner_.window, kLinkMsgConnected);
    StartLinkTimer(LinkTimerMode::kPoll, host_.Settings().PeriodMs());
  }
}

namespace {

std::vector<PassportChoice> SnapshotPassports(LinkHost& host) {
  std::vector<PassportChoice> out;
  TimedLock l(host.PassportLock(), kPassportLockMs);
  if (!l) {
    ReportCantLock("7122742");
    return out;
  }
  const PassportRegistry& r = host.Passports();
  for (int i = 0; i < r.Count(); ++i) {
    const DevicePassport& p = r.passports[static_cast<size_t>(i)];
    out.push_back({i, p.deviceNumber, p.format, p.useForAutoconnect != 0, DeviceIdText(p)});
  }
  return out;
}

void SelectUnderLock(LinkHost& host, int index, int secondNumber) {
  TimedLock l(host.PassportLock(), kPassportLockMs);
  if (!l) {
    ReportCantLock("7122742");
    return;
  }
  SelectPassport(host.Passports(), index);
  if (secondNumber >= 0) SelectSecondPassport(host.Passports(), secondNumber);
}

const PassportChoice* FindByNumber(const std::vector<PassportChoice>& all, int number) {
  for (const PassportChoice& c : all) {
    if (c.deviceNumber == number) return &c;
  }
  return nullptr;
}

}  // namespace

bool CCOMReadThread::ConnectAuto() {
  AddLogMessage("Механорецептор: автосоединение..."_cp);
  bool firstPass = true;
  while (!Stopping() && host_.Settings().autoconnect) {
    ParameterSet set;
    LoadPars(kComPaspSet, &set);
    int32_t comLast = 0, paspLast = 0;
    GetPar("iComLast", comLast, set);
    GetPar("iPaspLast", paspLast, set);
    double started = MonotonicSeconds();
    int firstPort = ((firstPass || connections_.load() > 0) && comLast >= 2) ? comLast : 3;
    firstPass = false;
    for (int port = firstPort; port <= kLinkLastPort && !Stopping(); ++port) {
      for (const PassportChoice& c : SnapshotPassports(host_)) {
        if (Stopping()) break;
        if (!c.autoconnect) continue;
        AddLogMessageF("Test ICom=%d Device=%d", port, c.deviceNumber);
        int format = ReceptorDataFormat();
        if ((format == 2 || c.format == 2) && format != c.format) {
          SetReceptorDataFormat(c.format);
          host_.DataFormatChanged(c.format);
        }
        if (OpenReceptorPort(port, c.id, true) != 0) continue;
        AddLogMessageF("Механорецептор: соединение установлено на порт COM%d (device id=%s)"_cp,
                       port, c.id.c_str());
        ++connections_;
        SetPar("iComLast", set, static_cast<int32_t>(port));
        SetPar("iPaspLast", set, static_cast<int32_t>(c.index));
        char status[200];
        std::snprintf(status, sizeof status, "Механорецептор: COM%d (device id=%s)"_cp, port,
                      c.id.c_str());
        host_.SetReceptorStatusText(status);
        SendHub(kLinkMsgStatusText);
        SelectUnderLock(host_, c.index, -1);
        SavePars(&set);
        return true;
      }
    }
    if (Stopping()) break;
    if (MonotonicSeconds() - started < 2.0) Pause(2000);
    AddLogMessage("MechReceptor: Can't connect");
    SavePars(&set);
  }
  return false;
}

// Fixed port(s): the first probe by its device number, the second (two) on its own port.
bool CCOMReadThread::ConnectFixed(bool two) {
  while (!Stopping()) {
    LinkSettings s = host_.Settings();
    auto all = SnapshotPassports(host_);
    const PassportChoice* c = FindByNumber(all, s.device);
    if (!c) {
      AddLogMessageF("Device #%d not found", s.device);
      return false;
    }
    AddLogMessageF("Test ICom=%d Device=%d", s.comPort, c->deviceNumber);
    if (OpenReceptorPort(s.comPort, c->id, two) == 0 && (!two || OpenSecondPort(s.comPort2) == 0)) {
      char status[200];
      if (two) {
        AddLogMessageF(
            "Механорецептор #1: соединение установлено на порт COM%d (device id=%s)\n"
            "Механорецептор #2: соединение установлено на порт COM%d"_cp,
            s.comPort, c->id.c_str(), s.comPort2);
        std::snprintf(status, sizeof status,
                      "Механорецепторы:  #1: COM%d (device id=%s); #2: COM%d"_cp, s.comPort,
                      c->id.c_str(), s.comPort2);
      } else {
        AddLogMessageF("Механорецептор #1: соединение установлено на порт COM%d (device id=%s)"_cp,
                       s.comPort, c->id.c_str());
        std::snprintf(status, sizeof status, "Механорецептор #1: COM%d (device id=%s)"_cp,
                      s.comPort, c->id.c_str());
      }
      ++connections_;
      host_.SetReceptorStatusText(status);
      SendHub(kLinkMsgStatusText);
      SelectUnderLock(host_, c->index, two ? s.device2 : -1);
      return true;
    }
    SendAdapterDisconnect(1);
    CloseBothPorts();
    TellHubPortClosed();
    AddLogMessage("MechReceptor: Can't connect");
    Pause(two ? 1000 : 10000);
  }
  return false;
}

bool CCOMReadThread::Connect() {
  if (Stopping()) return false;
  LinkSettings s = host_.Settings();
  bool ok = false;
  if (fileMode_.load())
    ok = ConnectFile();
  else if (s.autoconnect)
    ok = ConnectAuto();
  else if (s.TwoReceptors())
    ok = ConnectFixed(true);
  else
    ok = ConnectFixed(false);
  if (ok) ConnectedStep();
  return ok && !Stopping();
}

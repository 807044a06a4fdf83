#include "acquisition/link/com_read_thread.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace {

constexpr int kPortLockMs = 500;
constexpr int kLinkLockMs = 1000;
constexpr int kBufferLockMs = 500;
constexpr int kPassportLockMs = 1000;
constexpr int kHubSendMs = 1000;
constexpr int kReplyBytes = 100;
constexpr int kReplyRounds = 60;
constexpr double kSilenceSeconds = 2.0;
constexpr int kDebugBlock = 52;

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

int LinkSettings::PeriodMs() const {
  double ms = std::round(displayPeriod * 1000.0);
  if (!(ms >= 1)) return 1;
  return ms > 600000 ? 600000 : static_cast<int>(ms);
}

// ---- SimpleLinkHost
// ------------------------------------------------------------------------------

LinkSettings SimpleLinkHost::Settings() {
  std::lock_guard l(lock_);
  return settings_;
}

void SimpleLinkHost::SetSettings(const LinkSettings& s) {
  std::lock_guard l(lock_);
  settings_ = s;
}

void SimpleLinkHost::SetReceptorStatusText(const Text1251& text) {
  std::lock_guard l(lock_);
  status_ = text;
}

Text1251 SimpleLinkHost::StatusText() {
  std::lock_guard l(lock_);
  return status_;
}

// ---- ring
// ----------------------------------------------------------------------------------------

TimedMutex& LinkLock() {
  static TimedMutex lock;
  return lock;
}

void PutImage(ImageRing& ring, const PacketImage& image, int32_t index, const PacketImage* second,
              WindowHandle window) {
  {
    TimedLock l(ring.lock, kPortLockMs);
    if (!l) {
      ReportCantLock("52026739");
      return;
    }
    ring.slots[ring.write].image = image;
    ring.slots[ring.write].index = index;
    if (second) {
      ring.second = *second;
      ring.hasSecond = true;
    }
    ring.write = (ring.write + 1) % 2;
    ++ring.puts;
    if (ring.write == ring.read) {
      ring.read = (ring.read + 1) % 2;  // the window is late: the oldest image goes
      ++ring.drops;
    }
  }
  TimedLock link(LinkLock(), kLinkLockMs);
  if (!link) {
    ReportCantLock("55728739");
    return;
  }
  // The window repaints its panes when it takes the images.
  if (window) PostMessageTo(window, kLinkMsgNewImage);
}

bool TakeImage(ImageRing& ring, PacketImage& image, int32_t& index, PacketImage* second) {
  TimedLock l(ring.lock, kPortLockMs);
  if (!l) {
    ReportCantLock("55873739");
    return false;
  }
  if (ring.read == ring.write) return false;
  image = ring.slots[ring.read].image;
  index = ring.slots[ring.read].index;
  if (second && ring.hasSecond) *second = ring.second;
  ring.read = (ring.read + 1) % 2;
  return true;
}

// ---- thread
// --------------------------------------------------------------------------------------

CCOMReadThread::CCOMReadThread(LinkHost& host, LinkOwner owner)
    : host_(host), owner_(std::move(owner)) {}

CCOMReadThread::~CCOMReadThread() {
  if (Started()) Quit();
  CloseBothPorts();
}

int CCOMReadThread::Quit() {
  if (!Started()) return 1;
  quitting_ = true;
  stopRequested_ = true;
  wake_.Set();
  // Wake a port wait at once instead of at its time limit. CancelIo waits for the calls it
  // wakes to leave, so it runs on copies of the ports, outside the port lock.
  std::shared_ptr<ByteTransport> p1 = Port(1);
  std::shared_ptr<ByteTransport> p2 = Port(2);
  if (p1) p1->CancelIo();
  if (p2) p2->CancelIo();
  quitWord_ = -1;
  PostThreadMessage(kLinkMsgQuit, reinterpret_cast<uintptr_t>(&quitWord_));
  if (!Join(5000)) {
    AddLogMessage("(7122741)Reading thread is slow to end");
    Join(-1);
  }
  return quitWord_.load();
}

int CCOMReadThread::Run() {
  ThreadMessage m;
  while (!quitting_.load() || Queue().Size() > 0) {
    if (!GetMessage(m, 200)) continue;
    switch (m.message) {
      case kLinkMsgQuit:
        if (m.wParam) reinterpret_cast<std::atomic<int>*>(m.wParam)->store(1);
        KillLinkTimer();
        CloseBothPorts();
        return 0;
      case kLinkMsgConnectPoll:
        connections_ = 0;
        fileMode_ = true;
        Connect();
        break;
      case kLinkMsgDisconnect:
        Disconnect();
        break;
      case kLinkMsgConnectRead:
        HandleConnectRead();
        break;
      default:
        break;
    }
  }
  KillLinkTimer();
  CloseBothPorts();
  return 0;
}

void CCOMReadThread::HandleConnectRead() {
  connections_ = 0;
  fileMode_ = host_.Settings().fileMode != 0;
  // A silent device is reconnected by the same procedure that connected it.
  int r = 0;
  do {
    if (Connect()) {
      r = ReadingLoop();
    } else {
      // Not connected (stopped, or no passport): end as the reading loop ends on a stop.
      KillLinkTimer();
      Pause(100);
      Disconnect();
      stopRequested_ = false;
      r = -1;
    }
  } while (r == 0 && !quitting_.load());
}

void CCOMReadThread::Pause(int ms) {
  if (ms > 0) wake_.Wait(ms);
}

bool CCOMReadThread::OwnerHasView() {
  if (!owner_.window || !IsWindow(owner_.window)) return false;
  return !owner_.hasRecordingView || owner_.hasRecordingView();
}

void CCOMReadThread::SendHub(uint32_t message) {
  WindowHandle hub = host_.HubWindow();
  if (!hub) return;
  // While quitting the window's thread may be waiting for us: never wait for it then.
  if (quitting_.load())
    PostMessageTo(hub, message);
  else
    SendMessageTimeoutTo(hub, message, 0, 0, kHubSendMs);
}

void CCOMReadThread::TellHubPortClosed() { SendHub(kLinkMsgPortClosed); }

// ---- ports
// ---------------------------------------------------------------------------------------

std::shared_ptr<ByteTransport> CCOMReadThread::Port(int which) {
  TimedLock l(portLock_, kPortLockMs);
  if (!l) {
    ReportCantLock("7122739");
    return nullptr;
  }
  return which == 2 ? port2_ : port1_;
}

bool CCOMReadThread::PortOpen(int which) {
  auto p = Port(which);
  return p && p->IsOpen();
}

void CCOMReadThread::ClosePort(int which) {
  std::shared_ptr<ByteTransport> p;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("7122739");
      return;
    }
    p.swap(which == 2 ? port2_ : port1_);
  }
  // Close cancels the calls in progress and waits for them to leave before releasing the
  // descriptor; whoever still holds the object gets "closed" from then on.
  if (p) p->Close();
}

void CCOMReadThread::CloseBothPorts() {
  ClosePort(1);
  ClosePort(2);
}

void CCOMReadThread::SendAdapterDisconnect(int which) {
  if (auto p = Port(which)) SendAdapterDisconnect(*p);
}

void CCOMReadThread::SendAdapterDisconnect(ByteTransport& port) {
  if (ReceptorDataFormat() == 2 || !port.IsOpen()) return;
  port.WriteText(kAdapterDisconnectCommand, 100);
  Pause(100);
}

void CCOMReadThread::TakePorts(std::shared_ptr<ByteTransport>& p1,
                               std::shared_ptr<ByteTransport>& p2) {
  TimedLock l(portLock_, kPortLockMs);
  if (!l) {
    ReportCantLock("7122739");
    return;
  }
  p1 = std::move(port1_);
  p2 = std::move(port2_);
}

void CCOMReadThread::CloseLinkPorts() {
  CloseBothPorts();
  TellHubPortClosed();
}

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

// ---- timers
// --------------------------------------------------------------------------------------

void CCOMReadThread::StartLinkTimer(LinkTimerMode mode, int periodMs) {
  std::lock_guard l(timerLock_);
  timer_.mode = mode;
  timer_.periodMs = std::max(1, periodMs);
  timer_.nextDue = MonotonicSeconds() + timer_.periodMs / 1000.0;
}

void CCOMReadThread::KillLinkTimer() {
  std::lock_guard l(timerLock_);
  timer_.mode = LinkTimerMode::kNone;
}

LinkTimerMode CCOMReadThread::TimerMode() {
  std::lock_guard l(timerLock_);
  return timer_.mode;
}

int CCOMReadThread::TimerPeriodMs() {
  std::lock_guard l(timerLock_);
  return timer_.periodMs;
}

int CCOMReadThread::TickTimers() {
  LinkTimerMode mode;
  {
    std::lock_guard l(timerLock_);
    if (timer_.mode == LinkTimerMode::kNone) return -1;
    double now = MonotonicSeconds();
    if (now < timer_.nextDue) return static_cast<int>((timer_.nextDue - now) * 1000.0);
    double period = timer_.periodMs / 1000.0;
    timer_.nextDue += period;
    // A late owner gets one tick, not a burst: window timers do not queue up either.
    if (timer_.nextDue <= now) timer_.nextDue = now + period;
    mode = timer_.mode;
  }
  try {
    if (mode == LinkTimerMode::kAveraging)
      OnAveragingTimer();
    else
      OnPollTimer();
  } catch (const std::exception&) {
    AddLogMessage("FATAL EXCEPTION (LinkTimer)");
  }
  std::lock_guard l(timerLock_);
  if (timer_.mode == LinkTimerMode::kNone) return -1;
  return std::max(0, static_cast<int>((timer_.nextDue - MonotonicSeconds()) * 1000.0));
}

void CCOMReadThread::OnAveragingTimer() {
  TimedLock link(LinkLock(), kLinkLockMs);
  if (!link) {
    ReportCantLock("16028739");
    return;
  }
  bool two = host_.Settings().TwoReceptors();
  PacketImage first, second;
  {
    TimedLock buf(bufferLock_, kBufferLockMs);
    if (!buf) {
      ReportCantLock("14826739");
      return;
    }
    AveragePackets(ring1_, averaged1_, false);
    first = averaged1_;
    if (two) {
      AveragePackets(ring2_, averaged2_, true);
      second = averaged2_;
    } else {
      ring2_.count = 0;
      ring2_.position = 0;
    }
  }
  int32_t index = imageCounter_.fetch_add(1);
  first.index = index;
  second.index = index;
  PutImage(ring_, first, index, two ? &second : nullptr, owner_.window);
}

void CCOMReadThread::OnPollTimer() {
  TimedLock link(LinkLock(), kLinkLockMs);
  if (!link) {
    ReportCantLock("25328739");
    return;
  }
  auto p = Port(1);
  if (!p || !p->IsOpen()) return;
  if (fileMode_.load()) {
    uint8_t block[kDebugBlock];
    IoResult r = p->Read(block, sizeof block, 0);
    size_t got = r.Ok() ? r.count : 0;
    // A short read keeps reading the rest of the block (a file returns what it has).
    while (r.Ok() && got < sizeof block) {
      r = p->Read(block + got, sizeof block - got, 0);
      if (r.Ok()) got += r.count;
    }
    if (got == sizeof block && block[0] == 'T' && block[1] == 'C') {
      PutImage(ring_, PacketImage::FromPacket(block, got, imageCounter_.load()),
               imageCounter_.load(), nullptr, owner_.window);
    }
    if (got > 0) ++imageCounter_;
    if (got < sizeof block) {
      // End of the file: play it again from the first block (past the version word). The
      // connection itself stays, so the hub and the window see no new connect or close.
      auto* f = dynamic_cast<FileTransport*>(p.get());
      uint8_t version[4];
      if (!f || !f->Rewind() || f->Read(version, 4, 0).count != 4) OpenDebugFile();
    }
    return;
  }
  // Port mode: take only what has arrived, never wait in the window's thread. The first
  // 52-byte block beginning with "TC" becomes the image; up to 20 further blocks are dropped.
  bool put = false;
  int dropped = 0;
  uint8_t buf[256];
  for (int reads = 0; reads < 100 && !put; ++reads) {
    IoResult r = p->Read(buf, sizeof buf, 0);
    if (!r.Ok() || r.count == 0) break;
    for (size_t i = 0; i < r.count; ++i) {
      if (pollFill_ == 0 && buf[i] != 'T') continue;
      if (pollFill_ == 1 && buf[i] != 'C') {
        pollFill_ = buf[i] == 'T' ? 1 : 0;
        continue;
      }
      pollBlock_[pollFill_++] = buf[i];
      if (pollFill_ == kDebugBlock) {
        pollFill_ = 0;
        if (!put) {
          PutImage(ring_, PacketImage::FromPacket(pollBlock_, kDebugBlock, imageCounter_.load()),
                   imageCounter_.load(), nullptr, owner_.window);
          put = true;
        } else if (++dropped >= 20) {
          break;
        }
      }
    }
  }
  ++imageCounter_;
}

// ---- connect
// -------------------------------------------------------------------------------------

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

// ---- reading
// -------------------------------------------------------------------------------------

void CCOMReadThread::StoreFirst(const uint8_t* packet, int length, int format) {
  TimedLock buf(bufferLock_, kBufferLockMs);
  if (!buf) {
    ReportCantLock(format == 0 ? "68729739" : "68729741");
    return;
  }
  current1_ = PacketImage::FromPacket(packet, static_cast<size_t>(length));
  StorePacket(ring1_, packet, length);
  ++packets1_;
}

void CCOMReadThread::StoreSecond(const uint8_t* packet, int length, int format) {
  TimedLock buf(bufferLock_, kBufferLockMs);
  if (!buf) {
    ReportCantLock(format == 0 ? "105329739" : "105329741");
    return;
  }
  current2_ = PacketImage::FromPacket(packet, static_cast<size_t>(length));
  StorePacket(ring2_, packet, length);
  ++packets2_;
}

int CCOMReadThread::ReadingLoop() {
  LinkSettings s = host_.Settings();
  bool two = s.TwoReceptors();
  auto stopped = [&] {
    KillLinkTimer();
    stopRequested_ = true;
    Pause(100);
    Disconnect();
    stopRequested_ = false;
    return -1;
  };
  stopRequested_ = false;
  imageCounter_ = 0;
  {
    TimedLock buf(bufferLock_, kBufferLockMs);
    ring1_.count = ring1_.position = 0;
    ring2_.count = ring2_.position = 0;
  }
  KillLinkTimer();
  StartLinkTimer(LinkTimerMode::kAveraging, s.PeriodMs());

  std::shared_ptr<ByteTransport> p1 = Port(1);
  std::shared_ptr<ByteTransport> p2 = two ? Port(2) : nullptr;
  if (!owner_.window || !IsWindow(owner_.window) || !p1 || !p1->IsOpen() || quitting_.load())
    return stopped();

  int format = ReceptorDataFormat();
  PacketAssembler a1;
  a1.format = format;
  PacketAssembler a2;
  a2.format = format;
  a2.secondReceptor = true;
  bool gotData1 = false, gotData2 = false;
  double last1 = MonotonicSeconds(), last2 = last1;
  uint8_t buf[512];

  auto silent = [&] {
    SendAdapterDisconnect(1);
    CloseBothPorts();
    TellHubPortClosed();
    return 0;
  };
  // Reads what port has (nothing waits here); false when the port is lost.
  auto drain = [&](ByteTransport& port, PacketAssembler& a, bool second, bool& got, double& last) {
    IoResult r = port.Read(buf, sizeof buf, 0);
    if (r.status == IoStatus::kLost || r.status == IoStatus::kClosed || r.status == IoStatus::kEnd)
      return false;
    if (!r.Ok()) return true;
    if (r.count > 0) {
      got = true;
      last = MonotonicSeconds();
    }
    for (size_t i = 0; i < r.count; ++i) {
      if (FeedByte(a, buf[i])) {
        if (second)
          StoreSecond(a.packet.data(), a.packetLength, format);
        else
          StoreFirst(a.packet.data(), a.packetLength, format);
      }
    }
    return true;
  };

  while (!Stopping()) {
    // Both ports are waited on together: a quiet second port never holds up the first.
    ByteTransport* ports[2] = {p1.get(), p2.get()};
    unsigned ready = WaitAnyReadable(ports, two ? 2 : 1, 1000);
    if (Stopping()) break;
    if ((ready & 1u) && !drain(*p1, a1, false, gotData1, last1)) return silent();
    if (two && (ready & 2u) && !drain(*p2, a2, true, gotData2, last2)) return silent();
    double now = MonotonicSeconds();
    if (gotData1 && now - last1 >= kSilenceSeconds) return silent();
    if (two && gotData2 && now - last2 >= kSilenceSeconds) return silent();
  }
  return stopped();
}

void CCOMReadThread::Disconnect() {
  KillLinkTimer();
  std::shared_ptr<ByteTransport> p1, p2;
  {
    TimedLock link(LinkLock(), kLinkLockMs);
    if (!link) {
      ReportCantLock("50528739");
      return;
    }
    try {
      if (owner_.discardLivePush) owner_.discardLivePush();
      // The ports leave their slots under the link lock, so no timer reads them from now on;
      // the adapter command with its pauses and the close follow outside the lock.
      if (PortOpen(1)) TakePorts(p1, p2);
    } catch (const std::exception&) {
      AddLogMessage("(50428739)exception");
    }
  }
  if (!p1) return;
  try {
    const bool portMode = !fileMode_.load();
    if (portMode) SendAdapterDisconnect(*p1);
    p1->Close();
    if (p2) p2->Close();
    if (portMode) {
      AddLogMessage("Разорвано соединение с механорецептором"_cp);
      TellHubPortClosed();
    }
  } catch (const std::exception&) {
    AddLogMessage("(50428739)exception");
  }
}

#include "display/mech_display_com.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "acquisition/link/com_read_thread.h"
#include "acquisition/wire_protocol.h"
#include "display/display_link.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/report.h"

namespace display {
namespace {

constexpr int kPortLockMs = 500;
constexpr int kByteWaitMs = 200;     // the port's read time-out
constexpr double kPromptLimit = 3;   // seconds for a whole reply
constexpr double kSilenceLimit = 2;  // seconds without a byte
constexpr int kHubSendMs = 1000;

Text1251 PortText(const char* fmt, int n) {
  char buf[128];
  std::snprintf(buf, sizeof buf, fmt, n);
  return buf;
}

}  // namespace

DisplaySettings SimpleDisplayHost::Settings() {
  std::lock_guard l(lock_);
  return settings_;
}

void SimpleDisplayHost::SetSettings(const DisplaySettings& s) {
  std::lock_guard l(lock_);
  settings_ = s;
}

void SimpleDisplayHost::SetDisplayStatusText(const Text1251& text) {
  std::lock_guard l(lock_);
  status_ = text;
}

Text1251 SimpleDisplayHost::StatusText() {
  std::lock_guard l(lock_);
  return status_;
}

CMechDisplay_Com::CMechDisplay_Com(DisplayHost& host, const std::atomic<int>& stopWord,
                                   const std::atomic<bool>* cancelSearch)
    : host_(host), stopWord_(stopWord), cancelSearch_(cancelSearch) {}

CMechDisplay_Com::~CMechDisplay_Com() {
  std::shared_ptr<ByteTransport> p;
  {
    TimedLock l(portLock_, -1);
    p = std::move(port_);
  }
  if (p) p->Close();
}

std::shared_ptr<ByteTransport> CMechDisplay_Com::Port() {
  TimedLock l(portLock_, kPortLockMs);
  if (!l) {
    ReportCantLock("19521739");
    return nullptr;
  }
  return port_;
}

bool CMechDisplay_Com::IsOpen() {
  auto p = Port();
  return p && p->IsOpen();
}

void CMechDisplay_Com::Pause(int ms) {
  const double until = MonotonicSeconds() + ms / 1000.0;
  while (!Stopped() && MonotonicSeconds() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 20)));
}

void CMechDisplay_Com::SendHub(uint32_t message) {
  const WindowHandle hub = host_.HubWindow();
  if (hub) SendMessageTimeoutTo(hub, message, 0, 0, kHubSendMs);
}

void CMechDisplay_Com::ClosePort() {
  std::shared_ptr<ByteTransport> p;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("19521739");
    } else {
      p = std::move(port_);
    }
  }
  if (p) p->Close();
  SendHub(WM_DISPLAY_DISCONNECTED);
}

void CMechDisplay_Com::SendAdapterDisconnect(ByteTransport& port) {
  if (host_.Settings().receptorDataFormat == 2 || !port.IsOpen()) return;
  port.WriteText(kAdapterDisconnectCommand, 100);
  Pause(100);
}

void CMechDisplay_Com::Autoconnect() {
  if (!host_.Settings().autoconnect) return;
  AddLogMessage("Такт.дисплей: автосоединение..."_cp);
  ParameterSet set;
  LoadPars(kDisplayParameterSet, &set);
  set.modified = false;
  int32_t last = -1;
  GetPar("iComLast", last, set);
  bool first = true;
  while (host_.Settings().autoconnect && !SearchCancelled() && !IsOpen()) {
    const double t0 = MonotonicSeconds();
    int n = first && last > 0 ? last : kDisplayFirstPort;
    first = false;
    while (host_.Settings().autoconnect && !SearchCancelled() && n < kDisplayPortLimit) {
      host_.SetDisplayPort(n);
      AddLogMessage(PortText("Display: check COM=%d", n).c_str());
      if (OpenPort(n) == 0 && IsOpen()) break;
      Pause(10);
      ++n;
    }
    if (IsOpen()) break;
    if (MonotonicSeconds() - t0 < 2) {
      // A short pass is followed by 2 s of rest; a close waiting in the queue ends it at once.
      const double until = MonotonicSeconds() + 2;
      while (!SearchCancelled() && MonotonicSeconds() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (IsOpen()) {
    const int n = portNumber_.load();
    SetPar("iComLast", set, int32_t(n));
    host_.SetDisplayStatusText(PortText("Такт.дисплей: COM%d"_cp, n));
    SendHub(WM_STATUS_TEXT_CHANGED);
    SendHub(WM_DISPLAY_CONNECTED);
    AddLogMessage(PortText("Такт.дисплей: соединение установлено на порт COM%d"_cp, n).c_str());
  }
  FreePars(&set);
}

int CMechDisplay_Com::OpenPort(int number) {
  ClosePort();
  std::shared_ptr<ByteTransport> p;
  const int code = OpenLinkPort(number, false, &p, kDisplayBaud);
  if (code != kSerialOk) {
    switch (code) {
      case kSerialCannotOpen:
        return -1;
      case kSerialCannotSetTimeouts:  // reported; the port is not usable here, so next port
        AddLogMessage("(4247817)Can't set timeouts");
        SendHub(WM_DISPLAY_DISCONNECTED);
        return -1;
      case kSerialCannotGetState:
        SendHub(WM_DISPLAY_DISCONNECTED);
        return -2;
      case kSerialCannotBuildFlags:
        SendHub(WM_DISPLAY_DISCONNECTED);
        return -3;
      default:
        SendHub(WM_DISPLAY_DISCONNECTED);
        return -4;
    }
  }
  p->Purge();
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l) {
      ReportCantLock("19521739");
      p->Close();
      SendHub(WM_DISPLAY_DISCONNECTED);
      return -1;
    }
    port_ = p;
  }
  portNumber_ = number;
  if (SendTestCommands() == 0 && IsOpen()) return 0;
  // The port opened for this attempt is closed whatever the sequence left behind.
  ClosePort();
  AddLogMessage("Такт.дисплей: Не удалось послать тестовые команды"_cp);
  return -1;
}

int CMechDisplay_Com::SendTestCommands() {
  static const char* const kCommands[] = {"off", "res", "on"};
  for (const char* c : kCommands) {
    if (SendCommand(c, false) == 0) continue;
    if (auto p = Port()) SendAdapterDisconnect(*p);
    ClosePort();
    AddLogMessage((std::string("Такт.дисплей: Не удалось послать команду "_cp) + c).c_str());
    return -1;
  }
  return 0;
}

int CMechDisplay_Com::SendCommand(const std::string& command, bool reconnect) {
  std::shared_ptr<ByteTransport> port = Port();
  if (!port || !port->IsOpen()) return -1;
  const std::string line = command + "\r";
  // The port lock only checks that the port is still the connection's; the write itself
  // happens outside it (the port serializes its own calls). Without the lock the line counts
  // as not written.
  bool current = false;
  {
    TimedLock l(portLock_, kPortLockMs);
    if (!l)
      ReportCantLock("19521739");
    else if (port_ != port)
      return -1;
    else
      current = true;
  }
  const size_t written =
      current ? port->Write(line.data(), line.size(), 500 + 500 * int(line.size())).count : 0;
  const bool mayReconnect = reconnect && host_.Settings().autoconnect;
  if (written < line.size()) {
    if (!mayReconnect) {
      AddLogMessage("Такт.дисплей: Close2"_cp);
      return -1;
    }
    AddLogMessage("Такт.дисплей: Close1"_cp);
    ClosePort();
    Autoconnect();
    // The line was never written on the new connection: nothing to wait for, and a good
    // reconnection is kept.
    return -1;
  }
  if (Stopped()) {
    ClosePort();
    return 0;
  }
  const double t0 = MonotonicSeconds();
  char window[4] = {0, 0, 0, 0};
  int result = -1;
  for (;;) {
    if (MonotonicSeconds() - t0 > kPromptLimit) {
      AddLogMessage("Такт.дисплей: соединение потеряно"_cp);
      ClosePort();
      if (Stopped()) {
        AddLogMessage("Такт.дисплей: SetEnd2"_cp);
        return result;
      }
      if (mayReconnect) {
        Autoconnect();
        if (Stopped()) {
          ClosePort();
          AddLogMessage("Такт.дисплей: SetEnd3"_cp);
          return result;
        }
      }
      AddLogMessage("Такт.дисплей: nsec>3"_cp);
      return -1;
    }
    result = 0;
    // What has arrived is taken at once and looked at byte by byte; nothing follows a prompt
    // before the next command, so bytes after it are of no use.
    char bytes[64];
    const IoResult got = port->Read(bytes, sizeof bytes, kByteWaitMs);
    // A lost port (hang-up, a display gone) is as silent as it will ever be.
    const bool lost = !got.Ok() && got.status != IoStatus::kTimeout;
    if (!got.Ok() && (lost || MonotonicSeconds() - t0 > kSilenceLimit)) {
      if (!mayReconnect || Stopped()) {
        ClosePort();
        AddLogMessage(PortText("Такт.дисплей: SetEnd6: bread=%d"_cp, 0).c_str());
        return -1;
      }
      AddLogMessage("Такт.дисплей: SetEnd5"_cp);
      ClosePort();
      Autoconnect();
      // The command is lost; the new connection (if any) is kept for the next one.
      return -1;
    }
    bool prompt = false;
    for (size_t i = 0; got.Ok() && i < got.count && !prompt; ++i) {
      std::memmove(window, window + 1, 3);
      window[3] = bytes[i];
      prompt = std::memcmp(window, kDisplayPrompt, 4) == 0;
    }
    if (Stopped()) {
      ClosePort();
      return 0;
    }
    if (prompt) return result;
  }
}

void CMechDisplay_Com::Close() {
  if (!IsOpen()) return;
  // Without reconnection: a display that is gone is not searched for again here.
  SendCommand("off", false);
  SendCommand("res", false);
  ClosePort();
}

}  // namespace display

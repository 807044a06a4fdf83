#include "tester/tdodezori_tester.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/report.h"

namespace tester {

namespace {

struct Reception {
  std::mutex lock;                      // guards frames
  std::array<TesterWords, 7> frames{};  // identifiers 4..10
  std::atomic<bool> armed{true};
  std::atomic<bool> alternate{false};
  std::atomic<uint64_t> published{0};  // the four words of frame 10, packed
  std::atomic<uint64_t> count{0};
};

Reception& Rx() {
  static Reception r;
  return r;
}

std::atomic<int32_t> g_serial{-1};
std::atomic<bool> g_logMessages{false};
std::mutex g_valuesLock;  // guards g_passport and g_status
TesterPassport g_passport = BuiltInTesterPassport();
Text1251 g_status;

}  // namespace

const char* UcanErrorText(int code) {
  switch (code) {
    case 1:
      return "could not create a resource (memory, Handle, ...)";
    case 2:
      return "the maximum number of open modules is exceeded";
    case 3:
      return "a module is already in use";
    case 4:
      return "the software versions of the module and library are incompatible";
    case 5:
      return "the module with the corresponding device number is not connected";
    case 6:
      return "wrong USB-CAN-Handle handed over to the function";
    case 7:
      return "wrong parameter handed over to the function";
    case 8:
      return "instruction can not be processed at this time";
    case 9:
      return "no answer from the module";
    case 10:
      return "a request for the driver failed";
    case 11:
      return "the message did not fit into the transmission queue";
    case 12:
      return "maximum number of applications is reached";
    case 13:
      return "CAN-interface is not yet initialized";
    case 14:
      return "USB-CANmodul was disconnected";
    case 15:
      return "the needed device class does not exist";
    case 16:
      return "illegal CAN channel for GW-001/GW-002";
    case 17:
      return "reserved error code";
    case 18:
      return "the API function can not be used with this hardware";
    case 64:
      return "the received response does not match with the transmitted command";
    case 65:
      return "no access to the CAN controler possible";
    case 66:
      return "the module could not interpret the command";
    case 67:
      return "error while reading the EEPROM occured";
    case 68:
      return "reserved error command code 1";
    case 69:
      return "reserved error command code 2";
    case 70:
      return "reserved error command code 3";
    case 71:
      return "illegal baudrate values in BTR0/BTR1";
    case 72:
      return "CAN channel was not initialized";
    case 73:
      return "CAN channel was already initialized";
    default:
      return "Unknown error";
  }
}

// ---- reception ------------------------------------------------------------------------------

TesterWords PublishedWords() {
  const uint64_t v = Rx().published.load();
  TesterWords t;
  for (int i = 0; i < 4; ++i) t.w[i] = static_cast<uint16_t>(v >> (16 * i));
  return t;
}

uint64_t PublishCount() { return Rx().count.load(); }

TesterWords FrameData(int id) {
  if (id < 4 || id > 10) return {};
  std::lock_guard l(Rx().lock);
  return Rx().frames[id - 4];
}

void TesterReceive(tUcanHandle handle, uint8_t event) {
  if (event > USBCAN_EVENT_RECEIVE) return;
  tCanMsgStruct m{};
  if (UcanReadCanMsg(handle, &m) != USBCAN_SUCCESSFUL) return;
  if (event != USBCAN_EVENT_RECEIVE) return;  // events 0 and 1: the message is dropped
  Reception& r = Rx();
  const uint32_t id = m.m_dwID;
  TesterWords words;
  for (int i = 0; i < 4; ++i)
    words.w[i] = static_cast<uint16_t>(m.m_bData[2 * i] | (m.m_bData[2 * i + 1] << 8));
  if (id >= 4 && id <= 10) {
    std::lock_guard l(r.lock);
    r.frames[id - 4] = words;
  }
  if (id == 4) r.armed = false;  // the first frame 4 arms publishing for the process
  if (id == 10 && !r.armed.load()) {
    const bool now = !r.alternate.load();
    r.alternate = now;
    if (now) {
      uint64_t v = 0;
      for (int i = 0; i < 4; ++i) v |= static_cast<uint64_t>(words.w[i]) << (16 * i);
      r.published = v;
      ++r.count;
    }
  }
}

void ResetReceptionForTest() {
  Reception& r = Rx();
  r.armed = true;
  r.alternate = false;
  r.published = 0;
  std::lock_guard l(r.lock);
  r.frames = {};
}

// ---- process-wide values --------------------------------------------------------------------

int32_t AdapterSerial() { return g_serial.load(); }

TesterPassport CurrentTesterPassport() {
  std::lock_guard l(g_valuesLock);
  return g_passport;
}

void SetCurrentTesterPassport(const TesterPassport& p) {
  std::lock_guard l(g_valuesLock);
  g_passport = p;
}

void SetCurrentMinus(int32_t minus) {
  std::lock_guard l(g_valuesLock);
  g_passport.MINUS = minus;
}

Text1251 TesterStatusText() {
  std::lock_guard l(g_valuesLock);
  return g_status;
}

void SetTesterStatusText(const Text1251& text) {
  std::lock_guard l(g_valuesLock);
  g_status = text;
}

void SetLogTesterMessages(bool on) { g_logMessages = on; }

namespace {
std::atomic<int> g_testerValue{0};
}
int CurrentTesterValue() { return g_testerValue.load(); }
void SetCurrentTesterValue(int value) { g_testerValue = value; }

// ---- the adapter ----------------------------------------------------------------------------

TDodezoriTester::TDodezoriTester(ValuesCallback callback) : callback_(callback) {
  if (!callback_)
    throw std::invalid_argument("TDodezoriTester::TDodezoriTester(): null pointer passed");
}

TDodezoriTester::~TDodezoriTester() { Close(); }

Text1251 TDodezoriTester::Open() {
  const Text1251 prefix = "Can: Failed to init hardware: ";
  tUcanHandle h = 0;
  int r = UcanInitHardware(&h, USBCAN_ANY_MODULE, callback_);
  if (r != USBCAN_SUCCESSFUL) return prefix + UcanErrorText(r);
  {
    std::lock_guard l(writeLock_);
    handle_ = h;
  }
  r = UcanInitCan(h, 0x00, 0x1C, 0xFFFFFFFFu, 0);
  if (r != USBCAN_SUCCESSFUL) {
    Close();
    return prefix + UcanErrorText(r);
  }
  initialised_ = true;
  tUcanHardwareInfo info{};
  if (UcanGetHardwareInfo(h, &info) == USBCAN_SUCCESSFUL) {
    int32_t serial;
    static_assert(sizeof serial == 4);
    std::memcpy(&serial, reinterpret_cast<const uint8_t*>(&info) + 18, 4);
    g_serial = serial;
  }
  return {};
}

void TDodezoriTester::Close() {
  std::lock_guard l(writeLock_);
  initialised_ = false;
  if (handle_ == 0) return;
  UcanResetCan(handle_);
  UcanDeinitCan(handle_);
  UcanDeinitHardware(handle_);
  handle_ = 0;
}

Text1251 TDodezoriTester::Write(const std::array<uint8_t, 8>& data) {
  std::lock_guard l(writeLock_);
  if (!initialised_.load() || handle_ == 0) return {};
  tCanMsgStruct m{};
  m.m_dwID = 2;
  m.m_bFF = 0;
  m.m_bDLC = 8;
  std::memcpy(m.m_bData, data.data(), 8);
  if (g_logMessages.load())
    AddLogMessageF("Message:>%d %d   %d %d %d %d %d %d ", data[0], data[1], data[2], data[3],
                   data[4], data[5], data[6], data[7]);
  const int r = UcanWriteCanMsg(handle_, &m);
  if (r == USBCAN_SUCCESSFUL) return {};
  Text1251 text = Text1251("Can: Failed to write second can message: ") + UcanErrorText(r);
  AddLogMessage(text.c_str());
  return text;
}

Text1251 TDodezoriTester::SetSpeed(int v, const Pause& pause) {
  if (v < -20) return "Can: Speed is too low";
  if (v > 20) return "Can: Speed is too high";
  std::lock_guard seq(sequenceLock_);
  if (!initialised_.load() || handle_ == 0) return {};
  Text1251 e = Write({1, 2, 0, 0, 0, 0, 0, 0});
  if (!e.empty()) return e;
  if (!pause(100)) return {};
  e = Write({0, 0, static_cast<uint8_t>(v + 20), 0, 0, 0, 0, 0});
  if (!e.empty()) return e;
  pause(10);
  return {};
}

Text1251 TDodezoriTester::UploadPassport(const TesterPassport& p, const Pause& pause) {
  std::lock_guard seq(sequenceLock_);
  if (!pause(200)) return {};
  Text1251 e = Write({1, 1, 0, 0, 0, 0, 0, 0});
  if (!e.empty()) return e;
  if (!pause(100)) return {};
  const std::array<int32_t, 6>* blocks[5] = {&p.P1, &p.P2, &p.P3, &p.P4, &p.K};
  for (int k = 0; k < 5; ++k) {
    std::array<uint8_t, 8> d{0, static_cast<uint8_t>(k + 1)};
    for (int i = 0; i < 6; ++i) d[2 + i] = static_cast<uint8_t>((*blocks[k])[i] & 0xFF);
    e = Write(d);
    if (!e.empty()) return e;
    if (!pause(20)) return {};
  }
  e = Write({1, 2, 0, 0, 0, 0, 0, 0});
  if (!e.empty()) return e;
  pause(10);
  return {};
}

}  // namespace tester

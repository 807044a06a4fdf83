// The test instrument's CAN link: the adapter wrapper TDodezoriTester over the usbcan library,
// the messages sent to the instrument, the reception of its frames (frame 4 arms publishing,
// every second frame 10 publishes its four words) and the process-wide values the dialog reads:
// the published words, the adapter serial number, the current tester passport and the status
// text. Qt-free.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/cp1251.h"
#include "tester/tester_passport.h"
#include "usbcan.h"

namespace tester {

// Error text of a usbcan result code ("Unknown error" for codes without one).
const char* UcanErrorText(int code);

// ---- reception (written by the library's thread) -------------------------------------------

struct TesterWords {
  uint16_t w[4] = {0, 0, 0, 0};
  int Force() const { return w[1] + w[2] + w[3]; }
};
// The words of the last published frame 10, read in one piece.
TesterWords PublishedWords();
// Counts publications: a change means new tester data.
uint64_t PublishCount();
// The last data of frame id (4..10) as four words.
TesterWords FrameData(int id);
// The reception callback given to UcanInitHardware.
void TesterReceive(tUcanHandle handle, uint8_t event);
// The arming and alternation flags live for the process; tests start them afresh.
void ResetReceptionForTest();

// ---- process-wide values ------------------------------------------------------------------

// Serial number of the last adapter opened; -1 before.
int32_t AdapterSerial();
TesterPassport CurrentTesterPassport();
void SetCurrentTesterPassport(const TesterPassport& p);
void SetCurrentMinus(int32_t minus);
Text1251 TesterStatusText();
void SetTesterStatusText(const Text1251& text);
// The converted tester force of the last acquisition tick (the hub's current tester value).
int CurrentTesterValue();
void SetCurrentTesterValue(int value);
// Switch k: every message written to the instrument is logged too.
void SetLogTesterMessages(bool on);

// ---- the adapter ----------------------------------------------------------------------------

// Waits ms; false when the wait was interrupted (the caller abandons what follows).
using Pause = std::function<bool(int ms)>;

class TDodezoriTester {
 public:
  using ValuesCallback = tCallbackFkt;
  // Throws std::invalid_argument("TDodezoriTester::TDodezoriTester(): null pointer passed")
  // without a callback.
  explicit TDodezoriTester(ValuesCallback callback);
  ~TDodezoriTester();
  TDodezoriTester(const TDodezoriTester&) = delete;
  TDodezoriTester& operator=(const TDodezoriTester&) = delete;

  // Hardware and CAN channel; the error text, empty on success.
  Text1251 Open();
  // Reset, deinit CAN, deinit hardware; later writes send nothing.
  void Close();
  bool Initialised() const { return initialised_.load(); }
  tUcanHandle Handle() const { return handle_; }

  // One message with identifier 2; the error text, empty on success (also logged).
  Text1251 Write(const std::array<uint8_t, 8>& data);
  // Command (1, 2) then the speed message, with their pauses; refused outside -20..20.
  // Without an open adapter nothing is sent. Calls from several threads do not interleave.
  Text1251 SetSpeed(int v, const Pause& pause);
  // Command (1, 1), blocks 1..5, command (1, 2); stops at the first failed write.
  Text1251 UploadPassport(const TesterPassport& p, const Pause& pause);

 private:
  ValuesCallback callback_;
  std::atomic<bool> initialised_{false};
  tUcanHandle handle_ = 0;
  std::mutex writeLock_;     // one write at a time; Close waits for a write in progress
  std::mutex sequenceLock_;  // a speed or upload sequence as a whole (taken before writeLock_)
};

}  // namespace tester

#include "tester/cdavav_boiler_thread.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/report.h"

namespace tester {

CDavavBoilerThread::CDavavBoilerThread(TesterThreadHost host) : host_(std::move(host)) {}

CDavavBoilerThread::~CDavavBoilerThread() {
  if (Started()) Quit(-1);
}

bool CDavavBoilerThread::Quit(int ms, const std::function<bool(WorkerThread&, int)>& join) {
  if (!Started()) return true;
  quit_.Set();
  PostThreadMessage(WM_TESTER_QUIT);
  return join ? join(*this, ms) : Join(ms);
}

bool CDavavBoilerThread::InitInstance() {
  running_ = true;
  return true;
}

int CDavavBoilerThread::ExitInstance() {
  // An adapter left open ends as on Disconnect.
  Disconnect(true);
  running_ = false;
  return 0;
}

std::shared_ptr<TDodezoriTester> CDavavBoilerThread::Adapter() {
  std::lock_guard l(adapterLock_);
  return adapter_;
}

bool CDavavBoilerThread::HasAdapter() { return Adapter() != nullptr; }

void CDavavBoilerThread::Notify(uint32_t message) {
  const WindowHandle w = window_.load();
  if (w != 0 && IsWindow(w)) SendMessageTimeoutTo(w, message, 0, 0, 1000);
}

void CDavavBoilerThread::Show(const Text1251& text) {
  if (host_.showMessage)
    host_.showMessage(text);
  else
    AddLogMessage(text.c_str());
}

bool CDavavBoilerThread::OnThreadMessage(const ThreadMessage& m) {
  if (m.message == WM_TESTER_QUIT) return false;
  if (!running_.load() || quit_.IsSet()) return true;
  switch (m.message) {
    case WM_TESTER_CONNECT:
      Connect();
      break;
    case WM_TESTER_DISCONNECT:
      Disconnect(true);
      break;
    case WM_TESTER_SPEED: {
      const Text1251 e = Speed(static_cast<int>(static_cast<intptr_t>(m.wParam)));
      if (!e.empty()) {
        SetTesterStatusText(e);
        Notify(WM_TESTER_STATUS);
      }
      break;
    }
    case WM_TESTER_PULSE:
      Pulse();
      break;
    case WM_TESTER_STEP:
      Step();
      break;
    default:
      break;
  }
  return true;
}

Text1251 CDavavBoilerThread::Speed(int v) {
  auto a = Adapter();
  if (!a) {
    if (v < -20) return "Can: Speed is too low";
    if (v > 20) return "Can: Speed is too high";
    return {};
  }
  return a->SetSpeed(v, [this](int ms) { return Pause(ms); });
}

Text1251 CDavavBoilerThread::SetSpeedDirect(int v) {
  auto a = Adapter();
  if (!a) return {};
  // The dialog's waits are plain sleeps: they are short and end with the sequence.
  return a->SetSpeed(v, [](int ms) {
    SleepMs(ms);
    return true;
  });
}

void CDavavBoilerThread::Connect() {
  // A connection still open is closed first, so one adapter is held at a time.
  if (Adapter()) Disconnect(false);
  std::shared_ptr<TDodezoriTester> a = std::make_shared<TDodezoriTester>(&TesterReceive);
  {
    std::lock_guard l(adapterLock_);
    adapter_ = a;
  }
  Text1251 error = a->Open();
  connectionTime_ = NowSeconds();
  const Text1251 openError = error;
  if (error.empty()) {
    if (!Pause(200)) return;
    error = a->Write({1, 2, 0, 0, 0, 0, 0, 0});
    if (error.empty() && !Pause(100)) return;
  }
  if (!error.empty()) {
    Show(error);
    Disconnect(false);
  }
  Text1251 speedError;
  if (Adapter()) {
    std::vector<TesterPassport> table = ReadTesterPassports(host_.passportFolder);
    const int32_t serial = AdapterSerial();
    const TesterPassport* found = FindTesterPassport(table, serial);
    if (found) {
      SetCurrentTesterPassport(*found);
    } else if (!table.empty()) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "Не найдено устройства с требуемым ID.\nID текущего устройства=%d\nДля "
                    "работы взят паспорт устройства с ID=%d"_cp,
                    serial, table.front().ID);
      Show(text);
      SetCurrentTesterPassport(table.front());
    } else {
      // No ".cfp" at all: the passport in use stays (the built-in one at first), never an
      // empty record of zeros.
      AddLogMessageF(
          "Предупреждение: нет файлов DVP\\*.cfp; для прибора с ID=%d взят встроенный "
          "паспорт"_cp,
          serial);
    }
    const Text1251 upload =
        a->UploadPassport(CurrentTesterPassport(), [this](int ms) { return Pause(ms); });
    (void)upload;  // already in the message log
    if (quit_.IsSet()) return;
    speedError = Speed(0);
  }
  SetTesterStatusText(!openError.empty() ? openError : speedError);
  Notify(WM_TESTER_STATUS);
}

void CDavavBoilerThread::Disconnect(bool notify) {
  std::shared_ptr<TDodezoriTester> a;
  {
    std::lock_guard l(adapterLock_);
    a = std::move(adapter_);
  }
  if (!a) {
    if (notify) Notify(WM_TESTER_DISCONNECTED);
    return;
  }
  a->Close();
  if (notify) Notify(WM_TESTER_DISCONNECTED);
}

void CDavavBoilerThread::Pulse() {
  const int dt = std::max(0, stepTime.load());
  const int t = pointCount.load() > 0 ? dt : std::max(2 * dt, 50);
  auto pause = [this](int ms) { return Pause(ms); };
  auto a = Adapter();
  if (!a) return;
  a->SetSpeed(-1, pause);
  if (!Pause(t)) return;
  a->SetSpeed(0, pause);
  if (!autoStepping.load()) a->SetSpeed(1, pause);
}

void CDavavBoilerThread::Step() {
  auto pause = [this](int ms) { return Pause(ms); };
  auto a = Adapter();
  if (!a) return;
  a->SetSpeed(-1, pause);
  if (!Pause(std::max(0, stepTime.load()))) return;
  a->SetSpeed(0, pause);
}

}  // namespace tester

// CDavavBoilerThread: the test-instrument thread. It owns the adapter of one connection
// (TDodezoriTester), uploads the tester passport on connecting and carries out the motion
// commands of the test dialog, one message at a time. Every wait is cut short by Quit, which
// then joins the thread, so no command outlives the window that owns the thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/cp1251.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "tester/tdodezori_tester.h"

namespace tester {

// Messages to the thread.
inline constexpr uint32_t WM_TESTER_QUIT = 1053;
inline constexpr uint32_t WM_TESTER_CONNECT = 1054;
inline constexpr uint32_t WM_TESTER_DISCONNECT = 1055;
inline constexpr uint32_t WM_TESTER_SPEED = 1056;  // wParam: speed -20..20
inline constexpr uint32_t WM_TESTER_PULSE = 1057;
inline constexpr uint32_t WM_TESTER_STEP = 1059;
// Messages to the tester window (sent).
inline constexpr uint32_t WM_TESTER_STATUS = 1056;
inline constexpr uint32_t WM_TESTER_DISCONNECTED = 1058;

struct TesterThreadHost {
  // A modal message box (from this thread); none: the text goes to the message log.
  std::function<void(const Text1251&)> showMessage;
  // Folder of the ".cfp" files (a Windows path ending in "\"); empty: "DVP\" of the data root.
  Text1251 passportFolder;
};

class CDavavBoilerThread : public WorkerThread {
 public:
  explicit CDavavBoilerThread(TesterThreadHost host = {});
  ~CDavavBoilerThread() override;

  // The window told about status and disconnection (0: none).
  void SetTesterWindow(WindowHandle h) { window_ = h; }
  WindowHandle TesterWindow() const { return window_.load(); }
  // Interrupts a wait in progress, asks the thread to end and waits up to ms for it (a
  // join function may serve the caller's messages meanwhile). True when it has ended.
  bool Quit(int ms, const std::function<bool(WorkerThread&, int)>& join = {});

  // Read by the pulse command: the dialog's automatic stepping, its point count and step time.
  std::atomic<bool> autoStepping{false};
  std::atomic<int> pointCount{0};
  std::atomic<int> stepTime{20};

  // Seconds of the last connection (0: none yet).
  int64_t ConnectionTime() const { return connectionTime_.load(); }
  bool HasAdapter();
  // A speed sent from another thread (the dialog), serialized with the thread's own writes.
  Text1251 SetSpeedDirect(int v);

 protected:
  bool InitInstance() override;
  int ExitInstance() override;
  bool OnThreadMessage(const ThreadMessage& m) override;

 private:
  void Connect();
  void Disconnect(bool notify);
  void Pulse();
  void Step();
  Text1251 Speed(int v);
  bool Pause(int ms) { return !quit_.Wait(ms); }
  void Notify(uint32_t message);
  void Show(const Text1251& text);
  std::shared_ptr<TDodezoriTester> Adapter();

  TesterThreadHost host_;
  std::atomic<WindowHandle> window_{0};
  std::atomic<bool> running_{false};
  std::atomic<int64_t> connectionTime_{0};
  Event quit_{true, false};
  std::mutex adapterLock_;  // guards adapter_ (the pointer; the adapter serializes its writes)
  std::shared_ptr<TDodezoriTester> adapter_;
};

}  // namespace tester

// CCOMWriteThread: the tactile display thread, started and ended by the main hub dialog. It
// owns the current CMechDisplay_Com and does all port work: opening (1043), closing (1044),
// sending frames (1045) and ending (1042).
//
// Frame hand-over. The renderer calls Forward on the window thread with the 19 colour indices
// of a map and the recording view's visibility flags (copied, never read later). Forward only
// tries the frame lock: when the display thread holds it for the few copies it makes, the
// frame is dropped instead of waited for. At most one 1045 is outstanding; the display thread
// takes the newest frame when it handles it, so frames drawn while the display is busy are
// replaced by newer ones. No lock is held while commands are exchanged.
//
// Locks: frameLock_ guards frame_ and is held only to copy it; it is taken alone. The stop word
// and the flags are atomics. Qt-free.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "acquisition/push.h"
#include "display/display_link.h"
#include "display/mech_display_com.h"
#include "platform/thread.h"

namespace display {

struct RelayCounters {
  uint64_t forwarded = 0;  // frames handed over by Forward
  uint64_t busy = 0;       // frames dropped because the frame lock was taken
  uint64_t replaced = 0;   // frames replaced by a newer one before they were sent
  uint64_t sent = 0;       // frames sent (19 commands each)
};

class CCOMWriteThread : public WorkerThread {
 public:
  explicit CCOMWriteThread(DisplayHost& host);
  ~CCOMWriteThread() override;  // quits and joins when still running

  // Window thread: the map's 19 colour indices in frame order (0 for sensors not drawn) and
  // the recording view's visibility flags. Nothing happens without a connection or with
  // "set_use_MechDisplay" off.
  void Forward(const std::array<int, kSensorCount>& indices,
               const std::array<bool, kDisplaySensors>& visible);

  // 1043 and 1044 (a close also ends a search in progress between two ports).
  void RequestOpen();
  void RequestClose();
  // The hub closes: stop word 3, then 1042. The caller joins (up to 10 s; on the UI thread with
  // a join that serves the window's messages, since the thread sends to the hub).
  void RequestQuit();

  int StopWord() const { return stopWord_.load(); }
  bool HasConnection() const { return hasConnection_.load(); }
  bool Connected();  // a connection with its port open
  RelayCounters Counters();

 protected:
  bool InitInstance() override;
  bool OnThreadMessage(const ThreadMessage& m) override;

 private:
  void Open();
  void CloseConnection();
  void SendFrame();

  DisplayHost& host_;
  std::atomic<bool> initialised_{false};  // the running flag
  std::atomic<int> stopWord_{0};
  std::atomic<bool> closePending_{false};
  std::atomic<bool> hasConnection_{false};
  std::atomic<bool> framePosted_{false};
  std::mutex connectionLock_;  // guards connection_ pointer swaps against Connected()
  std::unique_ptr<CMechDisplay_Com> connection_;

  struct Frame {
    std::array<int, kDisplaySensors> mapped{};
    std::array<bool, kDisplaySensors> visible{};
    bool fresh = false;
  };
  std::mutex frameLock_;  // guards frame_ and counters_
  Frame frame_;
  RelayCounters counters_;
  std::atomic<uint64_t> busy_{0};
};

// The program's display thread while the hub holds it, else null (set and read on the UI
// thread: the hub starts and ends it, windows post to it).
CCOMWriteThread* CurrentDisplayThread();
void SetCurrentDisplayThread(CCOMWriteThread* thread);

}  // namespace display

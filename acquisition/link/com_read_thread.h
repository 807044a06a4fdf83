// The probe link: the reading thread CCOMReadThread that connects to one probe (or two) over
// serial ports, detects the wire format, reads the packet streams, notices silence and
// reconnects, or replays a debug input file; the link timer that averages one display period
// into a packet image; and the two-slot ring that hands the images to the operation window.
//
// Threads and locks. The reading thread runs the connection procedures and the reading loop.
// The link timer (averaging or poll) runs wherever its owner calls TickTimers, normally the
// operation window's thread; the ring is read there too. Lock order, outermost first (whoever
// holds one takes only locks further right):
//   LinkLock() (process-wide, 1000 ms) -> buffer lock (500 ms) -> ring lock (500 ms)
//   -> port lock (500 ms).
// The port lock guards only the two port slots: it is held to read or swap them, never across
// port I/O or a wait; ports are used, cancelled and closed through copies taken out of it. The
// host's passport lock (1000 ms) is taken with none of these held; the timer lock and the
// host's settings lock are innermost and held only to copy a value. Messages may be reported
// under any of these locks: the message log never waits on the link.
// A lock that times out skips its step and writes its numbered "can't lock" message.
//
// Wiring. The hub implements LinkHost (settings snapshot, passport registry under its lock,
// status text, its window handle). The operation window creates the thread with a LinkOwner
// (its handle and hooks), Start()s it, calls TickTimers() from a UI timer of a few ms, takes the
// images with TakeImage() on 1037, calls ResetDeliveryCounter() on 1038; Connect posts 1033
// (file mode) or 1041, Disconnect posts 1034 (file mode) or calls RequestStop(); on closing it
// calls Quit(). tools/tacpush/cmd_record.cpp does all of this without a GUI.
//
// Sources: com_read_thread.cpp (the thread's life, port slots, disconnect), link_connect.cpp
// (opening ports, the connection procedures), link_reading.cpp (the reading loop),
// link_timers.cpp (averaging and poll timers), image_ring.cpp (the ring), link_host.cpp
// (settings, SimpleLinkHost); detail/link_limits.h holds the time limits they share.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/device_passport.h"
#include "acquisition/link/device_search.h"
#include "acquisition/push.h"
#include "acquisition/wire_protocol.h"
#include "platform/cp1251.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/thread.h"

// Thread messages to the reading thread.
inline constexpr uint32_t kLinkMsgQuit = WM_USER + 8;            // 1032, wParam: std::atomic<int>*
inline constexpr uint32_t kLinkMsgConnectPoll = WM_USER + 9;     // 1033, debug-file mode
inline constexpr uint32_t kLinkMsgDisconnect = WM_USER + 10;     // 1034
inline constexpr uint32_t kLinkMsgConnectRead = WM_USER + 17;    // 1041
inline constexpr uint32_t kLinkMsgDeviceSearch = WM_USER + 100;  // 1124, the queued search job
// Window messages from the link: to the operation window ...
inline constexpr uint32_t kLinkMsgNewImage = WM_USER + 13;   // 1037, an image is in the ring
inline constexpr uint32_t kLinkMsgConnected = WM_USER + 14;  // 1038, connection established
// ... and to the main hub dialog (sent with a time limit, so a busy hub never stalls the link).
inline constexpr uint32_t kLinkMsgStatusText = WM_USER + 22;  // 1046, status text changed
inline constexpr uint32_t kLinkMsgPortClosed = WM_USER + 24;  // 1048, a probe port was closed

inline constexpr int kLinkBaud = 115200;
inline constexpr int kLinkLastPort = 60;  // autoconnect scans up to COM60

// The settings of the main hub dialog that the link reads (the wire format itself is the
// process-wide ReceptorDataFormat()).
struct LinkSettings {
  int autoconnect = 1;                                // "set_autoconnect"
  int connect2 = 0;                                   // "set_connect2"
  int comPort = 3;                                    // "NumCOMPort"
  int comPort2 = 4;                                   // "NumCOMPort2"
  int device = 5;                                     // "NumDevice"
  int device2 = 3;                                    // "NumDevice2"
  double displayPeriod = 0.05;                        // "DtShowVideo", seconds
  int fileMode = 0;                                   // "set_use_file_instead_COM_port"
  Text1251 debugFile = "C:\\Tacmon\\pars\\test.bin";  // "file_instead_COM_port"
  int autoRecord = 1;                                 // "SetAutoRecord"
  // Two probes are read exactly when "set_connect2" is on and "set_autoconnect" off.
  bool TwoReceptors() const { return connect2 != 0 && autoconnect == 0; }
  int PeriodMs() const;  // displayPeriod in whole milliseconds (at least 1)
};

// What the link needs from the main hub dialog. Every call may come from the reading thread.
class LinkHost {
 public:
  virtual ~LinkHost() = default;
  virtual LinkSettings Settings() = 0;  // a snapshot
  // The link changed the wire format (detection, or a passport's FORMAT in autoconnect) after
  // storing it with SetReceptorDataFormat; the hub keeps its "receptor_data_format" in step.
  virtual void DataFormatChanged(int format) { (void)format; }
  // The passport registry with its current passports, guarded by PassportLock().
  virtual PassportRegistry& Passports() = 0;
  virtual TimedMutex& PassportLock() = 0;
  // The probe's status text shown by the hub (CP1251); the link then sends 1046.
  virtual void SetReceptorStatusText(const Text1251& text) = 0;
  virtual WindowHandle HubWindow() = 0;
};

// A host of its own for programs and tests without the hub dialog.
class SimpleLinkHost : public LinkHost {
 public:
  LinkSettings Settings() override;
  void SetSettings(const LinkSettings& s);
  PassportRegistry& Passports() override { return registry_; }
  TimedMutex& PassportLock() override { return passportLock_; }
  void SetReceptorStatusText(const Text1251& text) override;
  Text1251 StatusText();
  WindowHandle HubWindow() override { return hub_; }
  void SetHubWindow(WindowHandle h) { hub_ = h; }

 private:
  std::mutex lock_;  // guards settings_, status_
  LinkSettings settings_;
  Text1251 status_;
  TimedMutex passportLock_;  // guards registry_
  PassportRegistry registry_;
  WindowHandle hub_ = 0;
};

// The window that owns the reading thread. The hooks are called by the reading thread under
// the link lock and must only do what is safe from another thread (e.g. queue work).
struct LinkOwner {
  WindowHandle window = 0;                 // receives 1037 and 1038; 0: none
  std::function<bool()> hasRecordingView;  // empty: the window has one
  std::function<void()> discardLivePush;   // Disconnect drops the recording view's live push
};

// The process-wide link lock: timers, ring notification, disconnect, end of a connect.
TimedMutex& LinkLock();

// Opens "\\.\COM<port>" at baud and configures it as every probe port (8N1, raw, exclusive).
// Returns 0 or the port codes -1..-5; with report, each failure writes its message
// ("INVALID HANDLE VALUE!", "CommState = FALSE!", "ERROR SETTING INTERVALS!",
// "ERROR BUILDING FLAGS!", "ERROR SETTING FLAGS!"). The device search opens its ports here.
int OpenLinkPort(int port, bool report, std::shared_ptr<ByteTransport>* out, int baud = kLinkBaud);

// Two-slot hand-over of packet images; the oldest is dropped when the reader is late.
struct ImageRing {
  struct Slot {
    PacketImage image;
    int32_t index = 0;
  };
  Slot slots[2];
  int write = 0;
  int read = 0;
  PacketImage second;  // latest image of the second probe, one copy, latest wins
  bool hasSecond = false;
  uint64_t puts = 0;  // images put, and images dropped unread
  uint64_t drops = 0;
  TimedMutex lock;  // guards everything above
};
// Puts an image (and the second probe's, or nullptr); then posts 1037 to window under the
// link lock. Failures to lock write "(52026739)" / "(55728739)" "Internal error:can't lock".
void PutImage(ImageRing& ring, const PacketImage& image, int32_t index, const PacketImage* second,
              WindowHandle window);
// The oldest image with its index (and the latest second image), or false when empty.
bool TakeImage(ImageRing& ring, PacketImage& image, int32_t& index, PacketImage* second = nullptr);

// A device search run by the reading thread (device_search.h): set stop to end it early;
// done is set once result is complete.
struct DeviceSearchJob {
  SearchLimits limits;
  int first = 1;
  int last = kSearchLastPort;
  DeviceSearchResult result;
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
};

enum class LinkTimerMode { kNone, kAveraging, kPoll };

class CCOMReadThread : public WorkerThread {
 public:
  CCOMReadThread(LinkHost& host, LinkOwner owner);
  ~CCOMReadThread() override;  // quits and joins when still running

  // Ends the thread and waits for it, whatever it is doing (connecting, pausing, reading):
  // stops are requested, port waits are cancelled, pauses cut short. Afterwards the thread
  // never touches its window again. Returns the status word (1: the thread acknowledged).
  int Quit();
  // The Disconnect command outside file mode: every loop checks it within about a second.
  void RequestStop() { stopRequested_ = true; }
  bool StopRequested() const { return stopRequested_.load(); }
  // The reading thread's delivery counter (the index of the next image) back to 0.
  void ResetDeliveryCounter() { imageCounter_ = 0; }
  // Queues a device search behind whatever the thread is doing: after a stop request the
  // connection ends first, so the search never meets the link on a port. It closes the link's
  // ports and tells the hub before and after. A thread that quits first leaves job not done.
  void RequestDeviceSearch(std::shared_ptr<DeviceSearchJob> job);

  // The link timer, driven by the owner: call as often as convenient (at least every few ms
  // around the period); runs the averaging or poll procedure when due and returns the
  // milliseconds until it is next due (-1 when no timer runs).
  int TickTimers();
  LinkTimerMode TimerMode();
  int TimerPeriodMs();

  ImageRing& Ring() { return ring_; }
  bool TakeImage(PacketImage& image, int32_t& index, PacketImage* second = nullptr) {
    return ::TakeImage(ring_, image, index, second);
  }

  // Port operations (reading thread; OpenReceptorPort is also the device search's opener).
  // report: write the failure messages of the port steps into the message log.
  int OpenReceptorPort(int port, const Text1251& deviceId, bool adapter, bool report = false);
  int OpenSecondPort(int port, bool report = false);
  void ClosePort(int which);  // 1 or 2
  void CloseBothPorts();
  // Closes both ports and tells the hub (1048): what the device search does before it scans.
  void CloseLinkPorts();
  void SendAdapterDisconnect(int which);
  bool PortOpen(int which);

  // The procedures of the thread messages, callable directly by tests on the calling thread.
  bool Connect();     // true when connected (reading may start, or the debug file plays)
  int ReadingLoop();  // 0 silence (reconnect), -1 stopped or nothing to read
  void Disconnect();

  // Counters for tools and benchmarks.
  int Connections() const { return connections_.load(); }
  uint64_t PacketsRead() const { return packets1_.load(); }
  uint64_t SecondPacketsRead() const { return packets2_.load(); }

 protected:
  int Run() override;

 private:
  struct Timer {
    LinkTimerMode mode = LinkTimerMode::kNone;
    int periodMs = 50;
    double nextDue = 0;
  };

  std::shared_ptr<ByteTransport> Port(int which);
  bool Stopping() const { return stopRequested_.load() || quitting_.load(); }
  void Pause(int ms);  // a wait that only Quit cuts short
  void TellHubPortClosed();
  void SendHub(uint32_t message);
  // "btdis" to the adapter on port, then the 100 ms pause (nothing in format 2).
  void SendAdapterDisconnect(ByteTransport& port);
  // Empties both port slots into p1, p2 (the ports stay open).
  void TakePorts(std::shared_ptr<ByteTransport>& p1, std::shared_ptr<ByteTransport>& p2);
  void StartLinkTimer(LinkTimerMode mode, int periodMs);
  void KillLinkTimer();
  void ConnectedStep();  // step 5 of Connect
  bool ConnectFile();
  bool OpenDebugFile();
  bool ConnectAuto();
  bool ConnectFixed(bool two);
  int GatherReply(ByteTransport& port, uint8_t* buffer);
  void StoreFirst(const uint8_t* packet, int length, int format);
  void StoreSecond(const uint8_t* packet, int length, int format);
  void OnAveragingTimer();
  void OnPollTimer();
  bool OwnerHasView();
  void HandleConnectRead();
  void HandleDeviceSearch();

  LinkHost& host_;
  LinkOwner owner_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> quitting_{false};
  std::atomic<bool> fileMode_{false};
  std::atomic<int32_t> imageCounter_{0};
  std::atomic<int> connections_{0};
  std::atomic<uint64_t> packets1_{0};
  std::atomic<uint64_t> packets2_{0};
  std::atomic<int> quitWord_{0};
  Event wake_{true, false};  // set by Quit

  TimedMutex portLock_;  // guards port1_, port2_
  std::shared_ptr<ByteTransport> port1_;
  std::shared_ptr<ByteTransport> port2_;

  TimedMutex bufferLock_;  // guards ring1_, ring2_, current1_, current2_, averaged1_, averaged2_
  PacketRing ring1_;
  PacketRing ring2_;
  PacketImage current1_;  // the latest raw packet of each probe
  PacketImage current2_;
  PacketImage averaged1_;  // the image of the last period of each probe
  PacketImage averaged2_;

  std::mutex timerLock_;  // guards timer_
  Timer timer_;

  std::mutex searchLock_;  // guards searchJobs_ (innermost, held only to move a job)
  std::vector<std::shared_ptr<DeviceSearchJob>> searchJobs_;

  ImageRing ring_;
  int pollFill_ = 0;  // bytes of a 52-byte block gathered by the port-mode poll timer
  uint8_t pollBlock_[52] = {};
};

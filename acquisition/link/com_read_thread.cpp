// The reading thread itself: its life (start, quit, the thread messages), the port slots, and
// the disconnect. Connecting, reading, the timers, the ring and the host have files of their
// own beside this one.
#include "acquisition/link/com_read_thread.h"

#include <exception>

#include "acquisition/link/detail/link_limits.h"
#include "platform/report.h"

using namespace link_detail;

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
      case kLinkMsgDeviceSearch:
        HandleDeviceSearch();
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

void CCOMReadThread::RequestDeviceSearch(std::shared_ptr<DeviceSearchJob> job) {
  {
    std::lock_guard l(searchLock_);
    searchJobs_.push_back(std::move(job));
  }
  PostThreadMessage(kLinkMsgDeviceSearch);
}

void CCOMReadThread::HandleDeviceSearch() {
  std::shared_ptr<DeviceSearchJob> job;
  {
    std::lock_guard l(searchLock_);
    if (searchJobs_.empty()) return;
    job = std::move(searchJobs_.front());
    searchJobs_.erase(searchJobs_.begin());
  }
  job->result = SearchDevices([this] { CloseLinkPorts(); },
                              [this, &job] { return job->stop.load() || quitting_.load(); },
                              job->limits, job->first, job->last);
  job->done = true;
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

// ---- port slots

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

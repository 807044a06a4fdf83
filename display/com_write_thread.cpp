#include "display/com_write_thread.h"

#include "platform/report.h"

namespace display {
namespace {

std::atomic<CCOMWriteThread*> g_current{nullptr};

}  // namespace

CCOMWriteThread* CurrentDisplayThread() { return g_current.load(); }
void SetCurrentDisplayThread(CCOMWriteThread* thread) { g_current = thread; }

CCOMWriteThread::CCOMWriteThread(DisplayHost& host) : host_(host) {}

CCOMWriteThread::~CCOMWriteThread() {
  if (Started()) {
    RequestQuit();
    Join();
  }
}

bool CCOMWriteThread::InitInstance() {
  initialised_ = true;
  return true;
}

void CCOMWriteThread::Forward(const std::array<int, kSensorCount>& indices,
                              const std::array<bool, kDisplaySensors>& visible) {
  if (!hasConnection_.load()) return;
  const DisplaySettings s = host_.Settings();
  if (!s.useMechDisplay) return;
  const Levels mapped = MapToDisplay(indices, s.oneToOne != 0);
  {
    std::unique_lock l(frameLock_, std::try_to_lock);
    if (!l.owns_lock()) {
      ++busy_;
      return;
    }
    if (frame_.fresh) ++counters_.replaced;
    frame_.mapped = mapped;
    frame_.visible = visible;
    frame_.fresh = true;
    ++counters_.forwarded;
  }
  if (!framePosted_.exchange(true) && !PostThreadMessage(WM_DISPLAY_FRAME)) framePosted_ = false;
}

void CCOMWriteThread::RequestOpen() { PostThreadMessage(WM_DISPLAY_OPEN); }

void CCOMWriteThread::RequestClose() {
  closePending_ = true;
  PostThreadMessage(WM_DISPLAY_CLOSE);
}

void CCOMWriteThread::RequestQuit() {
  stopWord_ = 3;
  PostThreadMessage(WM_DISPLAY_QUIT);
}

bool CCOMWriteThread::Connected() {
  std::lock_guard l(connectionLock_);
  return connection_ && connection_->IsOpen();
}

RelayCounters CCOMWriteThread::Counters() {
  std::lock_guard l(frameLock_);
  RelayCounters c = counters_;
  c.busy = busy_.load();
  return c;
}

bool CCOMWriteThread::OnThreadMessage(const ThreadMessage& m) {
  switch (m.message) {
    case WM_DISPLAY_QUIT:
      CloseConnection();
      return !initialised_.load();
    case WM_DISPLAY_OPEN:
      Open();
      return true;
    case WM_DISPLAY_CLOSE:
      closePending_ = false;
      CloseConnection();
      return true;
    case WM_DISPLAY_FRAME:
      SendFrame();
      return true;
    default:
      return true;
  }
}

void CCOMWriteThread::Open() {
  if (!host_.Settings().useMechDisplay) return;
  stopWord_ &= ~1;
  CloseConnection();
  auto c = std::make_unique<CMechDisplay_Com>(host_, stopWord_, &closePending_);
  ClearLastValuesSent();
  {
    std::lock_guard l(connectionLock_);
    connection_ = std::move(c);
  }
  hasConnection_ = true;
  if (host_.Settings().autoconnect) connection_->Autoconnect();
}

void CCOMWriteThread::CloseConnection() {
  if (!connection_) return;
  connection_->Close();
  hasConnection_ = false;
  std::unique_ptr<CMechDisplay_Com> gone;
  {
    std::lock_guard l(connectionLock_);
    gone = std::move(connection_);
  }
}

void CCOMWriteThread::SendFrame() {
  // Cleared first: a frame handed over from now on posts again and is sent after this one.
  framePosted_ = false;
  if (!initialised_.load() || !connection_) return;
  Frame f;
  {
    std::lock_guard l(frameLock_);
    if (!frame_.fresh) return;
    f = frame_;
    frame_.fresh = false;
  }
  if (!host_.Settings().useMechDisplay) return;
  const DisplayPassport p = CurrentDisplayPassport();
  const ConstantForce force = CurrentConstantForce();
  for (int k = 1; k <= kDisplaySensors; ++k) {
    const int level = DisplayLevel(k, f.mapped[k - 1], p, force, f.visible[k - 1]);
    SetLastValueSent(k, level);
    if (!connection_) break;
    connection_->SendCommand(FrameCommand(k, level), true);
  }
  std::lock_guard l(frameLock_);
  ++counters_.sent;
}

}  // namespace display

// The link timer, run by the owner's TickTimers: the averaging timer (one packet image per
// display period while reading) and the poll timer (images without averaging: the debug file,
// or a port read without the reading loop).
#include <algorithm>
#include <exception>

#include "acquisition/link/com_read_thread.h"
#include "acquisition/link/detail/link_limits.h"
#include "platform/clock.h"
#include "platform/report.h"

using namespace link_detail;

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

// Reading: the loop that cuts the probes' byte streams into packets and stores them for the
// averaging timer, until a stop or a silence.
#include "acquisition/link/com_read_thread.h"
#include "acquisition/link/detail/link_limits.h"
#include "platform/clock.h"
#include "platform/report.h"

using namespace link_detail;

void CCOMReadThread::StoreFirst(const uint8_t* packet, int length, int format) {
  TimedLock buf(bufferLock_, kBufferLockMs);
  if (!buf) {
    ReportCantLock(format == 0 ? "68729739" : "68729741");
    return;
  }
  current1_ = PacketImage::FromPacket(packet, static_cast<size_t>(length));
  StorePacket(ring1_, packet, length);
  ++packets1_;
}

void CCOMReadThread::StoreSecond(const uint8_t* packet, int length, int format) {
  TimedLock buf(bufferLock_, kBufferLockMs);
  if (!buf) {
    ReportCantLock(format == 0 ? "105329739" : "105329741");
    return;
  }
  current2_ = PacketImage::FromPacket(packet, static_cast<size_t>(length));
  StorePacket(ring2_, packet, length);
  ++packets2_;
}

int CCOMReadThread::ReadingLoop() {
  LinkSettings s = host_.Settings();
  bool two = s.TwoReceptors();
  auto stopped = [&] {
    KillLinkTimer();
    stopRequested_ = true;
    Pause(100);
    Disconnect();
    stopRequested_ = false;
    return -1;
  };
  stopRequested_ = false;
  imageCounter_ = 0;
  {
    TimedLock buf(bufferLock_, kBufferLockMs);
    ring1_.count = ring1_.position = 0;
    ring2_.count = ring2_.position = 0;
  }
  KillLinkTimer();
  StartLinkTimer(LinkTimerMode::kAveraging, s.PeriodMs());

  std::shared_ptr<ByteTransport> p1 = Port(1);
  std::shared_ptr<ByteTransport> p2 = two ? Port(2) : nullptr;
  if (!owner_.window || !IsWindow(owner_.window) || !p1 || !p1->IsOpen() || quitting_.load())
    return stopped();

  int format = ReceptorDataFormat();
  PacketAssembler a1;
  a1.format = format;
  PacketAssembler a2;
  a2.format = format;
  a2.secondReceptor = true;
  bool gotData1 = false, gotData2 = false;
  double last1 = MonotonicSeconds(), last2 = last1;
  uint8_t buf[512];

  auto silent = [&] {
    SendAdapterDisconnect(1);
    CloseBothPorts();
    TellHubPortClosed();
    return 0;
  };
  // Reads what port has (nothing waits here); false when the port is lost.
  auto drain = [&](ByteTransport& port, PacketAssembler& a, bool second, bool& got, double& last) {
    IoResult r = port.Read(buf, sizeof buf, 0);
    if (r.status == IoStatus::kLost || r.status == IoStatus::kClosed || r.status == IoStatus::kEnd)
      return false;
    if (!r.Ok()) return true;
    if (r.count > 0) {
      got = true;
      last = MonotonicSeconds();
    }
    for (size_t i = 0; i < r.count; ++i) {
      if (FeedByte(a, buf[i])) {
        if (second)
          StoreSecond(a.packet.data(), a.packetLength, format);
        else
          StoreFirst(a.packet.data(), a.packetLength, format);
      }
    }
    return true;
  };

  while (!Stopping()) {
    // Both ports are waited on together: a quiet second port never holds up the first.
    ByteTransport* ports[2] = {p1.get(), p2.get()};
    unsigned ready = WaitAnyReadable(ports, two ? 2 : 1, 1000);
    if (Stopping()) break;
    if ((ready & 1u) && !drain(*p1, a1, false, gotData1, last1)) return silent();
    if (two && (ready & 2u) && !drain(*p2, a2, true, gotData2, last2)) return silent();
    double now = MonotonicSeconds();
    if (gotData1 && now - last1 >= kSilenceSeconds) return silent();
    if (two && gotData2 && now - last2 >= kSilenceSeconds) return silent();
  }
  return stopped();
}

// The two-slot ring that hands packet images to the operation window, and the link lock under
// which the window is told.
#include "acquisition/link/com_read_thread.h"
#include "acquisition/link/detail/link_limits.h"
#include "platform/report.h"

using namespace link_detail;

TimedMutex& LinkLock() {
  static TimedMutex lock;
  return lock;
}

void PutImage(ImageRing& ring, const PacketImage& image, int32_t index, const PacketImage* second,
              WindowHandle window) {
  {
    TimedLock l(ring.lock, kPortLockMs);
    if (!l) {
      ReportCantLock("52026739");
      return;
    }
    ring.slots[ring.write].image = image;
    ring.slots[ring.write].index = index;
    if (second) {
      ring.second = *second;
      ring.hasSecond = true;
    }
    ring.write = (ring.write + 1) % 2;
    ++ring.puts;
    if (ring.write == ring.read) {
      ring.read = (ring.read + 1) % 2;  // the window is late: the oldest image goes
      ++ring.drops;
    }
  }
  TimedLock link(LinkLock(), kLinkLockMs);
  if (!link) {
    ReportCantLock("55728739");
    return;
  }
  // The window repaints its panes when it takes the images.
  if (window) PostMessageTo(window, kLinkMsgNewImage);
}

bool TakeImage(ImageRing& ring, PacketImage& image, int32_t& index, PacketImage* second) {
  TimedLock l(ring.lock, kPortLockMs);
  if (!l) {
    ReportCantLock("55873739");
    return false;
  }
  if (ring.read == ring.write) return false;
  image = ring.slots[ring.read].image;
  index = ring.slots[ring.read].index;
  if (second && ring.hasSecond) *second = ring.second;
  ring.read = (ring.read + 1) % 2;
  return true;
}

// usbcan: the adapter table, the two backends and the reception thread (see usbcan.h).
#include "usbcan.h"

#include <fcntl.h>
#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "usbcan_sim_protocol.h"

static_assert(sizeof(tCanMsgStruct) == 18, "packed message record");
static_assert(offsetof(tUcanHardwareInfo, m_dwSerialNr) == 18, "serial number at byte 18");

namespace {

constexpr int kMaxAdapters = 8;
constexpr int kReplyMs = 1000;
constexpr size_t kRxLimit = 4096;  // messages kept unread; older ones are dropped

enum class Backend { kSim, kSocketCan };

struct Adapter {
  tUcanHandle handle = 0;
  Backend backend = Backend::kSim;
  int fd = -1;
  int wake[2] = {-1, -1};  // the reception thread's stop pipe
  tCallbackFkt callback = nullptr;
  uint32_t serial = 0;
  std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
  std::thread reader;

  std::mutex writeLock;  // one request or write at a time on the connection
  std::mutex lock;       // guards everything below
  std::condition_variable cv;
  std::deque<tCanMsgStruct> rx;
  bool replied = false;
  uint8_t replyCode = 0;
  uint32_t replyValue = 0;
  bool lost = false;
  bool canReady = false;

  ~Adapter() {
    if (wake[1] >= 0) (void)!::write(wake[1], "x", 1);
    if (reader.joinable()) reader.join();
    for (int f : {fd, wake[0], wake[1]})
      if (f >= 0) ::close(f);
  }
};

std::mutex g_tableLock;  // guards g_table
std::array<std::shared_ptr<Adapter>, kMaxAdapters> g_table;

std::shared_ptr<Adapter> Find(tUcanHandle h) {
  if (h == 0 || h > kMaxAdapters) return nullptr;
  std::lock_guard l(g_tableLock);
  return g_table[h - 1];
}

uint32_t Stamp(const Adapter& a) {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - a.opened)
                                   .count());
}

void Received(Adapter& a, const tCanMsgStruct& m) {
  {
    std::lock_guard l(a.lock);
    if (a.rx.size() >= kRxLimit) a.rx.pop_front();
    a.rx.push_back(m);
  }
  if (a.callback) a.callback(a.handle, USBCAN_EVENT_RECEIVE);
}

void MarkLost(Adapter& a) {
  std::lock_guard l(a.lock);
  a.lost = true;
  a.cv.notify_all();
}

// The reception thread: messages go to the queue and the callback, replies to the waiting
// request; the end of the connection marks the adapter lost.
void ReadLoop(Adapter* a) {
  for (;;) {
    pollfd p[2] = {{a->fd, POLLIN, 0}, {a->wake[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      MarkLost(*a);
      return;
    }
    if (p[1].revents) return;
    if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    if (a->backend == Backend::kSocketCan) {
      can_frame f{};
      ssize_t n = ::read(a->fd, &f, sizeof f);
      if (n != static_cast<ssize_t>(sizeof f)) {
        if (n < 0 && errno == EINTR) continue;
        MarkLost(*a);
        return;
      }
      if (f.can_id & (CAN_ERR_FLAG | CAN_RTR_FLAG)) continue;
      tCanMsgStruct m{};
      m.m_bFF = (f.can_id & CAN_EFF_FLAG) ? 0x80 : 0;
      m.m_dwID = f.can_id & ((f.can_id & CAN_EFF_FLAG) ? CAN_EFF_MASK : CAN_SFF_MASK);
      m.m_bDLC = f.can_dlc > 8 ? 8 : f.can_dlc;
      std::memcpy(m.m_bData, f.data, m.m_bDLC);
      m.m_dwTime = Stamp(*a);
      Received(*a, m);
      continue;
    }
    uint8_t buf[64];
    ssize_t n = ::recv(a->fd, buf, sizeof buf, 0);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      MarkLost(*a);
      return;
    }
    if (buf[0] == USBCAN_SIM_MESSAGE && n >= USBCAN_SIM_MESSAGE_SIZE) {
      tCanMsgStruct m;
      std::memcpy(&m, buf + 1, sizeof m);
      Received(*a, m);
    } else if (buf[0] == USBCAN_SIM_REPLY && n >= USBCAN_SIM_REPLY_SIZE) {
      std::lock_guard l(a->lock);
      a->replied = true;
      a->replyCode = buf[1];
      std::memcpy(&a->replyValue, buf + 2, 4);
      a->cv.notify_all();
    }
  }
}

// One request to the simulated instrument and its reply.
UCANRET Request(Adapter& a, const uint8_t* packet, size_t size, uint32_t* value = nullptr) {
  std::lock_guard w(a.writeLock);
  {
    std::lock_guard l(a.lock);
    if (a.lost) return USBCAN_ERR_DISCONNECT;
    a.replied = false;
  }
  if (::send(a.fd, packet, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
    MarkLost(a);
    return USBCAN_ERR_DISCONNECT;
  }
  std::unique_lock l(a.lock);
  if (!a.cv.wait_for(l, std::chrono::milliseconds(kReplyMs), [&] { return a.replied || a.lost; }))
    return USBCAN_ERR_TIMEOUT;
  if (!a.replied) return USBCAN_ERR_DISCONNECT;
  if (value) *value = a.replyValue;
  return a.replyCode;
}

UCANRET OpenSim(Adapter& a, const char* path) {
  a.fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (a.fd < 0) return USBCAN_ERR_RESOURCE;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) return USBCAN_ERR_ILLPARAM;
  std::strcpy(addr.sun_path, path);
  if (::connect(a.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return USBCAN_ERR_ILLHW;
  return USBCAN_SUCCESSFUL;
}

UCANRET OpenSocketCan(Adapter& a, const char* name) {
  a.fd = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
  if (a.fd < 0) return USBCAN_ERR_ILLHW;
  const unsigned index = ::if_nametoindex(name);
  if (index == 0) return USBCAN_ERR_ILLHW;
  sockaddr_can addr{};
  addr.can_family = AF_CAN;
  addr.can_ifindex = static_cast<int>(index);
  if (::bind(a.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return USBCAN_ERR_ILLHW;
  const char* serial = std::getenv("USBCAN_SERIAL");
  a.serial = serial && *serial ? static_cast<uint32_t>(std::strtoul(serial, nullptr, 10)) : index;
  return USBCAN_SUCCESSFUL;
}

}  // namespace

extern "C" {

UCANRET UcanInitHardware(tUcanHandle* handle, uint8_t deviceNr, tCallbackFkt callback) {
  if (!handle) return USBCAN_ERR_ILLPARAM;
  *handle = 0;
  (void)deviceNr;  // one adapter per backend: any module number selects it
  auto a = std::make_shared<Adapter>();
  a->callback = callback;
  const char* sim = std::getenv("USBCAN_SIM");
  const char* can = std::getenv("USBCAN_SOCKETCAN");
  UCANRET r;
  if (sim && *sim) {
    r = OpenSim(*a, sim);
  } else if (can && *can) {
    a->backend = Backend::kSocketCan;
    r = OpenSocketCan(*a, can);
  } else {
    r = USBCAN_ERR_ILLHW;  // no adapter configured
  }
  if (r != USBCAN_SUCCESSFUL) return r;
  if (::pipe2(a->wake, O_CLOEXEC) != 0) return USBCAN_ERR_RESOURCE;
  {
    std::lock_guard l(g_tableLock);
    int slot = -1;
    for (int i = 0; i < kMaxAdapters && slot < 0; ++i)
      if (!g_table[i]) slot = i;
    if (slot < 0) return USBCAN_ERR_MAXMODULES;
    a->handle = static_cast<tUcanHandle>(slot + 1);
    g_table[slot] = a;
  }
  a->reader = std::thread(ReadLoop, a.get());
  if (a->backend == Backend::kSim) {
    const uint8_t packet[1] = {USBCAN_SIM_INIT};
    r = Request(*a, packet, sizeof packet, &a->serial);
    if (r != USBCAN_SUCCESSFUL) {
      UcanDeinitHardware(a->handle);
      return r;
    }
  }
  *handle = a->handle;
  if (callback) callback(a->handle, USBCAN_EVENT_INITHW);
  return USBCAN_SUCCESSFUL;
}

UCANRET UcanInitCan(tUcanHandle handle, uint8_t btr0, uint8_t btr1, uint32_t mask, uint32_t code) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  {
    std::lock_guard l(a->lock);
    if (a->canReady) return USBCAN_ERRCMD_ALREADYINIT;
  }
  UCANRET r = USBCAN_SUCCESSFUL;
  if (a->backend == Backend::kSim) {
    const uint8_t packet[3] = {USBCAN_SIM_INITCAN, btr0, btr1};
    r = Request(*a, packet, sizeof packet);
  } else if (mask != 0xFFFFFFFFu) {
    // Acceptance: a message passes when (id & ~mask) == (code & ~mask); all ones lets all pass.
    can_filter f{code & ~mask, ~mask & CAN_EFF_MASK};
    if (::setsockopt(a->fd, SOL_CAN_RAW, CAN_RAW_FILTER, &f, sizeof f) != 0)
      r = USBCAN_ERR_ILLPARAM;
  }
  if (r != USBCAN_SUCCESSFUL) return r;
  {
    std::lock_guard l(a->lock);
    a->canReady = true;
  }
  if (a->callback) a->callback(handle, USBCAN_EVENT_INITCAN);
  return USBCAN_SUCCESSFUL;
}

UCANRET UcanGetHardwareInfo(tUcanHandle handle, tUcanHardwareInfo* info) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  if (!info) return USBCAN_ERR_ILLPARAM;
  std::memset(info, 0, sizeof *info);
  info->m_dwSize = sizeof *info;
  info->m_UcanHandle = handle;
  info->m_dwSerialNr = a->serial;
  return USBCAN_SUCCESSFUL;
}

UCANRET UcanWriteCanMsg(tUcanHandle handle, tCanMsgStruct* msg) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  if (!msg || msg->m_bDLC > 8) return USBCAN_ERR_ILLPARAM;
  {
    std::lock_guard l(a->lock);
    if (a->lost) return USBCAN_ERR_DISCONNECT;
    if (!a->canReady) return USBCAN_ERRCMD_NOTINIT;
  }
  if (a->backend == Backend::kSim) {
    uint8_t packet[USBCAN_SIM_MESSAGE_SIZE];
    packet[0] = USBCAN_SIM_WRITE;
    std::memcpy(packet + 1, msg, sizeof *msg);
    return Request(*a, packet, sizeof packet);
  }
  can_frame f{};
  f.can_id = msg->m_dwID & ((msg->m_bFF & 0x80) ? CAN_EFF_MASK : CAN_SFF_MASK);
  if (msg->m_bFF & 0x80) f.can_id |= CAN_EFF_FLAG;
  f.can_dlc = msg->m_bDLC;
  std::memcpy(f.data, msg->m_bData, msg->m_bDLC);
  std::lock_guard w(a->writeLock);
  ssize_t n = ::write(a->fd, &f, sizeof f);
  if (n == static_cast<ssize_t>(sizeof f)) return USBCAN_SUCCESSFUL;
  if (n < 0 && (errno == ENOBUFS || errno == EAGAIN)) return USBCAN_ERR_DLL_TXFULL;
  if (n < 0 && (errno == ENETDOWN || errno == ENODEV)) return USBCAN_ERR_DISCONNECT;
  return USBCAN_ERR_IOFAILED;
}

UCANRET UcanReadCanMsg(tUcanHandle handle, tCanMsgStruct* msg) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  if (!msg) return USBCAN_ERR_ILLPARAM;
  std::lock_guard l(a->lock);
  if (a->rx.empty()) return a->lost ? USBCAN_ERR_DISCONNECT : USBCAN_WARN_NODATA;
  *msg = a->rx.front();
  a->rx.pop_front();
  return USBCAN_SUCCESSFUL;
}

UCANRET UcanResetCan(tUcanHandle handle) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  {
    std::lock_guard l(a->lock);
    a->rx.clear();
  }
  if (a->backend == Backend::kSim) {
    const uint8_t packet[1] = {USBCAN_SIM_RESET};
    return Request(*a, packet, sizeof packet);
  }
  return USBCAN_SUCCESSFUL;
}

UCANRET UcanDeinitCan(tUcanHandle handle) {
  auto a = Find(handle);
  if (!a) return USBCAN_ERR_ILLHANDLE;
  UCANRET r = USBCAN_SUCCESSFUL;
  if (a->backend == Backend::kSim) {
    const uint8_t packet[1] = {USBCAN_SIM_DEINITCAN};
    r = Request(*a, packet, sizeof packet);
  }
  std::lock_guard l(a->lock);
  a->canReady = false;
  return r;
}

UCANRET UcanDeinitHardware(tUcanHandle handle) {
  std::shared_ptr<Adapter> a;
  {
    std::lock_guard l(g_tableLock);
    if (handle == 0 || handle > kMaxAdapters || !g_table[handle - 1]) return USBCAN_ERR_ILLHANDLE;
    // The reception thread cannot end itself from inside its own callback.
    if (g_table[handle - 1]->reader.get_id() == std::this_thread::get_id()) return USBCAN_ERR_BUSY;
    a = std::move(g_table[handle - 1]);
  }
  // Ends the reception thread: no callback runs after this returns.
  if (a->wake[1] >= 0) (void)!::write(a->wake[1], "x", 1);
  if (a->reader.joinable()) a->reader.join();
  return USBCAN_SUCCESSFUL;
}

}  // extern "C"

#include "sim/instrument_sim.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "sim/sim_program.h"
#include "usbcan.h"
#include "usbcan_sim_protocol.h"

namespace sim {

namespace {
constexpr double kTick = 0.010;

std::string Bytes(const uint8_t* d) {
  char b[64];
  std::snprintf(b, sizeof b, "%d %d %d %d %d %d %d %d", d[0], d[1], d[2], d[3], d[4], d[5], d[6],
                d[7]);
  return b;
}
}  // namespace

struct InstrumentSim::Client {};

InstrumentSim::InstrumentSim(InstrumentOptions o)
    : o_(std::move(o)), depth_(-o_.gap), rng_(o_.seed * 2654435761u + 7) {}

InstrumentSim::~InstrumentSim() {
  if (client_ >= 0) ::close(client_);
  if (listen_ >= 0) ::close(listen_);
  if (!o_.socket.empty()) ::unlink(o_.socket.c_str());
}

void InstrumentSim::Event(const std::string& text) {
  if (onEvent) onEvent(text);
}

bool InstrumentSim::Start(std::string* error) {
  if (!o_.forceFile.empty() && !forceOut_.OpenWriter(o_.forceFile, error)) return false;
  listen_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (o_.socket.size() >= sizeof addr.sun_path) {
    if (error) *error = "socket path too long";
    return false;
  }
  std::strcpy(addr.sun_path, o_.socket.c_str());
  ::unlink(o_.socket.c_str());
  if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_, 4) != 0) {
    if (error) *error = o_.socket + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void InstrumentSim::Reply(uint8_t code, uint32_t value) {
  uint8_t r[USBCAN_SIM_REPLY_SIZE] = {USBCAN_SIM_REPLY, code};
  std::memcpy(r + 2, &value, 4);
  if (client_ >= 0) (void)::send(client_, r, sizeof r, MSG_NOSIGNAL);
}

void InstrumentSim::SendFrame(uint32_t id, const uint8_t* data) {
  if (client_ < 0 || !canReady_) return;
  uint8_t m[USBCAN_SIM_MESSAGE_SIZE] = {USBCAN_SIM_MESSAGE};
  tCanMsgStruct msg{};
  msg.m_dwID = id;
  msg.m_bDLC = 8;
  std::memcpy(msg.m_bData, data, 8);
  msg.m_dwTime = static_cast<uint32_t>((MonotonicSeconds() - canSince_) * 1000);
  std::memcpy(m + 1, &msg, sizeof msg);
  // A full socket (nobody reading) drops the frame, as a CAN bus would for this listener.
  (void)::send(client_, m, sizeof m, MSG_NOSIGNAL | MSG_DONTWAIT);
}

void InstrumentSim::Drop(const char* why) {
  Event(std::string("adapter ") + why);
  if (client_ >= 0) ::close(client_);
  client_ = -1;
  canReady_ = false;
  speed_ = 0;
}

void InstrumentSim::Accept() {
  int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (client_ >= 0) {  // one adapter at a time: a second is refused
    ::close(fd);
    Event("second adapter refused");
    return;
  }
  client_ = fd;
  Event("adapter connected");
}

void InstrumentSim::HandleWrite(const uint8_t* raw) {
  tCanMsgStruct msg;
  std::memcpy(&msg, raw, sizeof msg);
  const uint64_t n = ++writes_;
  const double now = MonotonicSeconds();
  char gap[32] = "";
  if (lastWrite_ >= 0) std::snprintf(gap, sizeof gap, " +%.1fms", (now - lastWrite_) * 1000);
  lastWrite_ = now;
  const uint8_t* d = msg.m_bData;
  Event("write " + std::to_string(msg.m_dwID) + ": " + Bytes(d) + gap);
  if (o_.writeFailsAt > 0 && n == static_cast<uint64_t>(o_.writeFailsAt)) {
    Event("write refused with " + std::to_string(o_.writeFailCode));
    Reply(static_cast<uint8_t>(o_.writeFailCode));
    return;
  }
  Reply(USBCAN_SUCCESSFUL);
  if (msg.m_dwID != 2) return;
  if (d[0] == 1) {
    Event(d[1] == 1 ? "upload begins" : "command 1 2");
  } else if (d[1] >= 1 && d[1] <= 4) {
    for (int i = 0; i < 6; ++i) p_[d[1] - 1][i] = d[2 + i];
  } else if (d[1] == 5) {
    for (int i = 0; i < 6; ++i) k_[i] = d[2 + i];
    Event("passport K " + std::to_string(k_[0]) + " " + std::to_string(k_[1]) + " " +
          std::to_string(k_[2]));
  } else if (d[1] == 0) {
    const int v = std::clamp(static_cast<int>(d[2]) - 20, -20, 20);
    if (v != speed_) Event("speed " + std::to_string(v));
    speed_ = v;
  }
}

void InstrumentSim::Serve(Client&, double now) {
  uint8_t buf[64];
  ssize_t n = ::recv(client_, buf, sizeof buf, MSG_DONTWAIT);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    Drop("closed");
    return;
  }
  if (n <= 0) return;
  switch (buf[0]) {
    case USBCAN_SIM_INIT:
      if (o_.initRefused) {
        Event("init refused with " + std::to_string(o_.initRefused));
        Reply(static_cast<uint8_t>(o_.initRefused));
      } else {
        Event("init hardware");
        Reply(USBCAN_SUCCESSFUL, o_.serial);
      }
      break;
    case USBCAN_SIM_INITCAN:
      canReady_ = true;
      canSince_ = now;
      frame4Sent_ = false;
      lastWrite_ = -1;
      Event(n >= 3 ? "init can btr " + std::to_string(buf[1]) + " " + std::to_string(buf[2])
                   : std::string("init can"));
      Reply(USBCAN_SUCCESSFUL);
      break;
    case USBCAN_SIM_WRITE:
      if (n >= USBCAN_SIM_MESSAGE_SIZE) HandleWrite(buf + 1);
      break;
    case USBCAN_SIM_RESET:
      Event("reset can");
      speed_ = 0;
      Reply(USBCAN_SUCCESSFUL);
      break;
    case USBCAN_SIM_DEINITCAN:
      Event("deinit can");
      canReady_ = false;
      speed_ = 0;
      Reply(USBCAN_SUCCESSFUL);
      break;
    default:
      Reply(USBCAN_ERR_ILLPARAM);
  }
}

void InstrumentSim::Tick(double now) {
  // The head moves at the commanded speed; the force follows its depth below the contact.
  double depth = depth_.load() - speed_ * o_.speedUnit * kTick;
  depth = std::clamp(depth, -20000.0, 20000.0);
  depth_ = depth;
  const double force = o_.stiffness * std::max(0.0, depth);
  force_ = force;
  forceOut_.Write(force);
  if (client_ < 0 || !canReady_) return;
  if (o_.lostAfter >= 0 && !lostUsed_ && now - canSince_ >= o_.lostAfter) {
    lostUsed_ = true;
    Drop("lost");
    return;
  }
  if (!frame4Sent_ && !o_.noFrame4 && now - canSince_ >= 0.05) {
    frame4Sent_ = true;
    const uint8_t d[8] = {4};
    SendFrame(4, d);
    Event("frame 4");
  }
  uint16_t w[4];
  w[0] = static_cast<uint16_t>(std::clamp(depth + 10000, 0.0, 65535.0));
  for (int i = 0; i < 3; ++i) {
    const double gain = o_.factoryK[i] ? static_cast<double>(k_[i]) / o_.factoryK[i] : 0;
    double v = o_.base - force / 3 * gain;
    if (o_.noise > 0) {
      rng_ = rng_ * 1664525u + 1013904223u;
      v += static_cast<int>(rng_ >> 8) % (2 * o_.noise + 1) - o_.noise;
    }
    w[i + 1] = static_cast<uint16_t>(std::clamp(std::round(v), 0.0, 65535.0));
  }
  uint8_t d[8];
  for (int i = 0; i < 4; ++i) {
    d[2 * i] = static_cast<uint8_t>(w[i] & 0xFF);
    d[2 * i + 1] = static_cast<uint8_t>(w[i] >> 8);
  }
  if (onFrame10) onFrame10(MonotonicSeconds());
  SendFrame(10, d);
  ++frames10_;
  if (now - lastSlow_ >= 1.0) {
    lastSlow_ = now;
    for (uint32_t id = 5; id <= 9; ++id) {
      const uint8_t s[8] = {static_cast<uint8_t>(id)};
      SendFrame(id, s);
    }
  }
}

void InstrumentSim::Run(const std::atomic<bool>& stop, double seconds) {
  const double start = MonotonicSeconds();
  lastTick_ = start;
  Client c;
  while (!stop.load()) {
    double now = MonotonicSeconds();
    if (seconds > 0 && now - start >= seconds) break;
    const int wait = std::max(0, static_cast<int>((lastTick_ + kTick - now) * 1000));
    pollfd p[2] = {{listen_, POLLIN, 0}, {client_, POLLIN, 0}};
    const int count = client_ >= 0 ? 2 : 1;
    if (::poll(p, count, wait) > 0) {
      if (p[0].revents & POLLIN) Accept();
      if (count == 2 && client_ >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR)))
        Serve(c, MonotonicSeconds());
    }
    now = MonotonicSeconds();
    // Ticks due by now; after a long stall the clock restarts instead of bursting.
    if (now - lastTick_ > 0.5) lastTick_ = now - kTick;
    while (now - lastTick_ >= kTick) {
      lastTick_ += kTick;
      Tick(lastTick_);
    }
  }
}

const char* InstrumentUsage() {
  return "usage: tacinstrument --socket PATH [options]\n"
         "  --socket PATH        local socket for usbcan (USBCAN_SIM=PATH)\n"
         "  --serial N           adapter serial number (default 121469)\n"
         "  --factory-k A B C    the force sensors' own coefficients (default 92 150 150)\n"
         "  --base N             force word at no force (default 600)\n"
         "  --stiffness F        force units per um of depth (default 0.6)\n"
         "  --gap UM             distance from the head to the probe at start (default 20)\n"
         "  --speed-unit UM      um/s per speed step (default 100)\n"
         "  --noise N            +- counts on each force word (default 0)\n"
         "  --force-file FILE    publish the applied force for tacprobe --force-file\n"
         "  --seconds S          run S seconds, then stop\n"
         "faults:\n"
         "  --init-refused CODE  the hardware init answers CODE\n"
         "  --write-fails N      the N-th write answers --write-code (default 10)\n"
         "  --write-code CODE\n"
         "  --lost-after S       the adapter is lost S seconds after the CAN set-up\n"
         "  --no-frame4          frame 4 is never sent\n"
         "  --quiet              no event lines\n";
}

bool ParseInstrumentArgs(int argc, char** argv, InstrumentOptions* o, double* runSeconds,
                         bool* help, std::string* error) {
  *help = false;
  *runSeconds = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    OptionValue next(argc, argv, i, error);
    auto number = [&](double* out) { return next.Number(out); };
    auto integer = [&](int* out, int lo, int hi) { return next.Integer(out, lo, hi); };
    int n = 0;
    if (a == "--help" || a == "-h") {
      *help = true;
      return true;
    } else if (a == "--socket" || a == "--force-file") {
      if (i + 1 >= argc) {
        *error = a + " needs a path";
        return false;
      }
      (a == "--socket" ? o->socket : o->forceFile) = argv[++i];
    } else if (a == "--serial") {
      double d = 0;
      if (!number(&d) || d < 0 || d > 4294967295.0) {
        if (error->empty()) *error = "--serial: 0..4294967295";
        return false;
      }
      o->serial = static_cast<uint32_t>(d);
    } else if (a == "--factory-k") {
      for (int k = 0; k < 3; ++k)
        if (!integer(&o->factoryK[k], 1, 255)) return false;
    } else if (a == "--base") {
      if (!integer(&o->base, 0, 65535)) return false;
    } else if (a == "--stiffness") {
      if (!number(&o->stiffness)) return false;
    } else if (a == "--gap") {
      if (!number(&o->gap)) return false;
    } else if (a == "--speed-unit") {
      if (!number(&o->speedUnit)) return false;
    } else if (a == "--noise") {
      if (!integer(&o->noise, 0, 1000)) return false;
    } else if (a == "--seconds") {
      if (!number(runSeconds)) return false;
    } else if (a == "--init-refused") {
      if (!integer(&o->initRefused, 1, 255)) return false;
    } else if (a == "--write-fails") {
      if (!integer(&o->writeFailsAt, 1, 1000000)) return false;
    } else if (a == "--write-code") {
      if (!integer(&n, 1, 255)) return false;
      o->writeFailCode = n;
    } else if (a == "--lost-after") {
      if (!number(&o->lostAfter)) return false;
    } else if (a == "--no-frame4") {
      o->noFrame4 = true;
    } else if (a == "--quiet") {
    } else {
      *error = "unknown argument " + a;
      return false;
    }
  }
  if (o->socket.empty()) {
    *error = "--socket PATH is required";
    return false;
  }
  return true;
}

}  // namespace sim

#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

bool BaudToSpeed(int baud, speed_t* out) {
  struct Pair {
    int baud;
    speed_t speed;
  };
  static constexpr Pair kRates[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const Pair& p : kRates) {
    if (p.baud == baud) {
      *out = p.speed;
      return true;
    }
  }
  return false;
}

// Milliseconds left until deadline (a MonotonicSeconds value); ms < 0 means no limit.
int Remaining(double deadline) {
  if (deadline < 0) return -1;
  double left = (deadline - MonotonicSeconds()) * 1000.0;
  return left <= 0 ? 0 : static_cast<int>(left + 0.999);
}

double DeadlineAfter(int ms) { return ms < 0 ? -1.0 : MonotonicSeconds() + ms / 1000.0; }

bool IsComName(std::string_view name, std::string* rest) {
  std::string_view n = name;
  if (n.substr(0, 4) == "\\\\.\\") n.remove_prefix(4);
  if (n.size() < 4) return false;
  auto up = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
  if (up(n[0]) != 'C' || up(n[1]) != 'O' || up(n[2]) != 'M') return false;
  for (char c : n.substr(3)) {
    if (c < '0' || c > '9') return false;
  }
  *rest = std::string(n.substr(3));
  return true;
}

}  // namespace

int ByteTransport::ReadByte(int ms, IoStatus* status) {
  uint8_t b = 0;
  IoResult r = Read(&b, 1, ms);
  if (status) *status = r.status;
  return r.Ok() && r.count == 1 ? b : -1;
}

// ---- SerialPort ---------------------------------------------------------------------------------

std::filesystem::path SerialPort::HostPathFor(std::string_view name) {
  std::string digits;
  if (IsComName(name, &digits)) {
    // Leading zeros are not part of the link's name.
    int n = std::atoi(digits.c_str());
    return winpath::PortsFolder() / ("COM" + std::to_string(n));
  }
  return winpath::Resolve(name);
}

std::string SerialPort::PortName(int number) { return "\\\\.\\COM" + std::to_string(number); }

std::shared_ptr<SerialPort> SerialPort::Open(std::string_view name, int baud, int* code,
                                             std::string* errnoText) {
  auto fail = [&](int c, int fd) -> std::shared_ptr<SerialPort> {
    if (errnoText) *errnoText = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    if (code) *code = c;
    return nullptr;
  };
  std::filesystem::path path = HostPathFor(name);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(kSerialCannotOpen, -1);
  // TIOCEXCL does not stop root; the advisory lock stops every one of our opens.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(kSerialCannotOpen, fd);

  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return fail(kSerialCannotGetState, fd);
  if (::ioctl(fd, TIOCEXCL) != 0) return fail(kSerialCannotOpen, fd);

  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    ::ioctl(fd, TIOCNXCL);
    return fail(kSerialCannotSetTimeouts, fd);
  }

  speed_t speed{};
  if (!BaudToSpeed(baud, &speed)) {
    ::ioctl(fd, TIOCNXCL);
    errno = EINVAL;
    return fail(kSerialCannotBuildFlags, fd);
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;  // with O_NONBLOCK an empty port reads EAGAIN, a hung-up one 0
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) {
    ::ioctl(fd, TIOCNXCL);
    return fail(kSerialCannotBuildFlags, fd);
  }
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::ioctl(fd, TIOCNXCL);
    return fail(kSerialCannotSetState, fd);
  }
  // Bytes that waited in the driver before we opened belong to nobody.
  ::tcflush(fd, TCIOFLUSH);

  int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    ::ioctl(fd, TIOCNXCL);
    return fail(kSerialCannotOpen, fd);
  }
  std::shared_ptr<SerialPort> port(new SerialPort());
  port->fd_ = fd;
  port->wakeFd_ = wake;
  port->baud_ = baud;
  if (code) *code = kSerialOk;
  return port;
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const {
  std::lock_guard l(lock_);
  return fd_ >= 0 && !closing_;
}

IoStatus SerialPort::Enter(uint64_t* cancelSeq) {
  std::lock_guard l(lock_);
  if (fd_ < 0 || closing_) return IoStatus::kClosed;
  if (lost_) return IoStatus::kLost;
  ++active_;
  *cancelSeq = cancelSeq_;
  return IoStatus::kOk;
}

void SerialPort::Leave() {
  std::lock_guard l(lock_);
  if (--active_ == 0) idle_.notify_all();
}

bool SerialPort::Cancelled(uint64_t seq) {
  std::lock_guard l(lock_);
  return closing_ || cancelSeq_ != seq;
}

void SerialPort::MarkLost() {
  std::lock_guard l(lock_);
  lost_ = true;
}

// Waits until fd_ is ready for `events`. kOk means "try the transfer again"; any other status
// ends the call. A hang-up counts as lost unless data is still readable (`readable` set).
IoStatus SerialPort::WaitReady(short events, double deadline, uint64_t seq) {
  int left = Remaining(deadline);
  if (left == 0) return IoStatus::kTimeout;
  pollfd p[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
  int k = ::poll(p, 2, left);
  if (k < 0 && errno != EINTR) return IoStatus::kLost;
  if (Cancelled(seq) || (k > 0 && (p[1].revents & POLLIN))) return IoStatus::kCancelled;
  bool stillReadable = (events & POLLIN) && (p[0].revents & POLLIN);
  if (k > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !stillReadable) {
    MarkLost();
    return IoStatus::kLost;
  }
  return IoStatus::kOk;
}

IoResult SerialPort::Read(void* data, size_t n, int ms) {
  IoResult r;
  if (n == 0) {
    r.status = IsOpen() ? IoStatus::kOk : IoStatus::kClosed;
    return r;
  }
  uint64_t seq = 0;
  r.status = Enter(&seq);
  if (r.status != IoStatus::kOk) return r;
  double deadline = DeadlineAfter(ms);
  for (;;) {
    ssize_t got = ::read(fd_, data, n);
    if (got > 0) {
      r.count = static_cast<size_t>(got);
      r.status = IoStatus::kOk;
      break;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      // A terminal whose other side has gone reads 0 (pseudo-terminal) or EIO.
      MarkLost();
      r.status = IoStatus::kLost;
      break;
    }
    r.status = WaitReady(POLLIN, deadline, seq);
    if (r.status != IoStatus::kOk) break;
  }
  Leave();
  return r;
}

IoResult SerialPort::Write(const void* data, size_t n, int ms) {
  IoResult r;
  uint64_t seq = 0;
  r.status = Enter(&seq);
  if (r.status != IoStatus::kOk) return r;
  const auto* bytes = static_cast<const uint8_t*>(data);
  double deadline = DeadlineAfter(ms);
  r.status = IoStatus::kOk;
  while (r.count < n) {
    ssize_t put = ::write(fd_, bytes + r.count, n - r.count);
    if (put > 0) {
      r.count += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) {
      MarkLost();
      r.status = IoStatus::kLost;
      break;
    }
    r.status = WaitReady(POLLOUT, deadline, seq);
    if (r.status != IoStatus::kOk) break;
  }
  Leave();
  return r;
}

void SerialPort::CancelIo() {
  std::unique_lock l(lock_);
  if (fd_ < 0) return;
  ++cancelSeq_;
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  // The wake stays readable until every call that saw it has left; then it is drained.
  idle_.wait(l, [&] { return active_ == 0; });
  uint64_t v = 0;
  (void)!::read(wakeFd_, &v, sizeof v);
}

void SerialPort::Close() {
  std::unique_lock l(lock_);
  if (fd_ < 0) return;
  closing_ = true;
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  idle_.wait(l, [&] { return active_ == 0; });
  ::ioctl(fd_, TIOCNXCL);  // a later open of the same device by a non-root user must work
  ::close(fd_);
  ::close(wakeFd_);
  fd_ = -1;
  wakeFd_ = -1;
}

void SerialPort::Purge() {
  uint64_t seq = 0;
  if (Enter(&seq) != IoStatus::kOk) return;
  ::tcflush(fd_, TCIFLUSH);
  Leave();
}

bool SerialPort::BeginWait(int* fd, int* wakeFd) {
  uint64_t seq = 0;
  IoStatus s = Enter(&seq);
  if (s == IoStatus::kLost) {
    // Ready at once: the caller's Read reports the loss.
    *fd = -1;
    *wakeFd = -1;
    std::lock_guard l(lock_);
    ++active_;
    return true;
  }
  if (s != IoStatus::kOk) return false;
  *fd = fd_;
  *wakeFd = wakeFd_;
  return true;
}

bool CanOpenPort(int number) {
  std::filesystem::path path = SerialPort::HostPathFor(SerialPort::PortName(number));
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // releases the lock
  return free;
}

// ---- FileTransport ------------------------------------------------------------------------------

std::shared_ptr<FileTransport> FileTransport::Open(const std::filesystem::path& hostPath,
                                                   double bytesPerSecond) {
  // A regular file only: a FIFO would block the open, a device would never end.
  int fd = OpenRegularFile(hostPath, O_RDONLY);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    return nullptr;
  }
  std::shared_ptr<FileTransport> t(new FileTransport());
  t->f_ = f;
  t->rate_ = bytesPerSecond;
  t->start_ = MonotonicSeconds();
  return t;
}

FileTransport::~FileTransport() { Close(); }

bool FileTransport::IsOpen() const {
  std::lock_guard l(lock_);
  return f_ != nullptr;
}

IoResult FileTransport::Read(void* data, size_t n, int ms) {
  std::unique_lock l(lock_);
  IoResult r;
  if (!f_) {
    r.status = IoStatus::kClosed;
    return r;
  }
  if (rate_ > 0) {
    // Deliver only what a line of this rate would have carried by now.
    double due = (MonotonicSeconds() - start_) * rate_;
    if (due < static_cast<double>(delivered_) + 1) {
      double wait = (static_cast<double>(delivered_) + 1 - due) / rate_ * 1000.0;
      if (ms >= 0 && wait > ms) {
        l.unlock();
        SleepMs(ms);
        r.status = IoStatus::kTimeout;
        return r;
      }
      l.unlock();
      SleepMs(static_cast<int>(wait + 0.5));
      l.lock();
      if (!f_) {
        r.status = IoStatus::kClosed;
        return r;
      }
      due = (MonotonicSeconds() - start_) * rate_;
    }
    size_t allowed =
        static_cast<size_t>(due) > delivered_ ? static_cast<size_t>(due) - delivered_ : 1;
    if (allowed < n) n = allowed;
  }
  r.count = std::fread(data, 1, n, f_);
  delivered_ += r.count;
  r.status = r.count > 0 || n == 0 ? IoStatus::kOk : IoStatus::kEnd;
  return r;
}

IoResult FileTransport::Write(const void*, size_t, int) {
  IoResult r;
  r.status = IsOpen() ? IoStatus::kOk : IoStatus::kClosed;  // nothing listens behind a file
  return r;
}

void FileTransport::Close() {
  std::lock_guard l(lock_);
  if (f_) std::fclose(f_);
  f_ = nullptr;
}

bool FileTransport::Rewind() {
  std::lock_guard l(lock_);
  if (!f_) return false;
  std::rewind(f_);
  delivered_ = 0;
  start_ = MonotonicSeconds();
  return true;
}

bool FileTransport::BeginWait(int* fd, int* wakeFd) {
  *fd = -1;
  *wakeFd = -1;
  return IsOpen();
}

// ---- waiting on several ports -------------------------------------------------------------------

unsigned WaitAnyReadable(ByteTransport* const* ports, int count, int ms) {
  constexpr int kMax = 8;
  if (count > kMax) count = kMax;
  pollfd p[2 * kMax];
  int owner[2 * kMax];
  bool held[kMax] = {};
  unsigned ready = 0;
  int np = 0;
  for (int i = 0; i < count; ++i) {
    int fd = -1, wake = -1;
    if (!ports[i] || !ports[i]->BeginWait(&fd, &wake)) continue;
    held[i] = true;
    if (fd < 0) {
      ready |= 1u << i;
      continue;
    }
    p[np] = {fd, POLLIN, 0};
    owner[np++] = i;
    if (wake >= 0) {
      p[np] = {wake, POLLIN, 0};
      owner[np++] = -1;
    }
  }
  if (ready == 0 && np > 0) {
    int k = ::poll(p, static_cast<nfds_t>(np), ms);
    if (k > 0) {
      for (int j = 0; j < np; ++j) {
        if (owner[j] >= 0 && (p[j].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)))
          ready |= 1u << owner[j];
      }
    }
  } else if (ready == 0 && ms > 0) {
    SleepMs(ms);  // nothing open to wait on
  }
  for (int i = 0; i < count; ++i) {
    if (held[i]) ports[i]->EndWait();
  }
  return ready;
}

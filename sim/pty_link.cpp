#include "sim/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/paths.h"

namespace sim {

std::unique_ptr<PtyLink> PtyLink::Create(int com, std::string* error) {
  std::unique_ptr<PtyLink> p(new PtyLink());
  p->com_ = com;
  p->link_ = winpath::PortsFolder() / ("COM" + std::to_string(com));
  if (!p->Make(error)) return nullptr;
  return p;
}

bool PtyLink::Make(std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slave_ = name;
  // Raw mode on the slave side from the start: no echo of what the system writes, no line-end
  // translation of binary packets. Opening and closing it once also makes the master report
  // "no reader" until the system opens the port.
  int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) return fail("open slave");
  termios t{};
  if (::tcgetattr(s, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    ::tcsetattr(s, TCSANOW, &t);
  }
  ::close(s);

  std::error_code ec;
  std::filesystem::create_directories(link_.parent_path(), ec);
  auto st = std::filesystem::symlink_status(link_, ec);
  if (std::filesystem::exists(st) || std::filesystem::is_symlink(st)) {
    // Only a stale link (its device gone) is replaced: a live one belongs to a real device or
    // to another simulator.
    if (!std::filesystem::is_symlink(st) || std::filesystem::exists(link_, ec)) {
      errno = EEXIST;
      return fail(link_.string() + " is in use");
    }
    std::filesystem::remove(link_, ec);
  }
  std::filesystem::create_symlink(slave_, link_, ec);
  if (ec) {
    errno = ec.value();
    return fail("symlink " + link_.string());
  }
  return true;
}

PtyLink::~PtyLink() {
  RemoveLink();
  if (master_ >= 0) ::close(master_);
}

void PtyLink::RemoveLink() {
  std::error_code ec;
  // Only our own link: another simulator may have taken the name meanwhile.
  auto target = std::filesystem::read_symlink(link_, ec);
  if (!ec && target == slave_) std::filesystem::remove(link_, ec);
}

bool PtyLink::ReaderPresent() const {
  if (master_ < 0) return false;
  pollfd p{master_, POLLOUT, 0};
  if (::poll(&p, 1, 0) < 0) return false;
  return !(p.revents & POLLHUP);
}

void PtyLink::HangUp() {
  RemoveLink();
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PtyLink::Recreate(std::string* error) {
  if (master_ >= 0) HangUp();
  return Make(error);
}

void PtyLink::FlushOutput() {
  if (master_ >= 0) ::tcflush(master_, TCOFLUSH);
}

}  // namespace sim

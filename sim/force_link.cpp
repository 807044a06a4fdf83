#include "sim/force_link.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
constexpr int kLine = 24;  // "%22.6f\n" and a terminator
}

ForceFile::~ForceFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ForceFile::OpenWriter(const std::string& path, std::string* error) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  Write(0);
  return true;
}

bool ForceFile::OpenReader(const std::string& path, std::string* error) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void ForceFile::Write(double force) {
  if (fd_ < 0) return;
  char line[kLine + 8];
  std::snprintf(line, sizeof line, "%22.6f\n", force);
  // One write of one line at offset 0: a reader sees the old or the new value.
  (void)!::pwrite(fd_, line, 23, 0);
}

double ForceFile::Read() const {
  if (fd_ < 0) return 0;
  char line[kLine] = {};
  if (::pread(fd_, line, 23, 0) != 23) return 0;
  return std::strtod(line, nullptr);
}

}  // namespace sim

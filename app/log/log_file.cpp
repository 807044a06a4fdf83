#include "app/log/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/log/log_format.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace msglog {

namespace {

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// LF-ended lines as they lie on disk (CR LF).
std::string ToDisk(std::string_view lf) {
  std::string out;
  out.reserve(lf.size() + 64);
  for (char c : lf) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace

void LogFileWriter::SetPath(std::string_view winPath, bool force) {
  if (winPath == path_ && !force) return;
  path_ = Text1251(winPath);
  host_ = path_.empty() ? std::filesystem::path() : winpath::Resolve(path_);
  known_ = false;
}

void LogFileWriter::NoteRefusal() {
  // The log cannot report into itself: standard error, once per path.
  if (errno != EINVAL || refusalNoted_ == path_) return;
  refusalNoted_ = path_;
  std::fprintf(stderr, "tacmon: log file '%s' is not a regular file; messages stay out of it\n",
               Cp1251ToUtf8(path_).c_str());
}

void LogFileWriter::Remember(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    known_ = false;
    return;
  }
  size_ = st.st_size;
  ino_ = st.st_ino;
  mtime_ = st.st_mtim;
  known_ = true;
}

bool LogFileWriter::Refresh() {
  struct stat st {};
  if (::stat(host_.c_str(), &st) != 0) {
    // No file: it starts empty.
    lineEnds_.clear();
    size_ = -1;
    known_ = false;
    return true;
  }
  if (known_ && st.st_size == size_ && st.st_ino == ino_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
      st.st_mtim.tv_nsec == mtime_.tv_nsec)
    return true;
  int fd = OpenRegularFile(host_, O_RDONLY);
  if (fd < 0) {
    NoteRefusal();
    return false;
  }
  lineEnds_.clear();
  char buf[65536];
  int64_t off = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (const char* p = buf; (p = static_cast<const char*>(std::memchr(p, '\n', buf + n - p)));
         ++p)
      lineEnds_.push_back(off + (p - buf) + 1);
    off += n;
  }
  Remember(fd);
  ::close(fd);
  return true;
}

int LogFileWriter::Cut() {
  const long count = static_cast<long>(lineEnds_.size());
  const long skip = count - kFileLinesKept;  // the lines with index <= count - 10000
  const int64_t from = lineEnds_[static_cast<size_t>(skip - 1)];
  const Text1251 tempPath = path_ + "__";
  const auto tempHost = winpath::Resolve(tempPath);
  int in = OpenRegularFile(host_, O_RDONLY);
  if (in < 0) return -1;
  int out = ::open(tempHost.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return -1;
  }
  bool ok = true;
  off64_t inOff = from;
  for (;;) {
    ssize_t n = ::copy_file_range(in, &inOff, out, nullptr, 1 << 20, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      // Filesystems without copy_file_range: copy through a buffer.
      char buf[65536];
      ssize_t r;
      while ((r = ::pread(in, buf, sizeof buf, inOff)) > 0) {
        if (!WriteAll(out, buf, static_cast<size_t>(r))) {
          ok = false;
          break;
        }
        inOff += r;
      }
      if (r < 0) ok = false;
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok || ::rename(tempHost.c_str(), host_.c_str()) != 0) {
    ::unlink(tempHost.c_str());
    known_ = false;
    return -1;
  }
  lineEnds_.erase(lineEnds_.begin(), lineEnds_.begin() + skip);
  for (auto& e : lineEnds_) e -= from;
  struct stat st {};
  if (::stat(host_.c_str(), &st) == 0) {
    size_ = st.st_size;
    ino_ = st.st_ino;
    mtime_ = st.st_mtim;
    known_ = true;
  } else {
    known_ = false;
  }
  return 0;
}

int LogFileWriter::AppendRaw(std::string_view lfLines) {
  if (host_.empty()) return -1;
  if (!Refresh()) return -1;
  const std::string disk = ToDisk(lfLines);
  int fd = OpenRegularFile(host_, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd < 0) {
    known_ = false;
    return -1;
  }
  struct stat before {};
  ::fstat(fd, &before);
  if (!known_ && before.st_size != 0) {
    // The file appeared between the look and the open: read it again next time.
    ::close(fd);
    if (!Refresh()) return -1;
    fd = OpenRegularFile(host_, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return -1;
    ::fstat(fd, &before);
  }
  const int64_t base = before.st_size;
  const bool ok = WriteAll(fd, disk.data(), disk.size());
  if (ok) {
    for (size_t i = 0; i < disk.size(); ++i)
      if (disk[i] == '\n') lineEnds_.push_back(base + static_cast<int64_t>(i) + 1);
    Remember(fd);
  } else {
    known_ = false;
  }
  if (::close(fd) != 0) {
    known_ = false;
    return -1;
  }
  return ok ? 0 : -1;
}

int LogFileWriter::AppendLines(std::string_view lfLines) {
  if (host_.empty()) return -1;
  if (!Refresh()) return -1;
  if (lineEnds_.size() > static_cast<size_t>(kFileLineLimit)) Cut();
  return AppendRaw(lfLines);
}

long LogFileWriter::LineCount() {
  if (host_.empty() || !Refresh()) return -1;
  return static_cast<long>(lineEnds_.size());
}

bool LogFileWriter::ReadPieces(std::vector<Text1251>& pieces) {
  if (path_.empty()) return false;
  // Quiet: a report from here would come back into the log that is reading its file.
  File f;
  if (!f.Open(path_, "r", kLogFileMaxBytes, /*quiet=*/true)) {
    NoteRefusal();
    return false;
  }
  pieces.clear();
  char buf[kReloadPiece];
  while (f.Gets(buf, sizeof buf)) {
    size_t n = std::strlen(buf);
    if (n && buf[n - 1] == '\n') --n;
    pieces.emplace_back(buf, n);
  }
  return true;
}

void LogFileWriter::Remove() {
  if (!host_.empty()) ::unlink(host_.c_str());
  lineEnds_.clear();
  known_ = false;
}

}  // namespace msglog

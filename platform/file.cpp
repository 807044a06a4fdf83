#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/paths.h"
#include "platform/report.h"

namespace {

// open(2) flags of an fopen mode without its 'b' or 't'; -1 for an unknown mode.
int OpenFlags(const std::string& m) {
  if (m.empty()) return -1;
  const bool plus = m.find('+') != std::string::npos;
  switch (m[0]) {
    case 'r':
      return plus ? O_RDWR : O_RDONLY;
    case 'w':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
      return -1;
  }
}

// Something other than a file or a folder stands at the path (a FIFO, device or socket).
bool IsSpecialFile(const std::filesystem::path& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

void ReportNotRegular(std::string_view winPath) {
  AddLogMessageF("File '%.*s' is not a regular file; not opened", static_cast<int>(winPath.size()),
                 winPath.data());
}

void ReportTooLarge(std::string_view winPath, int64_t maxBytes) {
  AddLogMessageF("File '%.*s' is larger than %lld bytes; not read",
                 static_cast<int>(winPath.size()), winPath.data(),
                 static_cast<long long>(maxBytes));
}

}  // namespace

int OpenRegularFile(const std::filesystem::path& hostPath, int flags, mode_t mode) {
  // Non-blocking, so that opening a FIFO returns at once; the type is checked on the open
  // descriptor, so nothing can be swapped in between.
  int fd = ::open(hostPath.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

File::~File() { Close(); }

File::File(File&& o) noexcept : f_(o.f_), text_(o.text_), failed_(o.failed_), pending_(o.pending_) {
  o.f_ = nullptr;
}

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    Close();
    f_ = o.f_;
    text_ = o.text_;
    failed_ = o.failed_;
    pending_ = o.pending_;
    o.f_ = nullptr;
  }
  return *this;
}

bool File::Open(std::string_view winPath, const char* mode, int64_t maxBytes, bool quiet) {
  Close();
  failed_ = false;
  refused_ = false;
  pending_ = -2;
  std::string m;
  text_ = true;
  for (const char* c = mode; *c; ++c) {
    if (*c == 'b') text_ = false;
    else if (*c != 't') m.push_back(*c);
  }
  const int flags = OpenFlags(m);
  if (flags < 0) return false;
  m.push_back('b');
  auto host = winpath::Resolve(winPath);
  // A folder is no file, as on Windows: refused without a report.
  int fd = OpenRegularFile(host, flags);
  if (fd < 0) {
    refused_ = IsSpecialFile(host);
    if (refused_ && !quiet) ReportNotRegular(winPath);
    return false;
  }
  if (m[0] == 'r') {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > maxBytes) {
      ::close(fd);
      refused_ = true;
      if (!quiet) ReportTooLarge(winPath, maxBytes);
      return false;
    }
  }
  f_ = ::fdopen(fd, m.c_str());
  if (!f_) ::close(fd);
  return f_ != nullptr;
}

size_t File::Write(const void* data, size_t size) {
  if (!f_) return 0;
  pending_ = -2;
  const char* p = static_cast<const char*>(data);
  if (!text_) {
    size_t n = std::fwrite(p, 1, size, f_);
    if (n != size) failed_ = true;
    return n;
  }
  size_t done = 0;
  while (done < size) {
    const void* nl = std::memchr(p + done, '\n', size - done);
    size_t run = nl ? static_cast<const char*>(nl) - (p + done) : size - done;
    if (run && std::fwrite(p + done, 1, run, f_) != run) {
      failed_ = true;
      return done;
    }
    done += run;
    if (nl) {
      if (std::fwrite("\r\n", 1, 2, f_) != 2) {
        failed_ = true;
        return done;
      }
      ++done;
    }
  }
  return done;
}

int File::VPrintf(const char* fmt, va_list args) {
  char small[1024];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) {
    failed_ = true;
    return -1;
  }
  if (static_cast<size_t>(n) < sizeof small) return Write(small, n) == size_t(n) ? n : -1;
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), fmt, args);
  return Write(big.data(), n) == size_t(n) ? n : -1;
}

int File::Printf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = VPrintf(fmt, args);
  va_end(args);
  return n;
}

int File::Getc() {
  if (!f_) return EOF;
  int c;
  if (pending_ != -2) {
    c = pending_;
    pending_ = -2;
  } else {
    c = std::getc(f_);
  }
  if (text_ && c == '\r') {
    int next = std::getc(f_);
    if (next == '\n') return '\n';
    pending_ = next;  // a lone CR stays
  }
  return c;
}

size_t File::Read(void* data, size_t size) {
  if (!f_) return 0;
  if (!text_) return std::fread(data, 1, size, f_);
  char* p = static_cast<char*>(data);
  size_t n = 0;
  while (n < size) {
    int c = Getc();
    if (c == EOF) break;
    p[n++] = static_cast<char>(c);
  }
  return n;
}

char* File::Gets(char* buf, int n) {
  if (!f_ || n <= 0) return nullptr;
  int i = 0;
  while (i < n - 1) {
    int c = Getc();
    if (c == EOF) break;
    buf[i++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (i == 0) return nullptr;
  buf[i] = 0;
  return buf;
}

bool File::GetLine(std::string& line) {
  line.clear();
  if (!f_) return false;
  int c;
  bool any = false;
  while ((c = Getc()) != EOF) {
    any = true;
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

bool File::Seek(long offset, int whence) {
  pending_ = -2;
  return f_ && std::fseek(f_, offset, whence) == 0;
}

long File::Tell() {
  if (!f_) return -1;
  long t = std::ftell(f_);
  return pending_ != -2 && t > 0 ? t - 1 : t;
}

bool File::Eof() {
  if (!f_) return true;
  if (pending_ != -2) return pending_ == EOF;
  int c = std::getc(f_);
  if (c == EOF) return true;
  std::ungetc(c, f_);
  return false;
}

int64_t File::Size() {
  struct stat st {};
  if (!f_ || ::fstat(::fileno(f_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool File::Flush() {
  if (!f_) return false;
  if (std::fflush(f_) != 0) failed_ = true;
  return !failed_;
}

int File::Close() {
  if (!f_) return failed_ ? -1 : 0;
  if (std::fflush(f_) != 0 || std::ferror(f_)) failed_ = true;
  if (std::fclose(f_) != 0) failed_ = true;
  f_ = nullptr;
  return failed_ ? -1 : 0;
}

SafeFile::~SafeFile() { Abandon(); }

bool SafeFile::OpenReplace(std::string_view winPath, const char* mode) {
  Abandon();
  static std::atomic<unsigned> counter{0};
  target_ = winpath::Resolve(winPath).string();
  temp_ = target_ + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  failed_ = false;
  pending_ = -2;
  text_ = std::strchr(mode, 'b') == nullptr;
  int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    temp_.clear();
    return false;
  }
  f_ = ::fdopen(fd, "wb");
  if (!f_) {
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  return true;
}

int SafeFile::Commit() {
  if (!f_ || temp_.empty()) return -1;
  if (std::fflush(f_) != 0 || std::ferror(f_)) failed_ = true;
  if (!failed_ && ::fdatasync(::fileno(f_)) != 0) failed_ = true;
  if (std::fclose(f_) != 0) failed_ = true;
  f_ = nullptr;
  if (!failed_ && std::rename(temp_.c_str(), target_.c_str()) != 0) failed_ = true;
  if (failed_) ::unlink(temp_.c_str());
  temp_.clear();
  return failed_ ? -1 : 0;
}

void SafeFile::Abandon() {
  if (f_) {
    std::fclose(f_);
    f_ = nullptr;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool ReadWholeFile(std::string_view winPath, std::string& out, bool textMode, int64_t maxBytes,
                   bool quiet) {
  out.clear();
  File f;
  if (!f.Open(winPath, textMode ? "rt" : "rb", maxBytes, quiet)) return false;
  // The file may grow while it is read: never more than the bound.
  const size_t limit = static_cast<size_t>(maxBytes);
  bool ok = true;
  if (!textMode) {
    char buf[65536];
    size_t n;
    while ((n = f.Read(buf, sizeof buf)) > 0) {
      out.append(buf, n);
      if (out.size() > limit) break;
    }
    ok = !std::ferror(f.Raw());
  } else {
    int c;
    while (out.size() <= limit && (c = f.Getc()) != EOF) out.push_back(static_cast<char>(c));
    ok = !std::ferror(f.Raw());
  }
  if (ok && out.size() > limit) {
    if (!quiet) ReportTooLarge(winPath, maxBytes);
    ok = false;
  }
  if (!ok) out.clear();
  return ok;
}

int WriteWholeFile(std::string_view winPath, std::string_view data, bool textMode) {
  SafeFile f(winPath, textMode ? "wt" : "wb");
  if (!f) return -1;
  if (f.Write(data.data(), data.size()) != data.size()) return -1;
  return f.Commit();
}

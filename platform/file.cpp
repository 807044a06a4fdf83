#include "platform/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>

#include "platform/paths.h"

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

bool File::Open(std::string_view winPath, const char* mode) {
  Close();
  failed_ = false;
  pending_ = -2;
  std::string m;
  text_ = true;
  for (const char* c = mode; *c; ++c) {
    if (*c == 'b') text_ = false;
    else if (*c != 't') m.push_back(*c);
  }
  m.push_back('b');
  auto host = winpath::Resolve(winPath);
  std::error_code ec;
  if (std::filesystem::is_directory(host, ec)) return false;  // as on Windows: a folder is no file
  f_ = std::fopen(host.c_str(), m.c_str());
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

bool ReadWholeFile(std::string_view winPath, std::string& out, bool textMode) {
  out.clear();
  File f(winPath, textMode ? "rt" : "rb");
  if (!f) return false;
  if (!textMode) {
    char buf[65536];
    size_t n;
    while ((n = f.Read(buf, sizeof buf)) > 0) out.append(buf, n);
    return !std::ferror(f.Raw());
  }
  int c;
  while ((c = f.Getc()) != EOF) out.push_back(static_cast<char>(c));
  return !std::ferror(f.Raw());
}

int WriteWholeFile(std::string_view winPath, std::string_view data, bool textMode) {
  SafeFile f(winPath, textMode ? "wt" : "wb");
  if (!f) return -1;
  if (f.Write(data.data(), data.size()) != data.size()) return -1;
  return f.Commit();
}

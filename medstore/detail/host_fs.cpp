#include "medstore/detail/host_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace medstore::detail {
namespace {

// Unicode code points of the bytes 0x80..0xBF of code page 1251; 0xC0..0xFF are U+0410..U+044F.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

int ByteOf(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
  for (int i = 0; i < 64; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : std::string("/tmp");
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

// Length of root (given without its separator, lower case) at the start of p when it is
// followed by a separator or the end; else 0.
size_t RootPrefix(std::string_view p, std::string_view root) {
  if (p.size() < root.size()) return 0;
  for (size_t i = 0; i < root.size(); ++i) {
    char a = p[i], b = root[i];
    if (IsSeparator(a) && IsSeparator(b)) continue;
    if (Cp1251Lower(static_cast<unsigned char>(a)) != static_cast<unsigned char>(b)) return 0;
  }
  if (p.size() == root.size() || IsSeparator(p[root.size()])) return root.size();
  return 0;
}

std::vector<std::string> Components(std::string_view p) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < p.size()) {
    size_t j = i;
    while (j < p.size() && !IsSeparator(p[j])) ++j;
    std::string_view c = p.substr(i, j - i);
    if (c != "." && c != "..")
      while (!c.empty() && (c.back() == ' ' || c.back() == '.')) c.remove_suffix(1);
    if (!c.empty()) out.emplace_back(c);
    i = j + 1;
  }
  return out;
}

std::string Join(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + "/" + name;
}

std::string ParentOf(const std::string& p) {
  size_t i = p.find_last_of('/');
  if (i == std::string::npos) return p;
  if (i == 0) return "/";
  return p.substr(0, i);
}

std::string Walk(std::string base, const std::vector<std::string>& parts) {
  bool exists = true;
  for (const auto& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      base = ParentOf(base);
      continue;
    }
    std::string name = Cp1251ToUtf8(part);
    if (exists) {
      std::string exact = Join(base, name);
      struct stat st;
      if (::lstat(exact.c_str(), &st) == 0) {
        base = std::move(exact);
        continue;
      }
      std::string found = FindNoCase(base, name);
      if (!found.empty()) {
        base = Join(base, found);
        continue;
      }
      exists = false;
    }
    base = Join(base, name);
  }
  return base;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto b = static_cast<unsigned char>(ch);
    char32_t cp = b < 0x80    ? char32_t(b)
                  : b >= 0xC0 ? char32_t(0x0410 + (b - 0xC0))
                              : char32_t(kHigh[b - 0x80]);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string Utf8ToCp1251(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char>(b0));
      ++i;
      continue;
    }
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
    if (extra < 0) return std::string(s);
    char32_t cp = b0 & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= s.size()) return std::string(s);
      auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return std::string(s);
      cp = (cp << 6) | (b & 0x3F);
    }
    i += extra + 1;
    int c = ByteOf(cp);
    out.push_back(c < 0 ? '?' : static_cast<char>(c));
  }
  return out;
}

unsigned char Cp1251Lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDF) return c + 32;
  switch (c) {
    case 0xA8:
      return 0xB8;
    case 0xAA:
      return 0xBA;
    case 0xAF:
      return 0xBF;
    case 0xB2:
      return 0xB3;
    case 0xA1:
      return 0xA2;
    case 0xA3:
      return 0xBC;
    case 0xA5:
      return 0xB4;
    case 0xBD:
      return 0xBE;
    case 0x80:
      return 0x90;
    case 0x81:
      return 0x83;
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8D:
      return 0x9D;
    case 0x8E:
      return 0x9E;
    case 0x8F:
      return 0x9F;
    default:
      return c;
  }
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Cp1251Lower(static_cast<unsigned char>(a[i])) !=
        Cp1251Lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string ResolvePath(std::string_view p) {
  if (size_t n = RootPrefix(p, "c:\\tacmondata"))
    return Walk(EnvOr("TACMON_DATA", HomeFolder() + "/TacmonData"), Components(p.substr(n)));
  if (size_t n = RootPrefix(p, "c:\\tacmon"))
    return Walk(EnvOr("TACMON_ROOT", HomeFolder() + "/Tacmon"), Components(p.substr(n)));
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0])))
    return Walk("/", Components(p.substr(2)));  // another drive: the host's root
  if (!p.empty() && IsSeparator(p[0])) return Walk("/", Components(p));
  char cwd[4096];
  std::string base = ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".");
  return Walk(base, Components(p));
}

bool ListFolderAt(int fd, std::vector<Entry>& out) {
  // getdents64 straight into a buffer: opening a database lists every record folder, and this
  // spares the stream set-up of opendir.
  alignas(8) char buf[32768];
  for (;;) {
    ssize_t n = ::getdents64(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t at = 0; at < n;) {
      auto* e = reinterpret_cast<dirent64*>(buf + at);
      at += e->d_reclen;
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      Entry entry;
      entry.name = name;
      if (e->d_type == DT_DIR) {
        entry.isDirectory = true;
      } else if (e->d_type == DT_UNKNOWN) {
        struct stat st;
        entry.isDirectory = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      out.push_back(std::move(entry));
    }
  }
}

bool ListFolder(const std::string& folder, std::vector<Entry>& out) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ListFolderAt(fd, out);
  ::close(fd);
  return ok;
}

std::string FindNoCase(const std::string& folder, const std::string& name) {
  struct stat st;
  if (::lstat(Join(folder, name).c_str(), &st) == 0) return name;
  std::vector<Entry> entries;
  if (!ListFolder(folder.empty() ? std::string(".") : folder, entries)) return {};
  std::string want = Utf8ToCp1251(name);
  for (const auto& e : entries)
    if (e.name == name) return e.name;
  for (const auto& e : entries)
    if (EqualNoCase(Utf8ToCp1251(e.name), want)) return e.name;
  return {};
}

ReadResult ReadWholeAt(int dirFd, const char* name, std::string& out, size_t maxSize) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return ReadResult::kFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::kNotRegular;
  }
  if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxSize) {
    ::close(fd);
    return ReadResult::kTooLarge;
  }
  out.clear();
  // One byte more than the size: a read that does not fill the buffer has reached the end. A
  // file that grows while it is read is cut at the bound.
  out.resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  for (;;) {
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadResult::kFailed;
    }
    got += static_cast<size_t>(n);
    if (n == 0 || got < out.size()) break;
    if (out.size() > maxSize) {
      ::close(fd);
      return ReadResult::kTooLarge;
    }
    out.resize(std::min(out.size() * 2, maxSize + 1));
  }
  ::close(fd);
  out.resize(got);
  return ReadResult::kDone;
}

ReadResult ReadWhole(const std::string& path, std::string& out, size_t maxSize) {
  return ReadWholeAt(AT_FDCWD, path.c_str(), out, maxSize);
}

bool SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

bool WriteReplacing(const std::string& folder, const std::string& name, std::string_view data) {
  std::string target = Join(folder, name);
  // The leading dot keeps a left-over temp file out of the additional files of a record.
  std::string temp = Join(folder, "." + name + ".tmp" + std::to_string(::getpid()) + "_" +
                                      std::to_string(g_tempCounter++));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fdatasync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename is durable only once the folder is synced.
  return SyncFolder(folder.empty() ? std::string(".") : folder);
}

MakeDirResult MakeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return MakeDirResult::kCreated;
  if (errno != EEXIST) return MakeDirResult::kFailed;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? MakeDirResult::kExists
                                                               : MakeDirResult::kFailed;
}

bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

int RemoveFileIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
  return -1;
}

}  // namespace medstore::detail

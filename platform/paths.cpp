#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace winpath {
namespace {

struct Roots {
  fs::path data;
  fs::path database;
  fs::path ports;
};

std::mutex g_rootsLock;
bool g_loaded = false;
Roots g_roots;

fs::path HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? fs::path(home) : fs::path("/tmp");
}

fs::path EnvOr(const char* name, const fs::path& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? fs::path(v) : fallback;
}

const Roots& LoadedRoots() {
  std::lock_guard lock(g_rootsLock);
  if (!g_loaded) {
    g_roots.data = EnvOr("TACMON_ROOT", HomeFolder() / "Tacmon");
    g_roots.database = EnvOr("TACMON_DATA", HomeFolder() / "TacmonData");
    g_roots.ports = EnvOr("TACMON_PORTS", g_roots.data / "ports");
    g_loaded = true;
  }
  return g_roots;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of a root prefix ("c:\tacmon" followed by a separator or the end), else 0.
size_t RootPrefix(std::string_view p, std::string_view root) {
  // root is given without its trailing separator, e.g. "c:\tacmon".
  if (p.size() < root.size()) return 0;
  for (size_t i = 0; i < root.size(); ++i) {
    char a = p[i], b = root[i];
    if (IsSeparator(a) && IsSeparator(b)) continue;
    if (Cp1251Lower(static_cast<unsigned char>(a)) != Cp1251Lower(static_cast<unsigned char>(b)))
      return 0;
  }
  if (p.size() == root.size()) return root.size();
  return IsSeparator(p[root.size()]) ? root.size() : 0;
}

// Finds an existing entry of dir whose name equals want ignoring case; empty when none.
std::string FindNoCase(const fs::path& dir, const std::string& wantUtf8) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) return {};
  Text1251 want = Utf8ToCp1251(wantUtf8);
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (Cp1251EqualNoCase(Utf8ToCp1251(name), want)) return name;
  }
  return {};
}

fs::path Walk(fs::path base, const std::vector<Text1251>& parts) {
  bool exists = true;
  for (const auto& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      base = base.parent_path();
      continue;
    }
    std::string name = Cp1251ToUtf8(part);
    if (exists) {
      struct stat st;
      fs::path exact = base / name;
      if (::lstat(exact.c_str(), &st) == 0) {
        base = exact;
        continue;
      }
      std::string found = FindNoCase(base, name);
      if (!found.empty()) {
        base /= found;
        continue;
      }
      exists = false;
    }
    base /= name;
  }
  return base;
}

}  // namespace

fs::path HostDataRoot() { return LoadedRoots().data; }
fs::path HostDatabaseRoot() { return LoadedRoots().database; }
fs::path PortsFolder() { return LoadedRoots().ports; }

void ReloadRoots() {
  std::lock_guard lock(g_rootsLock);
  g_loaded = false;
}

std::vector<Text1251> Components(std::string_view p) {
  std::vector<Text1251> out;
  size_t i = 0;
  while (i < p.size()) {
    size_t j = i;
    while (j < p.size() && !IsSeparator(p[j])) ++j;
    std::string_view c = p.substr(i, j - i);
    if (c != "." && c != "..") {
      while (!c.empty() && (c.back() == ' ' || c.back() == '.')) c.remove_suffix(1);
    }
    if (!c.empty()) out.emplace_back(c);
    i = j + 1;
  }
  return out;
}

fs::path Resolve(std::string_view p) {
  const Roots& roots = LoadedRoots();
  if (size_t n = RootPrefix(p, "c:\\tacmondata"))
    return Walk(roots.database, Components(p.substr(n)));
  if (size_t n = RootPrefix(p, "c:\\tacmon")) return Walk(roots.data, Components(p.substr(n)));
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0])))
    return Walk("/", Components(p.substr(2)));  // another drive: the host's root
  if (!p.empty() && IsSeparator(p[0])) return Walk("/", Components(p));
  return Walk(fs::current_path(), Components(p));
}

bool WildcardMatch(std::string_view pat, std::string_view name) {
  size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  auto eq = [](char a, char b) {
    return Cp1251Lower(static_cast<unsigned char>(a)) == Cp1251Lower(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == '?' || (pat[p] != '*' && eq(pat[p], name[n])))) {
      ++p;
      ++n;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  // "*.*" matches names without a dot too, as on Windows.
  if (p + 2 == pat.size() && pat.substr(p) == ".*") return true;
  return p == pat.size();
}

Text1251 FileNamePart(std::string_view p) {
  size_t i = p.find_last_of("\\/");
  return Text1251(i == std::string_view::npos ? p : p.substr(i + 1));
}

Text1251 FolderPart(std::string_view p) {
  size_t i = p.find_last_of("\\/");
  return i == std::string_view::npos ? Text1251() : Text1251(p.substr(0, i + 1));
}

}  // namespace winpath

namespace fsw {

using winpath::Resolve;

bool FileExists(std::string_view p) {
  std::error_code ec;
  return fs::exists(Resolve(p), ec);
}

bool IsDirectory(std::string_view p) {
  std::error_code ec;
  return fs::is_directory(Resolve(p), ec);
}

bool MakeDirectory(std::string_view p) { return ::mkdir(Resolve(p).c_str(), 0777) == 0; }

bool MakeDirectories(std::string_view p) {
  std::error_code ec;
  fs::path host = Resolve(p);
  fs::create_directories(host, ec);
  return fs::is_directory(host, ec);
}

bool RemoveFile(std::string_view p) {
  fs::path host = Resolve(p);
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(host.c_str()) == 0;
}

bool RemoveTree(std::string_view p) {
  std::error_code ec;
  fs::path host = Resolve(p);
  // remove_all removes symlinks themselves and does not descend into them.
  fs::remove_all(host, ec);
  return !ec && !fs::exists(fs::symlink_status(host, ec));
}

bool CopyFileTo(std::string_view from, std::string_view to, bool failIfExists) {
  std::error_code ec;
  fs::path src = Resolve(from), dst = Resolve(to);
  if (!fs::is_regular_file(src, ec)) return false;
  if (failIfExists && fs::exists(dst, ec)) return false;
  // Copy beside the target and rename, so a failed copy never leaves half a file in its place.
  fs::path tmp = dst;
  tmp += ".copy~" + std::to_string(::getpid());
  if (!fs::copy_file(src, tmp, fs::copy_options::overwrite_existing, ec)) {
    fs::remove(tmp, ec);
    return false;
  }
  if (failIfExists) {
    if (::link(tmp.c_str(), dst.c_str()) != 0) {
      fs::remove(tmp, ec);
      return false;
    }
    fs::remove(tmp, ec);
    return true;
  }
  fs::rename(tmp, dst, ec);
  if (ec) fs::remove(tmp, ec);
  return !ec;
}

bool MoveFileTo(std::string_view from, std::string_view to) {
  std::error_code ec;
  fs::rename(Resolve(from), Resolve(to), ec);
  return !ec;
}

int64_t FileSize(std::string_view p) {
  std::error_code ec;
  auto n = fs::file_size(Resolve(p), ec);
  return ec ? -1 : static_cast<int64_t>(n);
}

std::vector<DirEntry> ListDirectory(std::string_view pattern) {
  std::vector<DirEntry> out;
  Text1251 folder = winpath::FolderPart(pattern);
  Text1251 mask = winpath::FileNamePart(pattern);
  if (mask.empty()) mask = "*";
  std::error_code ec;
  fs::path dir = folder.empty() ? fs::current_path() : Resolve(folder);
  fs::directory_iterator it(dir, ec), end;
  if (ec) return out;
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    Text1251 name = Utf8ToCp1251(it->path().filename().string());
    if (!winpath::WildcardMatch(mask, name)) continue;
    DirEntry e;
    e.name = name;
    struct stat st;
    if (::stat(it->path().c_str(), &st) == 0) {
      e.isDirectory = S_ISDIR(st.st_mode);
      e.size = e.isDirectory ? 0 : static_cast<int64_t>(st.st_size);
      e.modified = st.st_mtime;
    }
    out.push_back(std::move(e));
  }
  std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

}  // namespace fsw

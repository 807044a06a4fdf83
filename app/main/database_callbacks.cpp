#include "database_callbacks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform/report.h"

namespace fs = std::filesystem;

namespace {

// Removes everything inside the open folder dirFd (which it closes), never following a link:
// entries are examined with lstat semantics and folders are opened with O_NOFOLLOW.
bool EmptyFolder(int dirFd) {
  DIR* d = ::fdopendir(dirFd);
  if (!d) {
    ::close(dirFd);
    return false;
  }
  bool ok = true;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      break;
    }
    if (S_ISDIR(st.st_mode)) {
      int sub = ::openat(::dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0 || !EmptyFolder(sub) || ::unlinkat(::dirfd(d), name.c_str(), AT_REMOVEDIR) != 0) {
        ok = false;
        break;
      }
    } else if (::unlinkat(::dirfd(d), name.c_str(), 0) != 0) {
      ok = false;
      break;
    }
  }
  ::closedir(d);
  return ok;
}

// Removes host path p whose parent folders are known to be real folders (no links).
bool RemoveNoFollow(const fs::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(p.c_str()) == 0;  // a file, or a link itself
  int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || !EmptyFolder(fd)) return false;
  return ::rmdir(p.c_str()) == 0;
}

int Refuse(const char* why, std::string_view path);
int RemoveBelow(std::string_view path, std::string_view winRoot, int minDepth);

}  // namespace

int WildcardMatch(const char* pattern, const char* name) {
  if (!pattern || !name) return 0;
  return winpath::WildcardMatch(pattern, name) ? 1 : 0;
}

int DeletePathTreeWithin(std::string_view path, std::string_view winRoot) {
  return RemoveBelow(path, winRoot, 1);
}

int DeletePathTree(const char* path) {
  if (!path) return -1;
  return RemoveBelow(path, winpath::kDatabaseRoot, 2);  // never a database folder itself
}

namespace {

int Refuse(const char* why, std::string_view path) {
  AddLogMessageF("(3693827)Папка не удалена (%s): %.*s"_cp, why, static_cast<int>(path.size()),
                 path.data());
  return -1;
}

// Removes path when it lies at least minDepth levels below winRoot and no folder on the way
// down from the root is a link.
int RemoveBelow(std::string_view path, std::string_view winRoot, int minDepth) {
  try {
    fs::path root = winpath::Resolve(winRoot).lexically_normal();
    fs::path host = winpath::Resolve(path).lexically_normal();
    if (!root.has_filename()) root = root.parent_path();  // no trailing separator
    if (!host.has_filename()) host = host.parent_path();
    const fs::path rel = host.lexically_relative(root);
    int depth = 0;
    for (const fs::path& part : rel) {
      if (part == ".." || part == "." || part.empty())
        return Refuse("вне разрешенной папки"_cp, path);
      ++depth;
    }
    if (rel.empty() || depth < minDepth) return Refuse("вне разрешенной папки"_cp, path);
    // Every folder on the way down must be a real folder: a link there would lead elsewhere.
    fs::path at = root;
    int i = 0;
    for (const fs::path& part : rel) {
      at /= part;
      if (++i == depth) break;
      struct stat st {};
      if (::lstat(at.c_str(), &st) != 0) return -1;  // nothing there to remove
      if (!S_ISDIR(st.st_mode)) return Refuse("путь через ссылку"_cp, path);
    }
    if (!RemoveNoFollow(host)) return -1;
    return 0;
  } catch (...) {
    AddLogMessage("FATAL EXCEPTION (3693826)");
    return -1;
  }
}

}  // namespace

// Database folders for the benchmarks that read medstore records: n record folders
// "<root>/<name>/<id>/<file>" (ids 1..n), written once and kept between runs; a marker file
// "<root>/<name>.complete" says a folder is whole.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// Writes text as the whole file; a benchmark without its fixture cannot go on.
inline void WriteFileOrAbort(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

// The folder, built when its marker is missing; make(id) gives record id's file text.
template <class Make>
std::string DatabaseFolder(const std::string& root, const std::string& name, int n,
                           const char* file, Make&& make) {
  const std::string dir = root + "/" + name;
  const std::string marker = dir + ".complete";
  if (access(marker.c_str(), F_OK) == 0) return dir;
  mkdir(root.c_str(), 0777);
  if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) std::abort();
  mkdir(dir.c_str(), 0777);
  for (int id = 1; id <= n; ++id) {
    const std::string rec = dir + "/" + std::to_string(id);
    mkdir(rec.c_str(), 0777);
    WriteFileOrAbort(rec + "/" + file, make(id));
  }
  WriteFileOrAbort(marker, "");
  return dir;
}

}  // namespace bench

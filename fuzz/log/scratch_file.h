// A scratch file for the log's fuzz targets: one temporary folder per process (removed at exit),
// where each input is written before the reader under test opens it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class FuzzScratchFile {
 public:
  explicit FuzzScratchFile(const char* name) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tacmon-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    dir_ = tmpl;
    path_ = (dir_ / name).string();
  }
  ~FuzzScratchFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  // Host path (the platform's path resolution passes it through unchanged).
  const std::string& Path() const { return path_; }
  void Write(const uint8_t* data, size_t size) const {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!f) std::abort();
  }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

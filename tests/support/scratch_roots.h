// Test fixture part: fresh data roots for one test. Sets TACMON_ROOT, TACMON_DATA and
// TACMON_PORTS to folders of a new temporary directory and removes it afterwards.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/paths.h"

class ScratchRoots {
 public:
  ScratchRoots() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tacmon-test-XXXXXX").string();
    char* dir = ::mkdtemp(tmpl.data());
    base_ = dir ? dir : tmpl;
    data_ = base_ / "Tacmon";
    database_ = base_ / "TacmonData";
    ports_ = base_ / "ports";
    std::filesystem::create_directories(data_);
    std::filesystem::create_directories(database_);
    std::filesystem::create_directories(ports_);
    ::setenv("TACMON_ROOT", data_.c_str(), 1);
    ::setenv("TACMON_DATA", database_.c_str(), 1);
    ::setenv("TACMON_PORTS", ports_.c_str(), 1);
    winpath::ReloadRoots();
  }
  ~ScratchRoots() {
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }
  ScratchRoots(const ScratchRoots&) = delete;
  ScratchRoots& operator=(const ScratchRoots&) = delete;

  const std::filesystem::path& base() const { return base_; }
  const std::filesystem::path& data() const { return data_; }          // the data root
  const std::filesystem::path& database() const { return database_; }  // the database root
  const std::filesystem::path& ports() const { return ports_; }

 private:
  std::filesystem::path base_, data_, database_, ports_;
};

// Whole file as bytes (no translation), empty when missing.
inline std::string ReadBytes(const std::filesystem::path& p) {
  std::string out;
  if (FILE* f = std::fopen(p.c_str(), "rb")) {
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  if (FILE* f = std::fopen(p.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

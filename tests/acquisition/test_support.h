// Scratch data roots for acquisition tests: a fresh temporary folder behind "c:\Tacmon\" and
// "c:\TacmonData\", removed when the fixture ends; LoggedScratchRoot also keeps the messages
// given to the message log.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/report.h"

class ScratchRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tacmon_acq_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    std::filesystem::create_directories(root_ / "data" / "pars");
    std::filesystem::create_directories(root_ / "data" / "DVP");
    std::filesystem::create_directories(root_ / "db");
    setenv("TACMON_ROOT", (root_ / "data").c_str(), 1);
    setenv("TACMON_DATA", (root_ / "db").c_str(), 1);
    setenv("TACMON_PORTS", (root_ / "ports").c_str(), 1);
    winpath::ReloadRoots();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  // Host path of a file below the data root.
  std::filesystem::path Host(const std::string& rel) const { return root_ / "data" / rel; }
  static std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static void Spit(const std::filesystem::path& p, const std::string& bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }

  std::filesystem::path root_;
};

class LoggedScratchRoot : public ScratchRoot {
 protected:
  void SetUp() override {
    ScratchRoot::SetUp();
    Log().clear();
    previous_ = SetLogSink([](const char* text) { Log().emplace_back(text); });
  }
  void TearDown() override {
    SetLogSink(previous_);
    ScratchRoot::TearDown();
  }
  static std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
  }
  LogSink previous_ = nullptr;
};

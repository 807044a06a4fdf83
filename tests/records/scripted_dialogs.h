// The fixture of the records dialog tests: a TestHost on fresh data roots and a dialog run with
// an automation script driving it, with its dumps and snapshots.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/ui/automation.h"
#include "tests/records/records_test_host.h"
#include "tests/ui/ui_env.h"

class ScriptedDialogs : public ::testing::Test {
 protected:
  // Runs the dialog with the script driving it; returns the dialog's answer.
  int Run(const std::string& script, const std::function<int()>& dialog) {
    const std::string path = (host_.roots().base() / "script.tacmon").string();
    std::ofstream(path) << script;
    EXPECT_TRUE(ui::automation::Start(path));
    int code = dialog();
    EXPECT_TRUE(uitest::Pump([] { return !ui::automation::Running(); }, 10000)) << script;
    EXPECT_EQ(ui::automation::ExitStatus(), 0) << script;
    return code;
  }
  // Where "dump NAME" of a script writes.
  std::string Dump(const char* name) { return (host_.roots().base() / name).string(); }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The script line that keeps a snapshot for a person to look at.
  static std::string Snapshot(const char* name) {
    std::filesystem::create_directories(TACMON_RECORDS_SNAPSHOTS);
    return std::string("snapshot ") + TACMON_RECORDS_SNAPSHOTS + "/" + name + "\n";
  }

  TestHost host_;
};

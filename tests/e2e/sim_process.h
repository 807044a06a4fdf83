// The end-to-end fixture with simulators: the scratch roots seen by the test too, the programs of
// tacmon's binary folder (tacprobe, tacdisplay, tacpush, ...) started on the scratch ports and
// ended with the test, and probe 5's passport they find in the registry.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/device_passport.h"
#include "e2e/tacmon_run.h"

extern char** environ;

namespace e2e {

constexpr const char* kProbeId = "0a1b2c3d4e5f";  // probe 5's device id

// tacprobe's arguments for probe 5 straight on COM<com> (no adapter): data format 1, no noise,
// quiet, pressing by script.
inline std::vector<std::string> ProbeArgs(int com, const std::string& script) {
  return {"--com", std::to_string(com), "--direct", "--format", "1",    "--noise",
          "0",     "--script",          script,     "--quiet",  "--id", kProbeId};
}

// Probe 5 as the registry holds it: device number 5, its id, data format 1.
inline DevicePassport ProbePassport() {
  DevicePassport p;
  p.deviceNumber = 5;
  ParseDeviceId(kProbeId, p.deviceId);
  p.format = 1;
  return p;
}

class SimRun : public TacmonRun {
 protected:
  void SetUp() override {
    TacmonRun::SetUp();
    UseScratchRoots();
    fs::create_directories(dir_ / "ports");
  }
  void TearDown() override {
    while (!children_.empty()) {
      pid_t pid = children_.front();
      Stop(pid);
    }
    TacmonRun::TearDown();
  }

  // Writes the passport as "DVP\probe5.dvp".
  void InstallProbePassport(const DevicePassport& p = ProbePassport()) {
    fs::create_directories(Root() / "DVP");
    ASSERT_EQ(WriteDvp("c:\\Tacmon\\DVP\\probe5.dvp", p), 0);
  }

  // Starts program of tacmon's binary folder with args, its standard output into out when
  // given; the test's end stops it at the latest.
  pid_t Spawn(const std::string& program, std::vector<std::string> args, const fs::path& out = {}) {
    const std::string exe = fs::path(TACMON_EXE).parent_path() / program;
    args.insert(args.begin(), exe);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out.empty())
      posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << exe;
    if (spawned != 0) return -1;
    children_.push_back(pid);
    return pid;
  }
  // Waits up to 5 s for the link of COM<com> in the ports folder.
  void WaitForLink(int com) {
    const fs::path link = dir_ / "ports" / ("COM" + std::to_string(com));
    for (int i = 0; i < 250 && !fs::is_symlink(fs::symlink_status(link)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(link))) << link;
  }
  // A simulator serving COM<com>: spawned, then waited for until its port link is there.
  pid_t StartOn(int com, const std::string& program, std::vector<std::string> args) {
    const pid_t pid = Spawn(program, std::move(args));
    if (pid > 0) WaitForLink(com);
    return pid;
  }
  // Ends a started program (SIGTERM) and reaps it; pid becomes -1.
  void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    WaitForEnd(pid);
    pid = -1;
  }
  // Waits for a started program to end; its wait status.
  int WaitForEnd(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    std::erase(children_, pid);
    return status;
  }

  // Probe 5 on COM3 (ProbeArgs) with further arguments, the one a test stops by StopProbe
  // before it reads what the run left.
  void StartProbe(const std::string& script, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = ProbeArgs(3, script);
    args.insert(args.end(), more.begin(), more.end());
    probe_ = StartOn(3, "tacprobe", std::move(args));
  }
  void StopProbe() { Stop(probe_); }

  pid_t probe_ = -1;
  std::vector<pid_t> children_;  // started and not yet reaped, in the order started
};

}  // namespace e2e

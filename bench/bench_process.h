// What the benchmarks that run whole programs share: their run length and starting a program
// with its output in a file.
#pragma once

#include <fcntl.h>
#include <spawn.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// $TACMON_BENCH_SECONDS, or fallback when unset or not a positive number.
inline int RunSeconds(int fallback = 60) {
  const char* env = std::getenv("TACMON_BENCH_SECONDS");
  return env && std::atoi(env) > 0 ? std::atoi(env) : fallback;
}

// Starts args[0] with args, its standard output and error going to out; -1 when it cannot start.
inline pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& out) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, copy[0].c_str(), &fa, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

}  // namespace bench

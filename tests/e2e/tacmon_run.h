// The end-to-end fixture: runs the real tacmon binary headless in a scratch folder with its own
// data roots, ports folder and automation script, and reads back what it left.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RunResult {
  int status = -1;  // exit status, or -1 when killed or not run
  std::string err;
};

class TacmonRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tacmon_e2eXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    // $TACMON_BIN when the environment gives it, else the binary this test was built with.
    const char* bin = std::getenv("TACMON_BIN");
    tacmon_ = bin && *bin ? fs::path(bin) / "tacmon" : fs::path(TACMON_EXE);
    ASSERT_TRUE(fs::exists(tacmon_)) << tacmon_;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Root() const { return dir_ / "root"; }
  fs::path Data() const { return dir_ / "data"; }

  // Runs tacmon in the scratch folder with the script and arguments given.
  RunResult Run(const std::string& script, std::vector<std::string> args = {}) {
    fs::path scriptPath = fs::path(TACMON_E2E_SCRIPTS) / script;
    std::error_code ec;  // a script text is no file name (and may be too long for one)
    if (script.find('\n') != std::string::npos || !fs::exists(scriptPath, ec)) {
      scriptPath = dir_ / "script.tacmon";
      std::ofstream(scriptPath) << script;
    }
    fs::path errPath = dir_ / "stderr.txt";
    fs::create_directories(dir_ / "xdg");
    fs::permissions(dir_ / "xdg", fs::perms::owner_all);
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(120);
      setenv("TACMON_ROOT", Root().c_str(), 1);
      setenv("TACMON_DATA", Data().c_str(), 1);
      setenv("TACMON_PORTS", (dir_ / "ports").c_str(), 1);
      setenv("TACMON_SCRIPT", scriptPath.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("XDG_RUNTIME_DIR", (dir_ / "xdg").c_str(), 1);
      if (!freopen(errPath.c_str(), "w", stderr)) _exit(121);
      if (fileSizeLimit_ > 0) {
        const rlimit limit{fileSizeLimit_, fileSizeLimit_};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(123);
      }
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(tacmon_.c_str()));
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(tacmon_.c_str(), argv.data());
      _exit(122);
    }
    RunResult r;
    int status = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "tacmon did not end";
        r.err = ReadFile(errPath);
        return r;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.err = ReadFile(errPath);
    return r;
  }

  // Every entry below both roots with its content (folders as "<dir>") and modification time,
  // except the message log's folder.
  std::map<std::string, std::string> Tree() const {
    std::map<std::string, std::string> out;
    for (const fs::path& top : {Root(), Data()}) {
      if (!fs::exists(top)) continue;
      for (auto it = fs::recursive_directory_iterator(top);
           it != fs::recursive_directory_iterator(); ++it) {
        std::string rel = fs::relative(it->path(), dir_).generic_string();
        if (rel.rfind("root/Logs/", 0) == 0) continue;
        std::string value = it->is_directory() ? "<dir>" : ReadFile(it->path());
        value += "@" + std::to_string(fs::last_write_time(it->path()).time_since_epoch().count());
        out[rel] = value;
      }
    }
    return out;
  }

  fs::path dir_;
  fs::path tacmon_;
  rlim_t fileSizeLimit_ = 0;  // > 0: the program runs with this file-size limit (a full disk)
};

// One control of a dumped window; texts with their JSON escapes undone for \", \\, \r, \n.
struct ControlState {
  std::string kind;
  std::string text;
  bool visible = false;
  bool checked = false;
  std::vector<std::string> items;
  int selection = -1;
};

inline std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}

// The controls of the first dumped window of class windowClass, by id.
inline std::map<int, ControlState> Controls(const std::string& json,
                                            const std::string& windowClass) {
  std::map<int, ControlState> out;
  size_t at = json.find("{\"class\":\"" + windowClass + "\"");
  if (at == std::string::npos) return out;
  size_t end = json.find("{\"class\":", at + 1);
  std::istringstream lines(json.substr(at, end == std::string::npos ? end : end - at));
  static const std::regex kControl(
      R"re(\{"id":(-?\d+),"kind":"(\w+)","text":"((?:[^"\\]|\\.)*)","visible":(true|false),"enabled":(?:true|false),"checked":(true|false),"items":\[(.*)\],"selection":(-?\d+))re");
  static const std::regex kItem(R"re("((?:[^"\\]|\\.)*)")re");
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!std::regex_search(line, m, kControl)) continue;
    ControlState c;
    c.kind = m[2];
    c.text = Unescape(m[3]);
    c.visible = m[4] == "true";
    c.checked = m[5] == "true";
    const std::string items = m[6];
    for (std::sregex_iterator it(items.begin(), items.end(), kItem), e; it != e; ++it)
      c.items.push_back(Unescape((*it)[1]));
    c.selection = std::stoi(m[7]);
    out[std::stoi(m[1])] = c;
  }
  return out;
}

}  // namespace e2e

// The end-to-end fixture: runs the real tacmon binary headless in a scratch folder with its own
// data roots, ports folder and automation script, and reads back what it left.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include "platform/cp1251.h"
#include "platform/paths.h"

namespace e2e {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// How often piece stands in text, overlapping places included.
inline size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The files of folder with the extension ext (".psh"), in name order.
inline std::vector<fs::path> Files(const fs::path& folder, const std::string& ext) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ext) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

// The text of a settings file such as "pars\KCDMain.par": each head line ("d NumCOMPort") and
// its value line, in the order given, ended by \r\n.
using SettingValues = std::vector<std::pair<std::string, std::string>>;
inline std::string SettingsText(const SettingValues& values) {
  std::string out;
  for (const auto& [head, value] : values) out += head + "\r\n" + value + "\r\n";
  return out;
}

// The whole settings file in the fixed order the program writes it: its default values but for
// those changed (named without their type letter, "NumCOMPort"); "%lg" for the doubles.
inline std::string DefaultSettingsText(const std::map<std::string, std::string>& changed = {}) {
  static const std::pair<const char*, const char*> kDefaults[] = {
      {"l DtShowVideo", "0.05"},
      {"d NAddSensorRectDomainMinUsed", "1"},
      {"d NumCOMPort", "3"},
      {"d NumCOMPort2", "4"},
      {"d NumDevice", "5"},
      {"d NumDevice2", "3"},
      {"d NumCOMPortDisp", "4"},
      {"d set_use_MechDisplay", "1"},
      {"d set_disp_autoconnect", "1"},
      {"d set_autoconnect", "1"},
      {"d set_connect2", "0"},
      {"d set_correspond_mech_receptor_sensor_to_display_sensor", "0"},
      {"s file_instead_COM_port", "C:\\Tacmon\\pars\\test.bin"},
      {"d set_use_file_instead_COM_port", "0"},
      {"d iSensor", "1"},
      {"d set_use_db_autosave", "1"},
      {"d dt_autosave", "10"},
      {"d CMechDisplay__SensibilityV0", "6"},
      {"d CMechDisplay__SensibilityV1", "10"},
      {"d SetAutoRecord", "1"},
      {"d set_output_all_data_into_text_file", "0"},
      {"d set_output_sensors_numbers", "1"},
      {"l SensibilityReceptorV", "1"},
      {"l SensibilitySecondReceptorV", "1"},
      {"d set_use_second_receptor_window", "1"},
      {"d receptor_data_format", "0"},
      {"d set_use_recognition_library", "0"},
  };
  SettingValues values;
  for (const auto& [head, value] : kDefaults) {
    auto it = changed.find(head + 2);
    values.emplace_back(head, it == changed.end() ? value : it->second);
  }
  return SettingsText(values);
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

  // Runs tacmon as Run does; a run that does not end with status 0 fails the test.
  void RunOk(const std::string& script, std::vector<std::string> args = {}) {
    const RunResult r = Run(script, std::move(args));
    ASSERT_EQ(r.status, 0) << r.err;
  }

  // Points this process at the scratch roots and ports folder the runs use, so that paths such
  // as "c:\\Tacmon\\DVP\\probe5.dvp" written or read here are theirs.
  void UseScratchRoots() {
    setenv("TACMON_ROOT", Root().c_str(), 1);
    setenv("TACMON_DATA", Data().c_str(), 1);
    setenv("TACMON_PORTS", (dir_ / "ports").c_str(), 1);
    winpath::ReloadRoots();
  }

  // Writes "pars\KCDMain.par" (the folder made when missing).
  void WriteSettingsFile(const std::string& text) const {
    fs::create_directories(Root() / "pars");
    std::ofstream(Root() / "pars" / "KCDMain.par", std::ios::binary) << text;
  }

  // The message log, in UTF-8.
  std::string Log() const { return Cp1251ToUtf8(ReadFile(Root() / "Logs" / "LogFile2.log")); }

  // The operation folders below "OPERATIONS", in name order (none when it is missing).
  std::vector<fs::path> Operations() const {
    std::vector<fs::path> out;
    if (fs::exists(Root() / "OPERATIONS"))
      for (const auto& e : fs::directory_iterator(Root() / "OPERATIONS")) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
  }

  // Where snapshots and printed pages go: $TACMON_SNAPSHOT_DIR, kept for a person to look at,
  // else the scratch folder.
  fs::path Pictures() const {
    const char* keep = std::getenv("TACMON_SNAPSHOT_DIR");
    return keep && *keep ? fs::path(keep) : dir_;
  }
  std::string Picture(const std::string& name) const { return (Pictures() / name).string(); }

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

// What the benchmarks that run tacmon against the simulated probe share: scratch roots for the
// run, probe 5's settings and passport, and the script of an operation with one push of a given
// length.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "acquisition/device_passport.h"
#include "platform/paths.h"

namespace bench {

// A fresh folder under /tmp with "root", "data" and "ports" that this process (and the
// programs it starts) use as their roots; headless Qt.
inline std::filesystem::path ScratchRoots() {
  char tmpl[] = "/tmp/tacmon_benchXXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  setenv("TACMON_ROOT", (dir / "root").c_str(), 1);
  setenv("TACMON_DATA", (dir / "data").c_str(), 1);
  setenv("TACMON_PORTS", (dir / "ports").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  winpath::ReloadRoots();
  std::filesystem::create_directories(dir / "root" / "pars");
  std::filesystem::create_directories(dir / "ports");
  return dir;
}

// Probe 5 (device id 0a1b2c3d4e5f, data format 1) in the registry of the scratch roots.
inline void InstallProbe5Passport(const std::filesystem::path& root) {
  DevicePassport p;
  p.deviceNumber = 5;
  ParseDeviceId("0a1b2c3d4e5f", p.deviceId);
  p.format = 1;
  std::filesystem::create_directories(root / "DVP");
  WriteDvp("c:\\Tacmon\\DVP\\probe5.dvp", p);
}

// The hub's settings for probe 5 on COM3 (no autoconnection, no automatic recording, data
// format 1), followed by more settings lines ("d name\r\nvalue\r\n" each).
inline void WriteProbe5Settings(const std::filesystem::path& root, const std::string& more) {
  std::ofstream(root / "pars" / "KCDMain.par", std::ios::binary)
      << "d set_autoconnect\r\n0\r\nd SetAutoRecord\r\n0\r\nd NumDevice\r\n5\r\n"
         "d NumCOMPort\r\n3\r\nd receptor_data_format\r\n1\r\n"
      << more;
}

// Writes the automation script as file and names it in $TACMON_SCRIPT: a new operation,
// connect, wait for the link, one push of seconds (plus its zero phase), stop, disconnect, and
// the operation window closed without saving.
inline void UseOnePushScript(const std::filesystem::path& file, int seconds) {
  std::ofstream(file) << "click 1000\nclick 1\nwait 300\nactivate 144\nclick 1012\n"
                         "wait 2500\nclick 1010\nwait "
                      << seconds * 1000 + 1000
                      << "\nclick 1011\nclick 1013\nwait 300\nactivate 143\nclick 1\n"
                         "answer OK\nwait 200\nclick 1\n";
  setenv("TACMON_SCRIPT", file.c_str(), 1);
}

}  // namespace bench

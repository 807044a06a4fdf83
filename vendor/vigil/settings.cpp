#include "vendor/vigil/settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vigil {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c == '\\') c = '/';
  }
  return s;
}

std::string EnvOr(const char* name, const char* homeChild) {
  if (const char* v = std::getenv(name); v && *v) return v;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/" + homeChild;
}

// Numbers are read and written the same way whatever the process locale says.
std::string Num(double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool ParseNum(const std::string& text, double* v) {
  auto r = std::from_chars(text.data(), text.data() + text.size(), *v);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

struct Key {
  const char* name;
  double lo, hi;
  bool integer;
  double* real;
  int* whole;
};

}  // namespace

std::string HostFolder(const char* path) {
  std::string p = path ? path : "";
  const std::string low = Lower(p);
  std::string host;
  auto under = [&](const char* root) {
    const size_t n = std::strlen(root);
    return low.compare(0, n, root) == 0 && (low.size() == n || low[n] == '/');
  };
  if (under("c:/tacmondata"))
    host = EnvOr("TACMON_DATA", "TacmonData") + p.substr(std::strlen("c:/tacmondata"));
  else if (under("c:/tacmon"))
    host = EnvOr("TACMON_ROOT", "Tacmon") + p.substr(std::strlen("c:/tacmon"));
  else
    host = p;
  for (char& c : host)
    if (c == '\\') c = '/';
  if (host.empty() || host.back() != '/') host += '/';
  return host;
}

std::string FormatSettings(const Settings& s) {
  const Thresholds& t = s.thresholds;
  char text[2048];  // the text is about 930 bytes
  std::snprintf(text, sizeof text,
                "# Thresholds of the recognition library (vigil). One \"name value\" a line.\n"
                "# A sensor stands out when it exceeds the pressure field around it by this share\n"
                "contrast %s\n"
                "# ... and by at least this many normalized units (0..255)\n"
                "min_excess %s\n"
                "# Frames looked at: at least this share of the push's greatest total pressure\n"
                "press_share %s\n"
                "# Total of the 19 normalized values below which the probe rests\n"
                "min_total %s\n"
                "# Milliseconds a sensor must stand out\n"
                "min_ms %d\n"
                "# In the push's peak map it must still exceed this share of the contrast\n"
                "peak_share %s\n"
                "# The probe head's profile: share of a press felt r cells from the centre is\n"
                "# max(dome_floor, 1 - dome_slope * r); 0 and 1 for a flat head\n"
                "dome_slope %s\n"
                "dome_floor %s\n"
                "# 1: callbacks from the library's own thread\n"
                "callback_thread %d\n"
                "# Log: 0 nothing, 1 problems, 2 also pushes and decisions\n"
                "log_level %d\n"
                "# 1: every call written to vigil_calls.log beside this file\n"
                "call_log %d\n",
                Num(t.contrast).c_str(), Num(t.minExcess).c_str(), Num(t.pressShare).c_str(),
                Num(t.minTotal).c_str(), t.minMs, Num(t.peakShare).c_str(),
                Num(t.domeSlope).c_str(), Num(t.domeFloor).c_str(), s.callbackThread, s.logLevel,
                s.callLog);
  return text;
}

Settings ReadSettings(const std::string& file, std::vector<std::string>* problems, bool* created) {
  Settings s;
  if (created) *created = false;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::ofstream out(file, std::ios::binary);
    if (out << FormatSettings(s) && out.flush()) {
      if (created) *created = true;
    } else if (problems) {
      problems->push_back("cannot write " + file);
    }
    return s;
  }
  Thresholds& t = s.thresholds;
  const Key keys[] = {
      {"contrast", 0.01, 10, false, &t.contrast, nullptr},
      {"min_excess", 0, 255, false, &t.minExcess, nullptr},
      {"press_share", 0, 1, false, &t.pressShare, nullptr},
      {"min_total", 0, 19 * 255, false, &t.minTotal, nullptr},
      {"min_ms", 0, 60000, true, nullptr, &t.minMs},
      {"peak_share", 0, 10, false, &t.peakShare, nullptr},
      {"dome_slope", 0, 0.5, false, &t.domeSlope, nullptr},
      {"dome_floor", 0.05, 1, false, &t.domeFloor, nullptr},
      {"callback_thread", 0, 1, true, nullptr, &s.callbackThread},
      {"log_level", 0, 2, true, nullptr, &s.logLevel},
      {"call_log", 0, 1, true, nullptr, &s.callLog},
  };
  std::string line;
  int number = 0;
  // A thresholds file is a few hundred bytes; more is not read.
  while (number < 1000 && std::getline(in, line)) {
    ++number;
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string name, value, extra;
    if (!(words >> name)) continue;
    const Key* key = nullptr;
    for (const Key& k : keys)
      if (name == k.name) key = &k;
    auto problem = [&](const char* what) {
      if (problems)
        problems->push_back(file + ", line " + std::to_string(number) + ": " + what + ": " + name);
    };
    if (!key) {
      problem("unknown name");
      continue;
    }
    double v = 0;
    words >> value;
    if (!ParseNum(value, &v) || (words >> extra) || !std::isfinite(v) || v < key->lo ||
        v > key->hi || (key->integer && v != std::floor(v))) {
      problem("bad value, the default is kept");
      continue;
    }
    if (key->real) *key->real = v;
    if (key->whole) *key->whole = static_cast<int>(v);
  }
  return s;
}

}  // namespace vigil

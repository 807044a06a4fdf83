#include "tester/tester_passport.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace tester {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// Up to six integers; the fields that parse are set, the rest keep their value.
void ScanSix(const std::string& value, std::array<int32_t, 6>& out) {
  int v[6];
  const int n =
      std::sscanf(value.c_str(), "%d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
  for (int i = 0; i < n && i < 6; ++i) out[i] = v[i];
}

}  // namespace

TesterPassport BuiltInTesterPassport() {
  TesterPassport p;
  p.ID = 121469;
  p.MINUS = 1556;
  p.P1 = {102, 89, 51, 78, 88, 91};
  p.P2 = {73, 84, 72, 99, 96, 76};
  p.P3 = {96, 68, 111, 110, 94, 85};
  p.P4 = {101, 73, 94, 81, 116, 77};
  p.K = {92, 150, 150, 87, 90, 150};
  p.SENS = 0.06125;
  return p;
}

bool ReadTesterPassportFile(std::string_view path, TesterPassport& p) {
  File f;
  if (!f.Open(path, "rt")) return false;
  char buf[512];
  while (f.Gets(buf, sizeof buf)) {
    const std::string_view line(buf);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key(Trim(line.substr(0, eq)));
    const std::string value(Trim(line.substr(eq + 1)));
    if (key.empty() || value.empty()) continue;
    auto is = [&](const char* name) { return Cp1251EqualNoCase(key, name); };
    int v = 0;
    double d = 0;
    if (is("ID")) {
      if (std::sscanf(value.c_str(), "%d", &v) == 1) p.ID = v;
    } else if (is("MINUS")) {
      if (std::sscanf(value.c_str(), "%d", &v) == 1) p.MINUS = v;
    } else if (is("P1")) {
      ScanSix(value, p.P1);
    } else if (is("P2")) {
      ScanSix(value, p.P2);
    } else if (is("P3")) {
      ScanSix(value, p.P3);
    } else if (is("P4")) {
      ScanSix(value, p.P4);
    } else if (is("K")) {
      ScanSix(value, p.K);
    } else if (is("SENS")) {
      if (std::sscanf(value.c_str(), "%lg", &d) == 1) p.SENS = d;
    }
  }
  return true;
}

std::vector<TesterPassport> ReadTesterPassports(std::string_view folder) {
  const Text1251 dir = folder.empty() ? Text1251(winpath::kDataRoot) + "DVP\\" : Text1251(folder);
  std::vector<TesterPassport> table;
  // Listed in name order, which is the directory order here.
  for (const fsw::DirEntry& e : fsw::ListDirectory(dir + "*.cfp")) {
    if (e.isDirectory) continue;
    if (static_cast<int>(table.size()) >= kMaxTesterPassports) break;
    table.emplace_back();
    const Text1251 path = dir + e.name;
    if (!ReadTesterPassportFile(path, table.back()))
      AddLogMessage(("Can't input data from tester file" + path).c_str());
  }
  return table;
}

const TesterPassport* FindTesterPassport(const std::vector<TesterPassport>& table, int32_t id) {
  for (const TesterPassport& p : table)
    if (p.ID == id) return &p;
  return nullptr;
}

}  // namespace tester

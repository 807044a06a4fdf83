#include "receptor_init_strings.h"

#include <string>

#include "platform/file.h"
#include "platform/paths.h"

std::vector<Text1251> DefaultReceptorInitStrings() {
  return {"btcaa=0a1b2c3d4e5f", "2)btcaa=0a1b2c3d4e60", "8)btcaa=0a1b2c3d4e61"};
}

int LoadReceptorInitStrings(std::vector<Text1251>& strings) {
  const Text1251 path = std::string(winpath::kDataRoot) + kReceptorInitStringsFile;
  File in(path, "rt");
  if (!in.IsOpen()) {
    if (fsw::FileExists(path)) return -1;  // there, but not readable: left alone
    SafeFile out(path, "wt");
    if (!out.IsOpen()) return -1;
    for (const Text1251& s : strings) {
      out.Puts(s);
      out.Puts("\n");
    }
    return out.Commit() == 0 ? 1 : -1;
  }
  strings.clear();
  std::string line;
  while (in.GetLine(line)) {
    if (line.size() > kReceptorInitStringLength) line.resize(kReceptorInitStringLength);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' ||
                             line.back() == '\n'))
      line.pop_back();
    if (line.empty()) continue;
    if (strings.size() >= kReceptorInitStringsMax) break;
    strings.push_back(line);
  }
  return 0;
}

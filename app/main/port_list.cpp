#include "port_list.h"

#include <string>

Text1251 PortListText(const std::function<bool(int)>& canOpen) {
  Text1251 text;
  for (int n = kFirstListedPort; n <= kLastListedPort; ++n) {
    if (!canOpen(n)) continue;
    if (!text.empty()) text += ", ";
    text += "COM" + std::to_string(n);
  }
  return text.empty() ? Text1251("No ports.") : text + ".";
}

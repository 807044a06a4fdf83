#include "recognition/alert_layout.h"

#include <algorithm>

namespace recognition {

ui::Rect AlertMapSquare(const ui::Rect& client) {
  const int right =
      std::min(client.left + (client.bottom - client.top), (client.left + client.right) / 2);
  const int width = right - client.left;
  return {client.left, client.top, right, client.top + width};
}

std::vector<Text1251> AlertLines(const Text1251& text) {
  constexpr size_t kMaxLines = 10;
  std::vector<Text1251> lines;
  size_t start = 0;
  while (lines.size() + 1 < kMaxLines) {
    const size_t end = text.find('\n', start);
    if (end == Text1251::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  lines.push_back(text.substr(start));
  const auto empty =
      std::find_if(lines.begin(), lines.end(), [](const Text1251& l) { return l.empty(); });
  lines.erase(empty, lines.end());
  return lines;
}

}  // namespace recognition

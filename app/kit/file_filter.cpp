#include "app/kit/file_filter.h"

namespace kit {

std::vector<FileFilter> ParseFileFilter(std::string_view filter) {
  std::vector<Text1251> parts;
  size_t i = 0;
  while (i <= filter.size()) {
    size_t bar = filter.find('|', i);
    if (bar == std::string_view::npos) bar = filter.size();
    std::string_view part = filter.substr(i, bar - i);
    if (part.empty()) break;  // "||" ends the list
    parts.emplace_back(part);
    i = bar + 1;
  }
  std::vector<FileFilter> out;
  for (size_t k = 0; k + 1 < parts.size(); k += 2) out.push_back({parts[k], parts[k + 1]});
  return out;
}

Text1251 CleanChosenPath(std::string_view p) {
  while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
  while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
  if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
  return Text1251(p);
}

Text1251 DialogTitle(std::string_view title) { return Text1251(title.substr(0, 528)); }

}  // namespace kit

#include "app/kit/edit_int_logic.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kit {

namespace {

// "%d", except that a number beyond an int does not scan (sscanf would wrap it).
bool ScanInt(std::string_view text, int& v) {
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  long long x = std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() || errno == ERANGE || x < INT_MIN || x > INT_MAX) return false;
  v = static_cast<int>(x);
  return true;
}

int MinusOne(int min) { return min == INT_MIN ? INT_MIN : min - 1; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ParseEditValue(std::string_view text, const EditIntRange& r) {
  int v;
  if (!ScanInt(text, v)) return MinusOne(r.min);
  return std::clamp(v, r.min, std::max(r.min, r.max));
}

Text1251 FormatEditValue(int v, const EditIntRange& r) {
  if (v < r.min) return "---";
  v = std::min(v, r.max);
  char buf[64];
  if (v >= 1 && static_cast<size_t>(v) <= r.names.size() &&
      !r.names[static_cast<size_t>(v) - 1].empty())
    return std::to_string(v) + ": " + r.names[static_cast<size_t>(v) - 1];
  std::snprintf(buf, sizeof buf, "%d", v);
  return buf;
}

void ParseDate(std::string_view text, int& day, int& month, int& year) {
  const std::string s(text);
  int best = 0, bd = day, bm = month, by = year;
  // "%d %d %d" would read "5-3-1970" as 5, -3, -1970, so the dashed form is tried before it.
  for (const char* pattern : {"%d.%d.%d", "%d-%d-%d", "%d %d %d"}) {
    int d = day, m = month, y = year;
    int n = std::sscanf(s.c_str(), pattern, &d, &m, &y);
    if (n > best) {
      best = n;
      bd = d;
      bm = m;
      by = y;
    }
    if (n == 3) break;
  }
  day = bd;
  month = bm;
  year = by;
}

Text1251 FormatDate(int day, int month, int year) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%d", day, month, year);
  return buf;
}

SpinOutcome SpinStep(std::string_view text, int code, const EditIntRange& r) {
  int64_t v = 0;
  int parsed;
  const bool undefinedText = text.empty() || text.starts_with("--") || !ScanInt(text, parsed);
  if (r.allowUndefined && undefinedText)
    v = MinusOne(r.min);
  else if (!undefinedText)
    v = parsed;
  switch (code) {
    case 0:
      v = v < r.min ? r.min : v >= r.max ? r.max : v + 1;
      break;
    case 1:
      v = v <= r.min ? r.min : v > r.max ? r.max : v - 1;
      break;
    case 2:
      v += 50;
      break;
    case 3:
      v -= 50;
      break;
    case 5:
      break;
    case 6:
      v += 5;
      break;
    case 7:
      v -= 5;
      break;
    default:
      return {};  // 4 (thumb position), 8 and above
  }
  SpinOutcome out;
  out.acted = true;
  out.value = static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
  out.position = out.value;
  if (r.allowUndefined && (out.value < r.min || out.value > r.max)) {
    out.value = -1;
    out.text = "---";
  } else {
    out.text = FormatEditValue(out.value, r);
  }
  return out;
}

std::optional<Text1251> DateStep(std::string_view text, int caretPos, int step) {
  if (caretPos < 0 || static_cast<size_t>(caretPos) > text.size() || text.empty())
    return std::nullopt;
  size_t caret = static_cast<size_t>(caretPos);
  if (caret == text.size()) caret = text.size() - 1;
  // The first three runs of digits.
  struct Run {
    size_t begin, end;
  };
  std::vector<Run> runs;
  for (size_t i = 0; i < text.size() && runs.size() < 3;) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && IsDigit(text[j])) ++j;
    runs.push_back({i, j});
    i = j;
  }
  // The run under the caret; on a separator, the run before it.
  int which = runs.empty() ? -1 : 0;
  for (size_t k = 0; k < runs.size(); ++k)
    if (runs[k].begin <= caret) which = static_cast<int>(k);
  if (which < 0) return std::nullopt;
  const Run run = runs[static_cast<size_t>(which)];
  const std::string digits(text.substr(run.begin, run.end - run.begin));
  if (digits.size() > 9) return std::nullopt;
  int v = std::stoi(digits);
  if (v < 1) return std::nullopt;
  static const int lo[3] = {1, 1, 1900}, hi[3] = {31, 12, 2999};
  v = std::clamp(v + step, lo[which], hi[which]);
  std::string number = std::to_string(v);
  // Padded with blanks in front, so "%d.%d.%d" still reads the text.
  if (number.size() < digits.size()) number.insert(0, digits.size() - number.size(), ' ');
  Text1251 out(text);
  out.replace(run.begin, run.end - run.begin, number);
  if (out == text) return std::nullopt;
  return out;
}

bool ValueListAllowed(int min, int max) {
  return static_cast<int64_t>(max) - static_cast<int64_t>(min) <= 999;
}

std::vector<std::pair<int, Text1251>> NameMenuItems(const EditIntRange& r) {
  std::vector<std::pair<int, Text1251>> items;
  for (size_t i = 0; i < r.names.size(); ++i)
    if (!r.names[i].empty())
      items.emplace_back(kNameMenuFirstId + static_cast<int>(i),
                         std::to_string(i + 1) + ": " + r.names[i]);
  return items;
}

std::vector<std::pair<int, Text1251>> ValueMenuItems(const EditIntRange& r) {
  std::vector<std::pair<int, Text1251>> items;
  if (!ValueListAllowed(r.min, r.max)) return items;
  items.emplace_back(kValueMenuEmptyId, "");
  for (int64_t v = r.min, k = 1; v <= r.max; ++v, ++k)
    items.emplace_back(kValueMenuEmptyId + static_cast<int>(k), std::to_string(v));
  return items;
}

std::optional<Text1251> TextForMenuCommand(int command, const EditIntRange& r) {
  if (command >= kNameMenuFirstId &&
      static_cast<size_t>(command - kNameMenuFirstId) < r.names.size()) {
    const int v = command - kNameMenuFirstId + 1;
    const Text1251& name = r.names[static_cast<size_t>(v) - 1];
    return name.empty() ? std::to_string(v) : std::to_string(v) + ": " + name;
  }
  if (command == kValueMenuEmptyId) return Text1251();
  if (command > kValueMenuEmptyId && ValueListAllowed(r.min, r.max)) {
    const int64_t v = static_cast<int64_t>(r.min) + (command - kValueMenuEmptyId) - 1;
    if (v <= r.max) return std::to_string(v);
  }
  return std::nullopt;
}

const char* PluralWord(int n, const char* one, const char* few, const char* many) {
  const int64_t a = n < 0 ? -static_cast<int64_t>(n) : n;
  if ((a / 10) % 10 == 1) return many;
  switch (a % 10) {
    case 1:
      return one;
    case 2:
    case 3:
    case 4:
      return few;
    default:
      return many;
  }
}

}  // namespace kit

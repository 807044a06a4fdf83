#include "app/log/log_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/report.h"

namespace msglog {

Text1251 FormatStamp(const std::tm* t) {
  char buf[96];
  if (t)
    std::snprintf(buf, sizeof buf, "  [date=%d.%d;time=%d.%d.%d]", t->tm_mon + 1, t->tm_mday,
                  t->tm_hour, t->tm_min, t->tm_sec);
  else
    std::snprintf(buf, sizeof buf, "  [date=0.0;time=-1.-1.-1]");
  return buf;
}

Text1251 FormatStartHeader(const std::tm* t) {
  char buf[128];
  if (t)
    std::snprintf(buf, sizeof buf, "====----<< Date=%d.%d; Time=%d.%d.%d>>----===", t->tm_mon + 1,
                  t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
  else
    std::snprintf(buf, sizeof buf, "====----<< Date=0.0; Time=-1.-1.-1>>----===");
  return buf;
}

namespace {
const std::tm* Now(std::tm& tm) { return LocalTime(std::time(nullptr), tm) ? &tm : nullptr; }
}  // namespace

Text1251 StampNow() {
  std::tm tm{};
  return FormatStamp(Now(tm));
}

Text1251 StartHeaderNow() {
  std::tm tm{};
  return FormatStartHeader(Now(tm));
}

int ControlCode(std::string_view s) {
  if (s.empty()) return 0;
  auto c = static_cast<unsigned char>(s[0]);
  return c >= 1 && c <= 7 ? c : 0;
}

std::string_view StripControl(std::string_view s) { return ControlCode(s) ? s.substr(1) : s; }

std::string FileLinesOf(std::string_view stamped, int* lines) {
  std::string out;
  out.reserve(stamped.size() + 8);
  int n = 0;
  std::string_view rest = stamped;
  auto emit = [&](std::string_view line) {
    if (KeepsOutOfFile(ControlCode(line))) return;
    out.append(StripControl(line));
    out.push_back('\n');
    ++n;
  };
  for (;;) {
    size_t lf = rest.rfind('\n');
    if (lf == std::string_view::npos) break;
    emit(rest.substr(lf + 1));
    rest = rest.substr(0, lf);
  }
  emit(rest);
  if (lines) *lines = n;
  return out;
}

bool InsertEntry(MessageList& list, std::string_view text) {
  const bool quiet = IsQuiet(ControlCode(text));
  text = StripControl(text);
  size_t pos = 0;
  size_t at = 0;
  for (;;) {
    size_t lf = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
    at = std::min(at, list.lines.size());
    list.lines.insert(list.lines.begin() + static_cast<long>(at), Text1251(StripControl(line)));
    ++at;
    if (list.insertedCount < kListBudget) {
      ++list.insertedCount;
    } else if (list.lines.size() > static_cast<size_t>(kListKept)) {
      list.lines.resize(kListKept);
      list.insertedCount = static_cast<int>(list.lines.size());
    }
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
  }
  return quiet;
}

bool IsWarningLine(std::string_view line) {
  static const std::string_view kWarn = "Предупреждение"_cp;
  if (line.empty()) return false;
  if (line.substr(0, kWarn.size()) == kWarn) return true;
  if (line.size() > kWarn.size() && line[0] == ' ' && line.substr(1, kWarn.size()) == kWarn)
    return true;
  return line.size() >= 4 && Cp1251EqualNoCase(line.substr(0, 4), "Warn");
}

std::vector<Text1251> ReloadList(const std::vector<Text1251>& pieces, bool showWarnings) {
  const long count = static_cast<long>(pieces.size());
  const long first = std::max(0L, count - kReloadLines);
  std::deque<Text1251> top;      // the list being built, top first
  std::vector<Text1251> window;  // the folding window, oldest first
  bool afterHidden = false;
  for (long i = first; i < count; ++i) {
    const Text1251& line = pieces[static_cast<size_t>(i)];
    if (!showWarnings) {
      if (afterHidden) {
        afterHidden = false;
        if (line.starts_with("[") || line.starts_with(" [")) continue;
      } else if (IsWarningLine(line)) {
        afterHidden = true;
        continue;
      }
    }
    window.push_back(line);
    if (window.size() <= 10) continue;
    // The window overflows: fold the shortest repeat at its end, if any.
    const size_t n = window.size();
    for (size_t p = 1; p <= 5; ++p) {
      if (std::equal(window.end() - static_cast<long>(p), window.end(),
                     window.end() - static_cast<long>(2 * p))) {
        window.resize(n - p);
        break;
      }
    }
    if (window.size() > 10) {
      top.push_front(window.front());
      window.erase(window.begin());
    }
  }
  for (auto& line : window) top.push_front(line);
  return {top.begin(), top.end()};
}

namespace {
bool IsSeparator(char c) { return std::strchr(" \t[].=;:\\", c) != nullptr && c != 0; }
}  // namespace

Text1251 WrapDetailText(std::string_view text, int boxWidth,
                        const std::function<int(std::string_view)>& width) {
  if (width(text) <= boxWidth) return Text1251(text);
  Text1251 out;
  size_t s = 0;
  while (s < text.size()) {
    // Longest prefix of the rest that fits (at least one character).
    size_t e = s + 1;
    while (e < text.size() && width(text.substr(s, e + 1 - s)) <= boxWidth) ++e;
    if (e >= text.size() || width(text.substr(s)) <= boxWidth) {
      out.append(text.substr(s));
      break;
    }
    size_t cut = e;
    for (size_t p = e; p > s; --p) {
      if (IsSeparator(text[p - 1])) {
        cut = p;
        break;
      }
    }
    out.append(text.substr(s, cut - s));
    out.append("\r\n");
    s = cut;
    while (s < text.size() && text[s] == ' ') ++s;
  }
  return out;
}

int ClampOpacity(int v) { return std::clamp(v, 50, 255); }

int OpacityAfterScroll(int current, int code, int thumbPos) {
  switch (code) {
    case 2:
      return ClampOpacity(current - 40);
    case 3:
      return ClampOpacity(current + 40);
    case 4:
    case 5:
      return ClampOpacity(thumbPos);
    default:
      return ClampOpacity(current);
  }
}

Rect PlaceInCorner(const Rect& work, const Rect& w, int corner) {
  int x = w.left, y = w.top;
  switch (corner) {
    case 1:
      x = work.left;
      y = work.top;
      break;
    case 2:
      x = work.right - w.Width();
      y = work.top;
      break;
    case 3:
      x = work.left;
      y = work.bottom - w.Height();
      break;
    case 4:
      x = work.right - w.Width();
      y = work.bottom - w.Height();
      break;
    default:
      return w;
  }
  return {x, y, x + w.Width(), y + w.Height()};
}

namespace {
void ReportPlaceRefusedOnce(std::string_view winPath) {
  static std::mutex lock;
  static Text1251 reported;  // guarded by lock
  {
    std::lock_guard l(lock);
    if (reported == winPath) return;
    reported = Text1251(winPath);
  }
  AddLogMessageF("File '%.*s' is not a regular file or too large; the window keeps its place",
                 static_cast<int>(winPath.size()), winPath.data());
}
}  // namespace

int ReadLogPlace(std::string_view winPath) {
  // Read at every popup of the message window: a refused file is reported once per path, or
  // the popup of its own report would read and report it again without end.
  File f;
  if (!f.Open(winPath, "r", kLogPlaceMaxBytes, /*quiet=*/true)) {
    if (f.Refused()) ReportPlaceRefusedOnce(winPath);
    return 0;
  }
  int mark = 0, corner = 0;
  if (std::fscanf(f.Raw(), "%d %d", &mark, &corner) != 2) return 0;
  if (mark != kLogPlaceMark || corner < 1 || corner > 4) return 0;
  return corner;
}

int WriteLogPlace(std::string_view winPath, int corner) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d\n%d\n", kLogPlaceMark, corner);
  return WriteWholeFile(winPath, buf, true);
}

}  // namespace msglog

// The message log's formats and list arithmetic, free of threads and files: stamps and start
// headers, control characters, the reversed line order of the file, the list's line budget,
// the reload filter with its repeat folding, the detail box wrapping, docking corners.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace msglog {

inline constexpr int kFileLineLimit = 10000;  // more lines than this: cut
inline constexpr int kFileLinesKept = 9999;   // lines kept by a cut
inline constexpr int kReloadLines = 250;      // lines of the file a reload considers
inline constexpr int kReloadPiece = 1023;     // reload reads lines in pieces of 1022 bytes
inline constexpr int kListBudget = 2000;      // inserted lines before the list is cut
inline constexpr int kListKept = 1000;        // lines the cut keeps
inline constexpr int kLogPlaceMark = 301;
inline constexpr int64_t kLogPlaceMaxBytes = 4096;              // "Logs\logplace.bin": two numbers
inline constexpr int64_t kLogFileMaxBytes = int64_t(64) << 20;  // a reload reads no more

// "  [date=7.20;time=18.5.52]"; a null time prints "  [date=0.0;time=-1.-1.-1]".
Text1251 FormatStamp(const std::tm* t);
// "====----<< Date=7.20; Time=18.5.52>>----==="
Text1251 FormatStartHeader(const std::tm* t);
// Stamp for the current local time.
Text1251 StampNow();
Text1251 StartHeaderNow();

// Control character 1..7 at the start of a text, or 0.
int ControlCode(std::string_view s);
inline bool KeepsOutOfFile(int code) { return (code & 2) != 0; }
inline bool IsQuiet(int code) { return (code & 4) != 0; }
std::string_view StripControl(std::string_view s);

// The bytes a stamped message adds to the log file as lines ended by LF (the file is written
// in text mode, so each LF becomes CR LF on disk): its lines in reverse order, control
// characters removed, lines with bit 2 left out. lines receives the number of lines written.
std::string FileLinesOf(std::string_view stamped, int* lines = nullptr);

// The message window's list: newest line on top, with the budget of inserted lines.
struct MessageList {
  std::deque<Text1251> lines;
  int insertedCount = 0;
};
// Inserts one entry's lines at the top in their natural order, control characters removed,
// then applies the line budget. Returns true when the entry is quiet (no popup).
bool InsertEntry(MessageList& list, std::string_view text);

// True for a line the reload filter hides while warnings are not shown.
bool IsWarningLine(std::string_view line);
// The list a reload shows (top first) for the pieces of the file (line ends removed).
std::vector<Text1251> ReloadList(const std::vector<Text1251>& pieces, bool showWarnings);

// Inserts CR LF breaks so that no line of the detail box is wider than boxWidth: after the
// last separator that fits (blanks after it dropped), or inside a token wider than the box.
Text1251 WrapDetailText(std::string_view text, int boxWidth,
                        const std::function<int(std::string_view)>& width);

// Opacity after a trackbar scroll (code 2 page up: -40, 3 page down: +40, 4/5 thumb: pos).
int ClampOpacity(int v);
int OpacityAfterScroll(int current, int code, int thumbPos);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};
// The window rectangle moved (same size) so that its corner lies on the same corner of the
// work area: 1 left-top, 2 right-top, 3 left-bottom, 4 right-bottom; other codes: unchanged.
Rect PlaceInCorner(const Rect& workArea, const Rect& window, int corner);

// "Logs\logplace.bin": "301\n" then the corner and "\n". Read returns 1..4, or 0 when the file
// is missing or malformed.
int ReadLogPlace(std::string_view winPath);
int WriteLogPlace(std::string_view winPath, int corner);

}  // namespace msglog

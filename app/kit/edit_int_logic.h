// KCEditInt's arithmetic, free of windows: value texts, spin steps with scroll codes 0-8, date
// steps under the caret, the value and name popups.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp1251.h"

namespace kit {

inline constexpr int kEditIntDefaultMin = -1073741824;
inline constexpr int kEditIntDefaultMax = 1073741824;
inline constexpr int kNameMenuFirstId = 500;
inline constexpr int kValueMenuEmptyId = 1500;

struct EditIntRange {
  int min = kEditIntDefaultMin;
  int max = kEditIntDefaultMax;
  bool allowUndefined = false;
  std::vector<Text1251> names;  // names[v - 1] is the name of value v
};

// GetValue: "%d" from the text limited to min..max; min - 1 when the text does not parse.
int ParseEditValue(std::string_view text, const EditIntRange& r);
// SetValue: "---" below min, else limited to max; "%d: %s" when value v has a name.
Text1251 FormatEditValue(int v, const EditIntRange& r);
// "%d.%d.%d", else "%d-%d-%d", else "%d %d %d"; numbers no pattern gives keep their values.
void ParseDate(std::string_view text, int& day, int& month, int& year);
Text1251 FormatDate(int day, int month, int year);

struct SpinOutcome {
  bool acted = false;  // false for codes 4 and 8 and above: nothing more happens
  int value = 0;       // reported to onChange
  int position = 0;    // the spin bar's new position (the step's value, even when undefined)
  Text1251 text;       // the edit's new text
};
// One spin step of a number edit (not in date mode).
SpinOutcome SpinStep(std::string_view text, int code, const EditIntRange& r);

// A date step of +1 or -1 on the number under caretPos; nullopt when nothing changes.
std::optional<Text1251> DateStep(std::string_view text, int caretPos, int step);

// The value list opens only for a range of at most 1000 values (computed without overflow).
bool ValueListAllowed(int min, int max);
// Popup items as (command id, text): the names menu and the value list.
std::vector<std::pair<int, Text1251>> NameMenuItems(const EditIntRange& r);
std::vector<std::pair<int, Text1251>> ValueMenuItems(const EditIntRange& r);
// The edit's text after choosing a popup command; nullopt for an unknown command.
std::optional<Text1251> TextForMenuCommand(int command, const EditIntRange& r);

// Russian plural: 1, 21, 101 → one; 2-4, 22 → few; 0, 5-20, 111 → many.
const char* PluralWord(int n, const char* one, const char* few, const char* many);

}  // namespace kit

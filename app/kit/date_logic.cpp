#include "app/kit/date_logic.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/kit/edit_int_logic.h"

namespace kit {

int MonthOfButton(int id) {
  if (id == kDateMonthJanuary) return 1;
  if (id >= 1004 && id <= 1014) return id - 1004 + 2;
  return 0;
}

int MonthButtonId(int month) { return month == 1 ? kDateMonthJanuary : 1004 + month - 2; }

int WeekdayFromMonday(int y, int m, int d) {
  // Sakamoto's method: 0 = Sunday.
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  const int sunday0 = (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
  return (sunday0 + 6) % 7;
}

int MonthLength(int y, int m) {
  if (m == 12) return 31;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2) return ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 29 : 28;
  return days[m - 1];
}

void DateModel::SetFromText(std::string_view text) { ParseDate(text, day, month, year); }

void DateModel::SetFromTyped(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  int* fields[3] = {&day, &month, &year};
  for (int f = 0; f < 3; ++f) {
    while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
    if (i >= text.size()) break;
    long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (v < 100000000) v = v * 10 + (text[i] - '0');
      ++i;
    }
    *fields[f] = static_cast<int>(v);
  }
}

bool DateModel::ApplyButton(int id, const DateGrid& grid, int tDay, int tMonth, int tYear) {
  if (int m = MonthOfButton(id)) {
    month = m;
  } else if (id == kDateCentury19) {
    year = year % 100 + 1900;
  } else if (id == kDateCentury20) {
    year = year % 100 + 2000;
  } else if (id >= kDateDecadeFirst && id < kDateDecadeFirst + 10) {
    year = year - (year % 100) / 10 * 10 + 10 * (id - kDateDecadeFirst);
  } else if (id >= kDateYearDigitFirst && id < kDateYearDigitFirst + 10) {
    year = year - year % 10 + (id - kDateYearDigitFirst);
  } else if (id >= kDateDayFirst && id < kDateDayFirst + 31) {
    day = id - kDateDayFirst + 1;
  } else if (id >= kDateGridFirst && id < kDateGridFirst + kDateGridCells) {
    const int d = grid.day[static_cast<size_t>(id - kDateGridFirst)];
    if (d > 0) day = d;
  } else if (id == kDateToday) {
    day = tDay;
    month = tMonth;
    year = tYear;
  } else {
    return false;
  }
  return true;
}

DateGrid DateModel::Refresh() {
  year = std::clamp(year, 1900, 2999);
  month = std::clamp(month, 1, 12);
  day = std::clamp(day, 1, 31);
  DateGrid g;
  g.offset = WeekdayFromMonday(year, month, 1);
  g.length = MonthLength(year, month);
  for (int k = 0; k < g.length; ++k) g.day[static_cast<size_t>(g.offset + k)] = k + 1;
  return g;
}

Text1251 DateModel::EditText() const { return FormatDate(day, month, year); }

Text1251 DateModel::Title() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s (%d.%d.%d)", "Дата"_cp, day, month, year);
  return buf;
}

}  // namespace kit

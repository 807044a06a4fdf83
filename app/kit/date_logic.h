// CKDate's model, free of windows: the date, its buttons and the calendar grid of dialog 150.
#pragma once

#include <array>
#include <string_view>

#include "platform/cp1251.h"

namespace kit {

// Control ids of dialog 150.
inline constexpr int kDateMonthJanuary = 1000;  // then 1004..1014 for February..December
inline constexpr int kDateEdit = 1001;
inline constexpr int kDateToday = 1002;
inline constexpr int kDateCentury19 = 1015, kDateCentury20 = 1016;
inline constexpr int kDateDecadeFirst = 1017;     // 1017..1026: digits 0..9
inline constexpr int kDateYearDigitFirst = 1027;  // 1027..1036: digits 0..9
inline constexpr int kDateDayFirst = 1037;        // 1037..1067: days 1..31
inline constexpr int kDateGridFirst = 1068;       // 1068..1109: 6 rows of 7
inline constexpr int kDateGridCells = 42;
inline constexpr int kDateWeekdayFirst = 1110;  // 1110..1116, Monday first

// Month of a month button id (1..12), or 0.
int MonthOfButton(int id);
int MonthButtonId(int month);

// Monday 0 .. Sunday 6 for a date of the Gregorian calendar.
int WeekdayFromMonday(int year, int month, int day);
// Days to the first of the next month; 31 for December.
int MonthLength(int year, int month);

struct DateGrid {
  int offset = 0;  // hidden cells before the 1st
  int length = 0;
  std::array<int, kDateGridCells> day{};  // 0: hidden cell, else the day shown
};

struct DateModel {
  int year = 1960, month = 1, day = 1;

  // Parses like KCEditInt's GetDate (numbers it does not find stay).
  void SetFromText(std::string_view text);
  // What typing in the date edit does: three numbers separated by any non-digits after
  // leading blanks and tabs; missing numbers keep their values; nothing is limited.
  void SetFromTyped(std::string_view text);
  // A button of the dialog; false when the id is none of them. Call Refresh afterwards.
  bool ApplyButton(int id, const DateGrid& grid, int todayDay, int todayMonth, int todayYear);
  // Limits year 1900..2999, month 1..12, day 1..31 and computes the grid.
  DateGrid Refresh();
  Text1251 EditText() const;  // "%d.%d.%d"
  Text1251 Title() const;     // "Дата (%d.%d.%d)"
};

}  // namespace kit

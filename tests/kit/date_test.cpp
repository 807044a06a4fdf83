// CKDate's model: buttons, limits and the calendar grid.
#include <gtest/gtest.h>

#include "app/kit/date_logic.h"

using namespace kit;

TEST(DateModel, CalendarGrid) {
  struct Case {
    int year, month;
    int offset, length;
  } cases[] = {
      {2000, 2, 1, 29},  // 1 Feb 2000 was a Tuesday; leap year
      {1900, 2, 3, 28},  // 1900 is no leap year; 1 Feb 1900 was a Thursday
      {2026, 2, 6, 28},  // starts on a Sunday: six hidden cells
      {2026, 6, 0, 30},  // starts on a Monday
      {2026, 12, 1, 31}, {1970, 1, 3, 31},
  };
  for (const auto& c : cases) {
    DateModel m;
    m.year = c.year;
    m.month = c.month;
    DateGrid g = m.Refresh();
    EXPECT_EQ(g.offset, c.offset) << c.year << "." << c.month;
    EXPECT_EQ(g.length, c.length) << c.year << "." << c.month;
    for (int k = 0; k < kDateGridCells; ++k) {
      const int expected = (k >= c.offset && k < c.offset + c.length) ? k - c.offset + 1 : 0;
      EXPECT_EQ(g.day[static_cast<size_t>(k)], expected) << "cell " << k;
    }
  }
}

TEST(DateModel, ButtonsChangeTheDate) {
  struct Case {
    int id;
    int d, m, y;  // after the button, from 15.6.1987
  } cases[] = {
      {1000, 15, 1, 1987},
      {1004, 15, 2, 1987},
      {1014, 15, 12, 1987},
      {kDateCentury20, 15, 6, 2087},
      {kDateCentury19, 15, 6, 1987},
      {kDateDecadeFirst + 4, 15, 6, 1947},
      {kDateYearDigitFirst + 2, 15, 6, 1982},
      {kDateDayFirst + 30, 31, 6, 1987},
      {kDateToday, 3, 4, 2026},
      {kDateGridFirst + 0, 1, 6, 1987},  // June 1987 starts on a Monday: the first cell is the 1st
  };
  for (const auto& c : cases) {
    DateModel m;
    m.day = 15;
    m.month = 6;
    m.year = 1987;
    DateGrid g = m.Refresh();
    ASSERT_TRUE(m.ApplyButton(c.id, g, 3, 4, 2026));
    m.Refresh();
    EXPECT_EQ(m.day, c.d) << c.id;
    EXPECT_EQ(m.month, c.m) << c.id;
    EXPECT_EQ(m.year, c.y) << c.id;
  }
  DateModel m;
  EXPECT_FALSE(m.ApplyButton(1, m.Refresh(), 1, 1, 2000));
}

TEST(DateModel, GridCellSetsItsDay) {
  DateModel m;
  m.month = 2;
  m.year = 2026;  // starts on a Sunday: cell 7 (index 6) is the 1st
  DateGrid g = m.Refresh();
  ASSERT_TRUE(m.ApplyButton(kDateGridFirst + 6, g, 1, 1, 2000));
  EXPECT_EQ(m.day, 1);
  ASSERT_TRUE(m.ApplyButton(kDateGridFirst + 33, g, 1, 1, 2000));
  EXPECT_EQ(m.day, 28);
}

TEST(DateModel, TextsAndTyping) {
  DateModel m;
  m.SetFromText("not a date");
  EXPECT_EQ(m.EditText(), "1.1.1960");  // unparsable: the start date
  m.SetFromText("29.2.2000");
  EXPECT_EQ(m.Title(), Text1251("Дата"_cp) + " (29.2.2000)");
  m.SetFromTyped(" \t 7/13/3500");
  EXPECT_EQ(m.day, 7);
  EXPECT_EQ(m.month, 13);  // not limited while typing
  EXPECT_EQ(m.year, 3500);
  m.SetFromTyped("8");
  EXPECT_EQ(m.EditText(), "8.13.3500");
  m.Refresh();
  EXPECT_EQ(m.EditText(), "8.12.2999");  // the limits
}

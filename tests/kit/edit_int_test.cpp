// KCEditInt arithmetic: value texts, spin steps, date steps, popups, PluralWord.
#include <gtest/gtest.h>

#include "app/kit/edit_int_logic.h"

using namespace kit;

TEST(EditInt, GetAndSetValue) {
  EditIntRange r{0, 255, false, {}};
  struct Case {
    const char* text;
    int value;
  } gets[] = {{"---", -1},
              {"500", 255},
              {"-7", 0},
              {"17", 17},
              {"", -1},
              {"12: name", 12},
              {"abc", -1},
              // beyond an int: no number, where "%d" would have wrapped it
              {"4294967313", -1},
              {"99999999999", -1},
              {"-99999999999", -1}};
  for (const auto& c : gets) EXPECT_EQ(ParseEditValue(c.text, r), c.value) << c.text;

  EditIntRange named{1, 12, false, {"Январь"_cp, "", "Март"_cp}};
  struct SetCase {
    int v;
    Text1251 text;
  } sets[] = {{0, "---"}, {1, Text1251("1: ") + "Январь"_cp},
              {2, "2"},   {3, Text1251("3: ") + "Март"_cp},
              {4, "4"},   {99, "12"}};
  for (const auto& c : sets) EXPECT_EQ(FormatEditValue(c.v, named), c.text) << c.v;
}

TEST(EditInt, SpinStepsByScrollCode) {
  const EditIntRange r{1, 12, false, {}};
  const EditIntRange u{1, 12, true, {}};
  struct Case {
    const char* text;
    int code;
    const EditIntRange* range;
    bool acted;
    int value;
    const char* shown;
    int position = INT32_MIN;  // spin bar position when it differs from value
  } cases[] = {
      {"12", 0, &r, true, 12, "12"},                                   // line up at max keeps max
      {"5", 0, &r, true, 6, "6"},         {"0", 0, &r, true, 1, "1"},  // below min → min
      {"20", 1, &r, true, 12, "12"},                                   // above max → max
      {"1", 1, &r, true, 1, "1"},         {"7", 1, &r, true, 6, "6"},
      {"12", 2, &r, true, 62, "12"},       // page up: not limited, shown limited
      {"12", 2, &u, true, -1, "---", 62},  // undefined allowed: out of range shows "---"
      {"40", 3, &r, true, -10, "---"},     // below min shows "---"
      {"5", 6, &r, true, 10, "10"},       {"5", 7, &r, true, 0, "---"},
      {"5", 5, &r, true, 5, "5"},                                        // thumb track: unchanged
      {"5", 4, &r, false, 0, ""},                                        // thumb position: nothing
      {"5", 8, &r, false, 0, ""},         {"abc", 0, &r, true, 1, "1"},  // unparsable counts as 0
      {"---", 0, &u, true, 1, "1"},  // undefined: min - 1, line up → min
      {"", 1, &u, true, 1, "1"},
  };
  for (const auto& c : cases) {
    SpinOutcome o = SpinStep(c.text, c.code, *c.range);
    EXPECT_EQ(o.acted, c.acted) << c.text << " code " << c.code;
    if (!c.acted) continue;
    EXPECT_EQ(o.value, c.value) << c.text << " code " << c.code;
    EXPECT_EQ(o.text, c.shown) << c.text << " code " << c.code;
    EXPECT_EQ(o.position, c.position == INT32_MIN ? c.value : c.position)
        << c.text << " code " << c.code;
  }
}

TEST(EditInt, DateStepUnderTheCaret) {
  struct Case {
    const char* text;
    int caret;
    int step;
    const char* result;  // nullptr: unchanged
  } cases[] = {
      {"5.3.1970", 2, +1, "5.4.1970"},
      {"5.3.1970", 0, +1, "6.3.1970"},
      {"5.3.1970", 8, -1, "5.3.1969"},    // at the end: the last character (year)
      {"31.12.2999", 0, +1, nullptr},     // day limited to 31
      {"31.12.2999", 9, +1, nullptr},     // year limited to 2999
      {"31.12.2999", 3, +1, nullptr},     // month limited to 12
      {"10.3.1970", 0, -1, " 9.3.1970"},  // padded to the old length
      {"1.1.1900", 5, -1, nullptr},
      {"0.3.1970", 0, +1, nullptr},  // numbers below 1 are left alone
      {"5.3.1970", -1, +1, nullptr},
      {"5.3.1970", 9, +1, nullptr},     // beyond the text
      {"5.3.1970", 1, +1, "6.3.1970"},  // on a separator: the number before it
      {"", 0, +1, nullptr},
  };
  for (const auto& c : cases) {
    auto r = DateStep(c.text, c.caret, c.step);
    if (c.result) {
      ASSERT_TRUE(r.has_value()) << c.text << " @" << c.caret;
      EXPECT_EQ(*r, c.result) << c.text << " @" << c.caret;
    } else {
      EXPECT_FALSE(r.has_value()) << c.text << " @" << c.caret << " gave " << r.value_or("");
    }
  }
}

TEST(EditInt, GetDatePatterns) {
  struct Case {
    const char* text;
    int d, m, y;
  } cases[] = {
      {"5.3.1970", 5, 3, 1970}, {"5 3 1970", 5, 3, 1970}, {"5-3-1970", 5, 3, 1970},
      {"7.8", 7, 8, 2000},      {"junk", 1, 2, 2000},     {"", 1, 2, 2000},
  };
  for (const auto& c : cases) {
    int d = 1, m = 2, y = 2000;
    ParseDate(c.text, d, m, y);
    EXPECT_EQ(d, c.d) << c.text;
    EXPECT_EQ(m, c.m) << c.text;
    EXPECT_EQ(y, c.y) << c.text;
  }
}

TEST(EditInt, ValueListOnlyForSmallRangesWithoutOverflow) {
  EXPECT_FALSE(ValueListAllowed(kEditIntDefaultMin, kEditIntDefaultMax));
  EXPECT_FALSE(ValueListAllowed(INT32_MIN, INT32_MAX));
  EXPECT_FALSE(ValueListAllowed(0, 1000));
  EXPECT_TRUE(ValueListAllowed(0, 999));
  EXPECT_TRUE(ValueListAllowed(-1, 255));

  EditIntRange r{-1, 2, false, {}};
  auto items = ValueMenuItems(r);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0], (std::pair<int, Text1251>{1500, ""}));
  EXPECT_EQ(items[1], (std::pair<int, Text1251>{1501, "-1"}));
  EXPECT_EQ(items[4], (std::pair<int, Text1251>{1504, "2"}));
  EXPECT_EQ(TextForMenuCommand(1500, r), "");
  EXPECT_EQ(TextForMenuCommand(1502, r), "0");
  EXPECT_EQ(TextForMenuCommand(1505, r), std::nullopt);
  EXPECT_TRUE(ValueMenuItems(EditIntRange{}).empty());
}

TEST(EditInt, NameMenuListsNonEmptyNames) {
  EditIntRange r{1, 19, false, {"a", "", "c"}};
  auto items = NameMenuItems(r);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], (std::pair<int, Text1251>{500, "1: a"}));
  EXPECT_EQ(items[1], (std::pair<int, Text1251>{502, "3: c"}));
  EXPECT_EQ(TextForMenuCommand(502, r), "3: c");
  EXPECT_EQ(TextForMenuCommand(501, r), "2");
}

TEST(EditInt, PluralWord) {
  struct Case {
    int n;
    const char* word;
  } cases[] = {{1, "one"},   {21, "one"},  {101, "one"},  {2, "few"},    {3, "few"},
               {4, "few"},   {22, "few"},  {0, "many"},   {5, "many"},   {11, "many"},
               {12, "many"}, {14, "many"}, {111, "many"}, {112, "many"}, {-21, "one"}};
  for (const auto& c : cases) EXPECT_STREQ(PluralWord(c.n, "one", "few", "many"), c.word) << c.n;
}

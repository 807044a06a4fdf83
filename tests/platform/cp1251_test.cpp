#include "platform/cp1251.h"

#include <gtest/gtest.h>

TEST(Cp1251, LiteralsConvertAtCompileTime) {
  static_assert(cp1251::kConverted<"А">.bytes[0] == '\xC0');
  EXPECT_STREQ("Выйти"_cp, "\xC2\xFB\xE9\xF2\xE8");
  EXPECT_STREQ("Ёё №"_cp, "\xA8\xB8\x20\xB9");
  EXPECT_STREQ("plain"_cp, "plain");
}

TEST(Cp1251, RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251, UnknownCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD" "b"), "a?b");  // a CJK character
  EXPECT_EQ(Utf8ToCp1251("\xFF"), "?");                  // malformed UTF-8
}

TEST(Cp1251, CaseFoldingCoversCyrillic) {
  EXPECT_TRUE(Cp1251EqualNoCase("ENUMS\\Organ"_cp, "enums\\ORGAN"));
  EXPECT_TRUE(Cp1251EqualNoCase("Пациент"_cp, "пАЦИЕНТ"_cp));
  EXPECT_TRUE(Cp1251EqualNoCase("Ёж"_cp, "ёЖ"_cp));
  EXPECT_FALSE(Cp1251EqualNoCase("ab", "abc"));
}

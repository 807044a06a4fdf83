// Typed input turned into storable records: birthdays, word fields, multi-line texts, organ
// rows, list texts and the delete questions.
#include "records/record_forms.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using records::Birthday;

TEST(RecordForms, BirthdaysAreRealDatesInOneOfThreeSpellings) {
  struct Case {
    const char* typed;
    std::optional<Birthday> want;
  };
  const Case cases[] = {
      {"5-3-1970", Birthday{5, 3, 1970}},
      {"5.3.1970", Birthday{5, 3, 1970}},
      {"5 3 1970", Birthday{5, 3, 1970}},
      {" 05.03.1970\t", Birthday{5, 3, 1970}},
      {"29.2.2000", Birthday{29, 2, 2000}},
      {"31.12.2999", Birthday{31, 12, 2999}},
      {"", Birthday{}},  // not known
      {"0.0.0", Birthday{}},
      {"0.0.1900", Birthday{0, 0, 1900}},  // a fresh description's, also not known
      {"31.02.2020", std::nullopt},
      {"29.2.1900", std::nullopt},
      {"31.4.1970", std::nullopt},
      {"1.13.1970", std::nullopt},
      {"0.3.1970", std::nullopt},
      {"5.3.1899", std::nullopt},
      {"abc", std::nullopt},
      {"5.3", std::nullopt},
      {"5.3.1970г", std::nullopt},
      {"5..3.1970", std::nullopt},
      {"-5.3.1970", std::nullopt},
      {"5.3.19700", std::nullopt},
      {"99999999999.1.1970", std::nullopt},
  };
  for (const Case& c : cases) {
    auto got = records::ParseBirthday(c.typed);
    ASSERT_EQ(got.has_value(), c.want.has_value()) << c.typed;
    if (got) {
      EXPECT_EQ(got->day, c.want->day) << c.typed;
      EXPECT_EQ(got->month, c.want->month) << c.typed;
      EXPECT_EQ(got->year, c.want->year) << c.typed;
    }
  }
}

TEST(RecordForms, WordFieldsAreTrimmedJoinedAndCut) {
  struct Case {
    std::string typed;
    size_t max;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"  Иванов  "_cp, 63, "Иванов"_cp},
      {"де  Голль"_cp, 63, "де_Голль"_cp},
      {"a\tb\r\nc\x01", 63, "a_b_c"},
      {"", 63, ""},
      {" \t ", 63, ""},
      {std::string(100, 'z'), 63, std::string(63, 'z')},
      {"12 345", 127, "12_345"},
  };
  for (const Case& c : cases) EXPECT_EQ(records::StorableWord(c.typed, c.max), c.want) << c.typed;
  EXPECT_EQ(records::StorableOrganText("левая; доля;"_cp), "левая,_доля,"_cp);
  EXPECT_EQ(records::StorableOrganText(std::string(200, 'x')).size(), 98u);
}

TEST(RecordForms, MultiLineTextsReadBackAsStored) {
  EXPECT_EQ(records::StorableNotes("Notes: first\r\nFIO: a b c\r\n  Sex: M\r\nлиния"_cp),
            "Notes: first\n FIO: a b c\n  Sex: M\nлиния\n"_cp);
  EXPECT_EQ(records::StorableNotes("a\r\n\r\nb\r\n"), "a\n\nb\n");
  EXPECT_EQ(records::StorableNotes("x\ry\x02"), "xy\n");
  EXPECT_EQ(records::StorableNotes(" \r\n\t"), std::nullopt);
  EXPECT_EQ(records::StorableNotes(""), std::nullopt);
  EXPECT_EQ(records::EditText("a\nb\n"), "a\r\nb");
  EXPECT_EQ(records::EditText(nullptr), "");
}

TEST(RecordForms, OrganRowsNameTheOrganAndAnOtherDescription) {
  records::OrganTable t;
  t.entries.resize(3);
  t.entries[1].name = "left lobe";
  t.entries[2].name = "kidney";
  struct Case {
    records::OrganRow row;
    const char* want;
  };
  const Case cases[] = {
      {{1, "", {}}, "left lobe"},
      {{1, "left lobe", {}}, "left lobe"},
      {{1, "left_lobe", {}}, "left lobe"},  // the stored form of the name is the name
      {{2, "upper pole", {}}, "kidney (upper pole)"},
      {{3, "kept", {}}, "---"},
      {{0, "", {}}, "---"},
      {{-7, "", {}}, "---"},
  };
  for (const Case& c : cases) EXPECT_EQ(records::OrganRowText(t, c.row), c.want);
}

TEST(RecordForms, DeleteQuestionsNameTheRowsAndCountWithThePluralWord) {
  auto rows = [](int n) {
    std::vector<Text1251> r;
    for (int i = 1; i <= n; ++i) r.push_back("r" + std::to_string(i));
    return r;
  };
  EXPECT_EQ(records::DeleteQuestion(false, rows(1)), "Стереть из списка хирурга:\nr1?"_cp);
  EXPECT_EQ(records::DeleteQuestion(true, rows(1)), "Стереть из списка пациентов:\nr1?"_cp);
  EXPECT_EQ(records::DeleteQuestion(false, rows(2)), "Стереть из списка хирургов:\nr1\nr2\n?"_cp);
  EXPECT_EQ(records::DeleteQuestion(true, rows(3)),
            "Стереть из списка пациентов:\nr1\nr2\nr3\n?"_cp);
  EXPECT_EQ(records::DeleteQuestion(false, rows(4)),
            "Стереть из списка хирургов:\nr1\n...\nr4\n (всего 4 хирургов)?"_cp);
  struct Case {
    bool patients;
    int n;
    const char* word;
  };
  const Case cases[] = {{false, 21, "хирурга"},  {false, 22, "хирургов"},  {false, 11, "хирургов"},
                        {false, 12, "хирургов"}, {true, 21, "пациент"},    {true, 22, "пациента"},
                        {true, 25, "пациентов"}, {true, 111, "пациентов"}, {true, 101, "пациент"}};
  for (const Case& c : cases) {
    Text1251 q = records::DeleteQuestion(c.patients, rows(c.n));
    Text1251 tail = " (всего "_cp + std::to_string(c.n) + " " + Utf8ToCp1251(c.word) + ")?";
    EXPECT_EQ(q.substr(q.size() - tail.size()), tail) << c.n;
  }
}

TEST(RecordForms, ListTextsAndSummary) {
  user_item p{};
  std::strcpy(p.FIO[0], "Иванов"_cp);
  std::strcpy(p.FIO[1], "Иван"_cp);
  std::strcpy(p.FIO[2], "");
  std::strcpy(p.UserCard, "A-7");
  p.Birthday[0] = 1970;
  p.Birthday[1] = 3;
  p.Birthday[2] = 5;
  char diagnosis[] = "line one\nline two\n";
  p.Diagnosis = diagnosis;
  EXPECT_EQ(records::PatientRowText(p), "A-7: Иванов Иван "_cp);
  EXPECT_EQ(records::PatientSummary(p), "Иванов Иван ; 5.3.1970; line one line two "_cp);
  p.Diagnosis = nullptr;
  EXPECT_EQ(records::PatientSummary(p), "Иванов Иван ; 5.3.1970;  "_cp);
}

TEST(RecordForms, TooManyOrgansKeepTheFirstTenWithDiagnosedOnesFirst) {
  records::OrganTable t;
  t.entries.resize(2);
  t.entries[1].name = "лёгкое правое"_cp;
  records::PatientForm f;
  f.birthday = "1.1.1960";
  for (int i = 0; i < 11; ++i) f.organs.push_back({i + 1, "", {}});
  f.organs[4].diagnoses = {0, 3, 0, 2};
  records::PatientRecord r;
  ASSERT_EQ(records::BuildPatient(f, t, r), std::nullopt);
  EXPECT_TRUE(r.tooManyOrgans);
  const user_item& item = *r.Item();
  ASSERT_EQ(item.NidOrgans, 10);
  EXPECT_EQ(item.idOrgan[0], 5);  // the one with diagnoses comes first
  EXPECT_EQ(item.idDiagnosis[0][0], 3);
  EXPECT_EQ(item.idDiagnosis[0][1], 2);
  EXPECT_EQ(item.idDiagnosis[0][2], 0);
  EXPECT_EQ(item.idOrgan[1], 1);
  EXPECT_STREQ(item.Organ[1], "лёгкое_правое"_cp);  // no description: the organ's name
  EXPECT_EQ(item.idOrgan[9], 10);
  EXPECT_STREQ(item.Organ[2], "");  // id outside the table, no description

  f.birthday = "31.02.2020";
  records::PatientRecord bad;
  EXPECT_EQ(
      records::BuildPatient(f, t, bad),
      "Неверная дата рождения \"31.02.2020\".\nВведите день, месяц и год, например 5.3.1970."_cp);
}

}  // namespace

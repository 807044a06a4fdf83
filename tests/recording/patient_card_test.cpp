// The patient card's lines: month names, bounds-checked organ and diagnosis lookups, the surgeon
// from the surgeons database and description texts split into lines.
#include "recording/patient_card.h"

#include <gtest/gtest.h>

#include <cstring>

#include "medstore/medstore.h"
#include "tests/support/scratch_roots.h"

namespace {

using recording::DescriptionLine;
using recording::MonthGenitive;

records::OrganTable Organs() {
  records::OrganTable t;
  t.entries.resize(2);
  t.entries[1].name = "Печень"_cp;
  t.entries[1].diagnoses = {"", "Цирроз"_cp, "Киста"_cp};
  return t;
}

TEST(PatientCard, MonthNamesInTheGenitive) {
  struct {
    int month;
    const char* name;
  } cases[] = {{1, "января"_cp}, {5, "мая"_cp}, {12, "декабря"_cp}, {0, " "}, {13, " "}, {-1, " "}};
  for (const auto& c : cases) EXPECT_STREQ(MonthGenitive(c.month), c.name) << c.month;
}

TEST(PatientCard, DescriptionLinesSplitOnLineFeeds) {
  struct {
    const char* text;
    int n;
    const char* line;
  } cases[] = {
      {"one\r\ntwo\r\nthree", 1, "one"},
      {"one\r\ntwo\r\nthree", 2, "two"},
      {"one\r\ntwo\r\nthree", 3, "three"},
      {"one\r\ntwo\r\nthree", 4, ""},
      {"one\n\rtwo", 2, "two"},
      {"", 1, ""},
      {"a\n\nc", 2, ""},
      {"a\n\nc", 3, "c"},
      {"only", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DescriptionLine(c.text, c.n), c.line) << c.text << c.n;
}

TEST(PatientCard, LinesOfADescription) {
  OperationDescription d;
  d.cardNumber = "A-17";
  d.firstName = "Иван"_cp;
  d.patronymic = "Петрович"_cp;
  d.familyName = "Сидоров"_cp;
  d.sexIndex = 1;
  d.birthDay = 3;
  d.birthMonth = 12;
  d.birthYear = 1970;
  d.organId = 1;
  d.organDescription = "left lobe\r\nsecond\r\nthird";
  d.diagnosisIndex = 2;
  d.diagnosisDescription = "d1";
  d.notes = "n1\r\nn2\r\nn3\r\nn4\r\nn5";
  const auto lines = recording::PatientCardLines(d, Organs(), nullptr);
  const std::vector<Text1251> expected = {
      "Номер болезни: A-17"_cp,
      "ФИО пациента: Иван Петрович Сидоров"_cp,
      "ФИО хирурга: "_cp,
      "Пол: жен."_cp,
      "Дата рождения: 3 декабря 1970г."_cp,
      "Орган: Печень"_cp,
      "     left lobe",
      "     second",
      "Предв.диагноз: Киста"_cp,
      "     d1",
      "     ",
      "     ",
      "Примечания: n1"_cp,
      "     n2",
      "     n3",
      "     n4",
  };
  EXPECT_EQ(lines, expected);
}

// Ids outside the tables give empty names instead of reading past them.
TEST(PatientCard, IdsOutsideTheTablesGiveEmptyNames) {
  struct {
    int organ, diagnosis;
    const char* organLine;
    const char* diagnosisLine;
  } cases[] = {
      {0, 1, "Орган: "_cp, "Предв.диагноз: "_cp},
      {2, 1, "Орган: "_cp, "Предв.диагноз: "_cp},
      {-4, 1, "Орган: "_cp, "Предв.диагноз: "_cp},
      {1, 3, "Орган: Печень"_cp, "Предв.диагноз: "_cp},
      {1, -1, "Орган: Печень"_cp, "Предв.диагноз: "_cp},
      {1, 1, "Орган: Печень"_cp, "Предв.диагноз: Цирроз"_cp},
  };
  for (const auto& c : cases) {
    OperationDescription d;
    d.organId = c.organ;
    d.diagnosisIndex = c.diagnosis;
    d.birthMonth = 0;
    const auto lines = recording::PatientCardLines(d, Organs(), nullptr);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[5], c.organLine) << c.organ;
    EXPECT_EQ(lines[8], c.diagnosisLine) << c.organ << " " << c.diagnosis;
    EXPECT_EQ(lines[4], "Дата рождения: 0   1900г."_cp);
    EXPECT_EQ(lines[3], "Пол: муж."_cp);
  }
}

TEST(PatientCard, SurgeonComesFromTheSurgeonsDatabase) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.database() / "DB_doc");
  std::string path = "c:\\TacmonData\\DB_doc";
  doctor_list* db = InitDoctorDB(path.data(), nullptr);
  ASSERT_NE(db, nullptr);
  doctor_item doc{};
  doc.size = sizeof doc;
  std::strcpy(doc.FIO[0], "Петров"_cp);
  std::strcpy(doc.FIO[1], "Пётр"_cp);
  std::strcpy(doc.FIO[2], "Ильич"_cp);
  ASSERT_EQ(AddDoctor(&doc, db), 0);
  OperationDescription d;
  d.surgeonId = db->last_id;
  EXPECT_EQ(recording::PatientCardLines(d, Organs(), db)[2], "ФИО хирурга: Петров Пётр Ильич"_cp);
  d.surgeonId = db->last_id + 5;
  EXPECT_EQ(recording::PatientCardLines(d, Organs(), db)[2], "ФИО хирурга: "_cp);
  CloseDoctorDB(db);
}

}  // namespace

// The operation lists without windows: the local entries read from "OPERATIONS\" of fresh roots
// (kinds, order, count words, names never listed), the stationary entries from a database, the
// filters that keep row numbers, the question before deleting, the names that may be deleted
// and the remaining-time estimate.
#include "records/operation_lists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "medstore/medstore.h"
#include "tests/support/scratch_roots.h"

namespace {

namespace fs = std::filesystem;
using records::LocalOperationEntry;
using records::LocalOperationInfo;

records::OrganTable Organs() {
  records::OrganTable t;
  t.entries.resize(3);
  t.entries[1].name = "Печень"_cp;
  t.entries[1].diagnoses = {"", "d1", "d2"};
  t.entries[2].name = "Почка"_cp;
  return t;
}

OperationDescription Described(const char* card, const char* first, const char* patronymic,
                               const char* family, int organ, int diagnosis = 0,
                               const char* hospital = "") {
  OperationDescription d;
  d.cardNumber = card;
  d.firstName = first;
  d.patronymic = patronymic;
  d.familyName = family;
  d.organId = organ;
  d.diagnosisIndex = diagnosis;
  d.hospital = hospital;
  return d;
}

TEST(LocalOperationText, NamesTheFolderPatientOrganAndPushesWithTheirCountWord) {
  const OperationDescription d = Described("K-7", "Анна"_cp, "Сергеевна"_cp, "Иванова"_cp, 1);
  const Text1251 head = "2024.03.01_10-20 (K-7: Анна Сергеевна Иванова; Печень) "_cp;
  const std::pair<int, const char*> cases[] = {
      {0, " "},           {1, "1 нажатие"},   {3, "3 нажатия"},   {5, "5 нажатий"},
      {11, "11 нажатий"}, {21, "21 нажатие"}, {22, "22 нажатия"}, {112, "112 нажатий"},
  };
  for (const auto& [count, tail] : cases)
    EXPECT_EQ(records::LocalOperationText("2024.03.01_10-20", d, "Печень"_cp, count),
              head + Utf8ToCp1251(tail))
        << count;
}

TEST(OperationNames, OnlyNamesThatStayOneFolderInsideTheOperationsFolderAreSafe) {
  const std::pair<const char*, bool> cases[] = {
      {"2024.03.01_10-20", true},
      {"GL_2024.03.01_10-20-30_v2", true},
      {"a b", true},
      {"", false},
      {".", false},
      {"..", false},
      {"...", false},
      {". .", false},
      {".. ", false},
      {"..\\..", false},
      {"a/b", false},
      {"a\\b", false},
      {"c:", false},
      {"a\nb", false},
      {"x.", true},
  };
  for (const auto& [name, safe] : cases)
    EXPECT_EQ(records::IsSafeOperationName(name), safe) << name;
}

class LocalScan : public ::testing::Test {
 protected:
  void Folder(const std::string& name) {
    fs::create_directories(roots_.data() / "OPERATIONS" / name);
  }
  std::vector<LocalOperationEntry> Scan(int kind) {
    reads_.clear();
    return records::ScanLocalOperations(kind, organs_, [this](const Text1251& name) {
      ++reads_[name];
      auto it = infos_.find(name);
      return it == infos_.end() ? LocalOperationInfo{} : it->second;
    });
  }
  static std::vector<Text1251> Texts(const std::vector<LocalOperationEntry>& e) {
    std::vector<Text1251> out;
    for (const auto& x : e) out.push_back(x.text);
    return out;
  }

  ScratchRoots roots_;
  records::OrganTable organs_ = Organs();
  std::map<Text1251, LocalOperationInfo> infos_;
  std::map<Text1251, int> reads_;
};

TEST_F(LocalScan, KindsSplitByTheGlPrefixNewestFirstEachFolderReadOnce) {
  for (const char* n : {"2024.03.01_10-20", "2025.01.02_08-00", "GL_2024.05.06_07-08-09",
                        "GL_2024.05.06_07-08-09_v2", "2023.12.31_23-59"})
    Folder(n);
  std::ofstream(roots_.data() / "OPERATIONS" / "stray.txt") << "not an operation";
  infos_["2025.01.02_08-00"] = {Described("7", "Анна"_cp, "С."_cp, "Иванова"_cp, 2), 3};

  const auto recorded = Scan(records::kRecordedOperations);
  EXPECT_EQ(Texts(recorded),
            (std::vector<Text1251>{"2025.01.02_08-00 (7: Анна С. Иванова; Почка) 3 нажатия"_cp,
                                   "2024.03.01_10-20 (:   ; )  ", "2023.12.31_23-59 (:   ; )  "}));
  EXPECT_EQ(recorded[0].folder, "2025.01.02_08-00");
  EXPECT_EQ(recorded[0].organId, 2);
  for (const auto& [name, n] : reads_) EXPECT_EQ(n, 1) << name;
  EXPECT_EQ(reads_.size(), 3u) << "only folders of the kind are read";

  const auto copied = Scan(records::kCopiedOperations);
  ASSERT_EQ(copied.size(), 2u);
  EXPECT_EQ(copied[0].folder, "GL_2024.05.06_07-08-09_v2");
  EXPECT_EQ(copied[1].folder, "GL_2024.05.06_07-08-09");
}

TEST_F(LocalScan, FiltersShowSomeRowsEachKeepingItsNumberInTheWholeList) {
  const struct {
    const char* name;
    int organ, diagnosis;
    const char* hospital;
  } ops[] = {{"2024.01.09", 1, 1, "H1"},
             {"2024.01.08", 1, 2, "H2"},
             {"2024.01.07", 2, 0, "H1"},
             {"2024.01.06", 1, 1, "H2"},
             {"2024.01.05", 0, 0, ""}};
  for (const auto& o : ops) {
    Folder(o.name);
    infos_[o.name] = {Described("", "", "", "", o.organ, o.diagnosis, o.hospital), 0};
  }
  const auto entries = Scan(records::kRecordedOperations);
  auto shown = [&](records::LocalFilter f) {
    std::vector<Text1251> rows;
    for (int p : records::VisibleEntries(entries, f))
      rows.push_back(records::NumberedRow(p, entries[static_cast<size_t>(p)].folder));
    return rows;
  };
  EXPECT_EQ(shown({}).size(), 5u);
  EXPECT_EQ(shown({1, 0, ""}),
            (std::vector<Text1251>{"1: 2024.01.09", "2: 2024.01.08", "4: 2024.01.06"}));
  EXPECT_EQ(shown({1, 1, ""}), (std::vector<Text1251>{"1: 2024.01.09", "4: 2024.01.06"}));
  EXPECT_EQ(shown({1, 0, "H2"}), (std::vector<Text1251>{"2: 2024.01.08", "4: 2024.01.06"}));
  EXPECT_EQ(shown({0, 0, "H1"}), (std::vector<Text1251>{"1: 2024.01.09", "3: 2024.01.07"}));
}

TEST(StationaryEntries, EachOperationWithItsPatientsCardNewestFirst) {
  ScratchRoots roots;
  fs::create_directories(roots.database() / "DB");
  fs::create_directories(roots.database() / "DB_op");
  std::string path = "c:\\TacmonData\\DB";
  user_list* patients = InitUserDB(path.data(), nullptr);
  path = "c:\\TacmonData\\DB_op";
  operation_list* ops = InitOperationDB(path.data(), nullptr);
  ASSERT_TRUE(patients && ops);
  for (int id : {4, 9}) {
    user_item p{};
    p.size = sizeof p;
    p.version = 3;
    p.idFIO = id;
    std::snprintf(p.UserCard, sizeof p.UserCard, "card-%d", id);
    ASSERT_EQ(AddPatient(&p, patients), 0);
  }
  const struct {
    int16_t time[6];
    int patient, organ;
  } rows[] = {{{2024, 3, 1, 10, 20, 30}, 4, 1},
              {{2025, 1, 2, 8, 0, 5}, 9, 2},
              {{2024, 12, 31, 23, 59, 59}, 77, 9}};
  for (const auto& r : rows) {
    operation_item op{};
    op.size = sizeof op;
    op.version = 3;
    std::copy(r.time, r.time + 6, op.Time);
    std::snprintf(op.FIO_patient[0], 64, "First%d", r.patient);
    std::snprintf(op.FIO_patient[1], 64, "Middle%d", r.patient);
    std::snprintf(op.FIO_patient[2], 64, "Family%d", r.patient);
    op.idFIO_patient = r.patient;
    op.idOrgan = r.organ;
    ASSERT_EQ(AddOperation(&op, ops), 0);
  }
  const auto entries = records::BuildStationaryEntries(ops, patients, Organs());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "2025.01.02_08-00-05 (card-9: First9 Middle9 Family9; Почка)"_cp);
  EXPECT_EQ(entries[0].id, 2);
  EXPECT_EQ(entries[1].text, "2024.12.31_23-59-59 (: First77 Middle77 Family77; )")
      << "a missing patient gives an empty card, an organ outside the table an empty name";
  EXPECT_EQ(entries[2].text, "2024.03.01_10-20-30 (card-4: First4 Middle4 Family4; Печень)"_cp);
  EXPECT_TRUE(records::BuildStationaryEntries(nullptr, patients, Organs()).empty());
  CloseOperationDB(ops);
  CloseUserDB(patients);
}

TEST(DeleteQuestion, ShowsFirstRowsAndTheCountWithItsWord) {
  auto rows = [](int n) {
    std::vector<Text1251> r;
    for (int i = 1; i <= n; ++i) r.push_back("op" + std::to_string(i));
    return r;
  };
  EXPECT_EQ(records::DeleteOperationsQuestion(rows(1)), "Стереть запись операции:\nop1?"_cp);
  EXPECT_EQ(records::DeleteOperationsQuestion(rows(2)),
            "Стереть  записи операций:\nop1\nop2\n?"_cp);
  EXPECT_EQ(records::DeleteOperationsQuestion(rows(3)),
            "Стереть  записи операций:\nop1\nop2\nop3\n?"_cp);
  const std::pair<int, const char*> counts[] = {{4, "4 операции"},   {5, "5 операций"},
                                                {11, "11 операций"}, {21, "21 операция"},
                                                {22, "22 операции"}, {111, "111 операций"}};
  for (const auto& [n, tail] : counts)
    EXPECT_EQ(records::DeleteOperationsQuestion(rows(n)),
              "Стереть  записи операций:\nop1\n...\nop"_cp + std::to_string(n) + "\n (всего "_cp +
                  Utf8ToCp1251(tail) + ")?")
        << n;
  EXPECT_EQ(records::DeleteOperationsQuestion({}), "");
}

TEST(RowTexts, NumberTextAndCurrentItem) {
  EXPECT_EQ(records::NumberedRow(0, "a (b)"), "1: a (b)");
  EXPECT_EQ(records::TextOfRow("12: a: b"), "a: b");
  EXPECT_EQ(records::TextOfRow("no number"), "no number");
  EXPECT_EQ(records::ItemOfRow("2024.03.01_10-20 (K: A B C; (x)) 3 n"),
            "2024.03.01_10-20 (K: A B C;");
  EXPECT_EQ(records::ItemOfRow("  plain  "), "plain");
  std::vector<int> selected = {2, 5, 9};
  records::ShiftAfterRemoval(selected, 2);
  EXPECT_EQ(selected, (std::vector<int>{2, 4, 8}));
}

TEST(Progress, DurationsAreWrittenByTheirLargestUnit) {
  const std::pair<long, const char*> cases[] = {
      {0, "0."},          {7, "07сек."},      {65, "01мин.05сек."},
      {3600, "01.00.00"}, {3725, "01.02.05"}, {100 * 3600 + 1, "100.00.01"}};
  for (const auto& [s, text] : cases)
    EXPECT_EQ(records::FormatDuration(s), Utf8ToCp1251(text)) << s;
}

TEST(Progress, RemainingTimeFollowsTheRateButNeverFallsBelowFourFifthsOfTheLast) {
  records::RemainingTime t(0, 100);
  EXPECT_EQ(t.Step(1, 0), "") << "nothing while no second has passed";
  EXPECT_EQ(t.Step(10, 10),
            "Времени прошло: 10сек.;  осталось: 01мин.30сек.;  полное время "
            "работы: 01мин.40сек."_cp);
  EXPECT_EQ(t.LastRemaining(), 90);
  // Then the rest goes fast: 90 items in 11 s projects 1 s, but 4/5 of 90 is the floor.
  t.Step(90, 11);
  EXPECT_EQ(t.LastRemaining(), 72);
  t.Step(99, 12);
  EXPECT_EQ(t.LastRemaining(), 57);
  // A slower pace raises the estimate freely.
  records::RemainingTime slow(0, 100);
  slow.Step(10, 10);
  slow.Step(20, 100);  // 100 * 100 / 20 = 500 projected
  EXPECT_EQ(slow.LastRemaining(), 400);
  records::RemainingTime from(40, 100);
  from.Step(30, 30);  // 30 of 60 in 30 s
  EXPECT_EQ(from.LastRemaining(), 30);
}

}  // namespace

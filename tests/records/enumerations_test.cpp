// The organ and hospital tables: loading from the enumeration files with their edge cases,
// bounds-checked lookups, and renamed entries written back.
#include "records/enumerations.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_roots.h"

namespace {

using records::HospitalTable;
using records::OrganTable;

class Enumerations : public ::testing::Test {
 protected:
  void Organs(const std::string& organsTxt) { WriteBytes(organDir() / "organs.txt", organsTxt); }
  std::filesystem::path organDir() const { return roots_.data() / "enums" / "organ"; }
  std::filesystem::path hospitalsFile() const {
    return roots_.data() / "enums" / "hospital" / "hospitals.txt";
  }
  ScratchRoots roots_;
};

TEST_F(Enumerations, DefaultFilesGiveFiveOrgansWithTheirDiagnoses) {
  Organs("1 org1\r\n2 org2\r\n3 organ3\r\n4 organ4\r\n5 other\r\n");
  WriteBytes(
      organDir() / "3.txt",
      "other\r\norg3-d1\r\norg3-d2\r\norg3-d3\r\norg3-d4\r\norg3-d5\r\norg3-d6\r\norg3-d7\r\n"
      "org3-d8\r\n");
  OrganTable t;
  ASSERT_EQ(records::LoadOrganTable(t), 5);
  EXPECT_EQ(t.entries[0].name, "");
  EXPECT_EQ(t.Organ(3)->name, "organ3");
  EXPECT_EQ(t.Organ(3)->number, "3");
  EXPECT_EQ(t.DiagnosisCount(3), 9);
  EXPECT_EQ(*t.Diagnosis(3, 1), "other");
  EXPECT_EQ(*t.Diagnosis(3, 9), "org3-d8");
  EXPECT_EQ(t.DiagnosisCount(1), 0);  // 1.txt missing: an organ without diagnoses
}

TEST_F(Enumerations, TheNumberTokenOnlyNamesTheDiagnosisFile) {
  Organs("7 liver\n");
  WriteBytes(organDir() / "7.txt", "cirrhosis   \r\n\r\n  \r\nhepatitis\r\n");
  WriteBytes(organDir() / "1.txt", "wrong file\r\n");
  OrganTable t;
  ASSERT_EQ(records::LoadOrganTable(t), 1);
  EXPECT_EQ(t.Organ(1)->name, "liver");
  ASSERT_EQ(t.DiagnosisCount(1), 2);  // trailing blanks removed, empty lines skipped
  EXPECT_EQ(*t.Diagnosis(1, 1), "cirrhosis");
  EXPECT_EQ(*t.Diagnosis(1, 2), "hepatitis");
}

TEST_F(Enumerations, OrganLinesAreAcceptedOnlyWithNumberAndName) {
  struct Case {
    std::string text;
    std::vector<std::pair<std::string, std::string>> organs;  // (number, name)
  };
  const std::string longName(600, 'a');
  const std::vector<Case> cases = {
      {"4\n5 kidney\n", {{"5", "kidney"}}},  // a lone number token takes no id
      {"\n  \t3\t  left lobe \n", {{"3", "left lobe "}}},
      {"x\ty\r\n", {{"x", "y"}}},
      {"   \n\t\n", {}},
      // A line is read in pieces of 511 characters; the rest is a line of its own (here a
      // token without a name, so it is skipped).
      {"1 " + longName + "\n", {{"1", std::string(509, 'a')}}},
  };
  for (const Case& c : cases) {
    auto got = records::ParseOrganLines(c.text);
    std::vector<std::pair<std::string, std::string>> organs(got.begin(), got.end());
    EXPECT_EQ(organs, c.organs) << c.text;
  }
}

TEST_F(Enumerations, MissingFilesGiveEmptyTables) {
  OrganTable t;
  t.entries.resize(3);
  EXPECT_EQ(records::LoadOrganTable(t), -1);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(t.Organ(1), nullptr);

  HospitalTable h;
  EXPECT_EQ(records::LoadHospitalTable(h), 0);  // created empty, folder included
  EXPECT_TRUE(std::filesystem::exists(hospitalsFile()));
  EXPECT_EQ(ReadBytes(hospitalsFile()), "");
}

TEST_F(Enumerations, HospitalsSkipLeadingBlanksAndEmptyLines) {
  WriteBytes(hospitalsFile(), "  City hospital\r\n\r\n\t \r\n\tNo 2\r\n");
  HospitalTable h;
  ASSERT_EQ(records::LoadHospitalTable(h), 2);
  EXPECT_EQ(*h.Name(1), "City hospital");
  EXPECT_EQ(*h.Name(2), "No 2");
  EXPECT_EQ(h.Name(0), nullptr);
  EXPECT_EQ(h.Name(3), nullptr);
}

TEST_F(Enumerations, EveryLookupIsBoundsChecked) {
  Organs("1 a\n2 b\n");
  WriteBytes(organDir() / "1.txt", "d1\n");
  OrganTable t;
  ASSERT_EQ(records::LoadOrganTable(t), 2);
  for (int id : {-5, 0, 3, 1000000}) EXPECT_EQ(t.Organ(id), nullptr) << id;
  EXPECT_EQ(t.Diagnosis(1, 0), nullptr);
  EXPECT_EQ(t.Diagnosis(1, 2), nullptr);
  EXPECT_EQ(t.Diagnosis(1, -1), nullptr);
  EXPECT_EQ(t.Diagnosis(9, 1), nullptr);
  EXPECT_EQ(t.DiagnosisCount(9), 0);
  OrganTable empty;
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.Organ(1), nullptr);
  EXPECT_EQ(empty.Diagnosis(1, 1), nullptr);
}

TEST_F(Enumerations, AFolderTokenReadsNoFileOutsideTheOrganFolder) {
  Organs("..\\..\\secret liver\n");
  WriteBytes(roots_.data() / "secret.txt", "leak\n");
  OrganTable t;
  ASSERT_EQ(records::LoadOrganTable(t), 1);
  EXPECT_EQ(t.DiagnosisCount(1), 0);
}

TEST_F(Enumerations, RenamedEntriesAreWrittenBackAndKeepTheirIds) {
  Organs("1 org1\n3 org3\n");
  WriteBytes(organDir() / "3.txt", "other\r\norg3-d1\r\n");
  OrganTable t;
  ASSERT_EQ(records::LoadOrganTable(t), 2);
  // A tab or line end becomes a blank. An empty name would drop the line and shift every later id:
  // it is not taken.
  EXPECT_TRUE(records::RenameOrgans(t, {1, 2}, {"", "  Печень\tлевая \r\n"_cp}));
  EXPECT_FALSE(records::RenameOrgans(t, {1, 2, 7}, {"org1", "Печень левая"_cp, "x"}));
  ASSERT_EQ(records::SaveOrganList(t), 0);
  EXPECT_EQ(ReadBytes(organDir() / "organs.txt"), "1 org1\r\n3 Печень левая\r\n"_cp);
  EXPECT_TRUE(records::RenameDiagnoses(t, 2, {2}, {"цирроз"_cp}));
  ASSERT_EQ(records::SaveDiagnoses(t, 2), 0);
  EXPECT_EQ(ReadBytes(organDir() / "3.txt"), "other\r\nцирроз\r\n"_cp);

  OrganTable again;
  ASSERT_EQ(records::LoadOrganTable(again), 2);
  EXPECT_EQ(again.Organ(2)->name, "Печень левая"_cp);
  EXPECT_EQ(*again.Diagnosis(2, 2), "цирроз"_cp);

  HospitalTable h;
  records::LoadHospitalTable(h);
  EXPECT_EQ(records::AddHospital(h, "  Больница №1 "_cp), 1);
  EXPECT_EQ(records::AddHospital(h, "Больница №1"_cp), 1);
  EXPECT_EQ(records::AddHospital(h, " \t "), 0);
  ASSERT_EQ(records::SaveHospitalTable(h), 0);
  EXPECT_EQ(ReadBytes(hospitalsFile()), "Больница №1\r\n"_cp);
}

}  // namespace

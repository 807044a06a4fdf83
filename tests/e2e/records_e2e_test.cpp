// The clinical records from the hub of the real program: a surgeon and a patient created,
// edited and deleted with the record files in DB_doc and DB saying so byte for byte; the
// operation description picking that patient and surgeon, an organ and a diagnosis, restoring
// its entries at the next opening, and leaving no operation window when cancelled.
#include <gtest/gtest.h>

#include "e2e/tacmon_run.h"
#include "platform/cp1251.h"

namespace {

namespace fs = std::filesystem;
using e2e::Controls;
using e2e::ReadFile;
using e2e::TacmonRun;

class Records : public TacmonRun {
 protected:
  std::string Record(const char* db, const char* file) {
    return ReadFile(Data() / db / "1" / file);
  }
};

TEST_F(Records, PatientAndSurgeonFromCreationToDeletionAndTheDescriptionBetween) {
  RunOk(
      "click 1009\nclick 1000\ntext 1001 Петров\ntext 1002 Пётр\ntext 1003 Петрович\n"
      "click 1007\ndump surgeons.json\nclick 1\n"
      "click 1008\nclick 1000\ntext 1001 Иванова\ntext 1002 Анна\ntext 1003 Сергеевна\n"
      "text 1023 A-1\ncheck 1012 1\ntext 1009 5.3.1970\n"
      "click 1013\nselect 1004 2\nclick 1\nselect 1124 0\nclick 1015\nselect 1004 1\nclick 1\n"
      "click 1007\ndump patients.json\nclick 1\nclick 1\n");
  EXPECT_EQ(Record("DB_doc", "DoctorData"),
            Utf8ToCp1251("FIO: Петров Пётр Петрович\r\nidFIO: 1\r\n"));
  EXPECT_EQ(Record("DB", "UserData"),
            Utf8ToCp1251("FIO: Иванова Анна Сергеевна\r\nidFIO: 1\r\nUserNumber: 0\r\n"
                         "UserCard: A-1\r\nSex: F\r\nBirthday: 1970 3 5\r\nNidOrgans: 1\r\n"
                         "idOrgan: 3\r\nOrgan: organ3;\r\nidDiagnosis: 2;\r\n"));
  EXPECT_EQ(Controls(ReadFile(dir_ / "surgeons.json"), "KCD_Doctors")[1004].items,
            std::vector<std::string>{"Петров Пётр Петрович"});
  EXPECT_EQ(Controls(ReadFile(dir_ / "patients.json"), "KCD_Patients")[1004].items,
            std::vector<std::string>{"A-1: Иванова Анна Сергеевна"});

  RunOk(
      "click 1009\nselect 1004 0\nclick 1006\ntext 1001 Сидоров\nclick 1007\nclick 1\n"
      "click 1008\nselect 1004 0\nclick 1006\ntext 1002 Мария\nclick 1007\nclick 1\nclick 1\n");
  EXPECT_EQ(Record("DB_doc", "DoctorData"),
            Utf8ToCp1251("FIO: Сидоров Пётр Петрович\r\nidFIO: 1\r\n"));
  EXPECT_EQ(Record("DB", "UserData"),
            Utf8ToCp1251("FIO: Иванова Мария Сергеевна\r\nidFIO: 1\r\nUserNumber: 0\r\n"
                         "UserCard: A-1\r\nSex: F\r\nBirthday: 1970 3 5\r\nNidOrgans: 1\r\n"
                         "idOrgan: 3\r\nOrgan: organ3;\r\nidDiagnosis: 2;\r\n"));

  // The description: organs in descending order ("", other, organ4, organ3, org2, org1).
  RunOk(
      "click 1000\nselect 1118 0\nselect 1117 0\nselect 1015 3\nselect 1016 2\n"
      "dump description.json\nclick 1\nwait 300\ndump window.json\nclick 1\nwait 100\n"
      "click 1000\ndump again.json\nclick 2\nwait 50\ndump cancelled.json\nclick 1\n");
  auto first = Controls(ReadFile(dir_ / "description.json"), "KCDOperationDescription");
  EXPECT_EQ(first[1001].text, "Иванова");
  EXPECT_EQ(first[1002].text, "Мария");
  EXPECT_EQ(first[1009].text, "5.3.1970");
  EXPECT_TRUE(first[1012].checked);
  EXPECT_EQ(first[1016].items.at(2), "org3-d1");
  auto again = Controls(ReadFile(dir_ / "again.json"), "KCDOperationDescription");
  EXPECT_EQ(again[1001].text, "Иванова");
  EXPECT_EQ(again[1002].text, "Мария");
  EXPECT_EQ(again[1003].text, "Сергеевна");
  EXPECT_EQ(again[1009].text, "5.3.1970");
  EXPECT_TRUE(again[1012].checked);
  EXPECT_EQ(again[1015].selection, 3);
  EXPECT_EQ(again[1016].selection, 2);
  EXPECT_EQ(again[1119].text, "???");
  // OK opens the operation window on a new folder, which goes again when the window is left
  // without a push; Cancel leaves no window.
  EXPECT_NE(ReadFile(dir_ / "window.json").find("\"KCDOperationWindow\""), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "cancelled.json").find("\"KCDOperationWindow\""), std::string::npos);
  EXPECT_TRUE(!fs::exists(Root() / "OPERATIONS") || fs::is_empty(Root() / "OPERATIONS"));
  EXPECT_TRUE(fs::exists(Root() / "pars" / "KCDOperationDescription.par"));
  EXPECT_TRUE(fs::exists(Root() / "enums" / "hospital" / "hospitals.txt") ||
              fs::exists(Root() / "ENUMS" / "hospital" / "hospitals.txt"));

  RunOk(
      "click 1009\nselect 1004 0\nclick 1005\nanswer OK\nclick 1\n"
      "click 1008\nselect 1004 0\nclick 1005\nanswer OK\nclick 1\nclick 1\n");
  // The hub's tree remover takes the whole record folders.
  EXPECT_FALSE(fs::exists(Data() / "DB_doc" / "1"));
  EXPECT_FALSE(fs::exists(Data() / "DB" / "1"));
}

}  // namespace

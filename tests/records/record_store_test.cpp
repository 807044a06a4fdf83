// Typed forms stored through medstore and read back from the record files: whatever was typed,
// the record that a reopened database holds is the record that was stored. Failed stores are
// reported with the library's words and leave no phantom record in the list.
#include "records/record_store.h"

#include <gtest/gtest.h>

#include <random>

#include "records/record_forms.h"
#include "tests/support/scratch_roots.h"

namespace {

class RecordStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(roots_.database() / "DB");
    std::filesystem::create_directories(roots_.database() / "DB_doc");
    table_.entries.resize(4);
    table_.entries[1].name = "печень"_cp;
    table_.entries[2].name = "почка левая"_cp;
    table_.entries[3].name = "other";
  }
  user_list* OpenPatients() {
    std::string path = "c:\\TacmonData\\DB";
    return InitUserDB(path.data(), nullptr);
  }
  doctor_list* OpenSurgeons() {
    std::string path = "c:\\TacmonData\\DB_doc";
    return InitDoctorDB(path.data(), nullptr);
  }
  ScratchRoots roots_;
  records::OrganTable table_;
};

records::PatientForm Form(std::vector<std::string> names, std::string card, std::string birthday) {
  records::PatientForm f;
  for (int i = 0; i < 3; ++i) f.names[i] = names[i];
  f.card = card;
  f.birthday = birthday;
  return f;
}

TEST_F(RecordStore, WhateverIsTypedReadsBackAsStored) {
  std::vector<records::PatientForm> forms;
  forms.push_back(
      Form({std::string(100, '\xDF'), "Анна-Мария  Луиза"_cp, ""}, "12 345 / 6", "5-3-1970"));
  forms.push_back(Form({"", "", ""}, "", ""));
  forms.push_back(Form({"van der Berg", "Jan", "  "}, std::string(300, '7'), " 1 1 1960 "));
  {
    records::PatientForm f = Form({"Иванов"_cp, "Иван"_cp, "Иванович"_cp}, "X", "29.2.2000");
    f.sexIndex = 1;
    f.notes = "Notes: copied\r\nFIO: a b c\r\n\r\nlast line"_cp;
    f.diagnosis = "Diagnosis: x;\r\nidFIO: 99"_cp;
    // The first organ has no diagnoses: stored after the others, so the rows stay in place.
    f.organs = {{2, "", {}},
                {1, "доля; правая "_cp, {3, 1}},
                {3, std::string(150, 'd'), {1, 2, 3, 4, 5, 6, 7, 8, 9}},
                {77, "орган, которого нет"_cp, {5}}};
    forms.push_back(f);
  }
  {
    records::PatientForm f = Form({"a", "b", "c"}, "", "0.0.0");
    f.sexIndex = -1;
    for (int i = 0; i < 12; ++i) f.organs.push_back({1 + i % 3, "", {i + 1}});
    forms.push_back(f);
  }

  user_list* db = OpenPatients();
  ASSERT_NE(db, nullptr);
  std::vector<user_item> stored;
  std::vector<records::PatientRecord> records(forms.size());
  for (size_t i = 0; i < forms.size(); ++i) {
    ASSERT_EQ(records::BuildPatient(forms[i], table_, records[i]), std::nullopt) << i;
    records::StoreOutcome out = records::StorePatient(db, *records[i].Item(), 0);
    ASSERT_TRUE(out.stored) << i << ": " << out.Why();
    EXPECT_EQ(out.id, static_cast<int>(i) + 1);
  }
  CloseUserDB(db);

  db = OpenPatients();
  ASSERT_NE(db, nullptr);
  for (size_t i = 0; i < forms.size(); ++i) {
    const user_item* back = GetPatientByID(static_cast<int>(i) + 1, db);
    ASSERT_NE(back, nullptr) << i;
    EXPECT_TRUE(records::SamePatient(*back, *records[i].Item())) << i;
    EXPECT_LT(strnlen(back->FIO[0], 64), 64u);
  }
  // The first form: names cut to 63 with their terminator, blanks joined.
  const user_item* first = GetPatientByID(1, db);
  EXPECT_EQ(std::string(first->FIO[0]), std::string(63, '\xDF'));
  EXPECT_STREQ(first->FIO[1], "Анна-Мария_Луиза"_cp);
  EXPECT_STREQ(first->UserCard, "12_345_/_6");
  // A form read back and stored again gives the same record.
  records::PatientForm again = records::FormFromPatient(*GetPatientByID(4, db));
  records::PatientRecord r;
  ASSERT_EQ(records::BuildPatient(again, table_, r), std::nullopt);
  r.Item()->idFIO = 4;
  EXPECT_TRUE(records::SamePatient(*GetPatientByID(4, db), *r.Item()));
  CloseUserDB(db);

  EXPECT_EQ(ReadBytes(roots_.database() / "DB" / "4" / "UserData"),
            "FIO: Иванов Иван Иванович\r\nidFIO: 4\r\nUserNumber: 0\r\nUserCard: X\r\nSex: F\r\n"
            "Birthday: 2000 2 29\r\nNidOrgans: 4\r\nidOrgan: 1 3 77 2\r\n"
            "Organ: доля,_правая; "_cp +
                std::string(98, 'd') +
                "; орган,_которого_нет; почка_левая;\r\n"
                "idDiagnosis: 3 1; 1 2 3 4 5 6 7 8 9; 5;;\r\n"
                "Diagnosis: Diagnosis: x;\r\n idFIO: 99\r\n"
                "Notes: Notes: copied\r\n FIO: a b c\r\n\r\nlast line\r\n"_cp);
}

TEST_F(RecordStore, SurgeonsAreStoredEditedAndDeleted) {
  doctor_list* db = OpenSurgeons();
  ASSERT_NE(db, nullptr);
  doctor_item d = records::BuildSurgeon({{" Петров "_cp, "Пётр Ильич"_cp, std::string(70, 'x')}});
  records::StoreOutcome out = records::StoreSurgeon(db, d, 0);
  ASSERT_TRUE(out.stored) << out.Why();
  const auto file = roots_.database() / "DB_doc" / "1" / "DoctorData";
  EXPECT_EQ(ReadBytes(file),
            "FIO: Петров Пётр_Ильич "_cp + std::string(63, 'x') + "\r\nidFIO: 1\r\n");
  doctor_item e = records::BuildSurgeon({{"Сидоров"_cp, "", ""}});
  out = records::StoreSurgeon(db, e, 1);
  ASSERT_TRUE(out.stored) << out.Why();
  EXPECT_EQ(ReadBytes(file), "FIO: Сидоров  \r\nidFIO: 1\r\n"_cp);
  out = records::DeleteSurgeon(db, 1);
  EXPECT_TRUE(out.stored);
  EXPECT_FALSE(std::filesystem::exists(file));
  CloseDoctorDB(db);
}

TEST_F(RecordStore, AFailedAddSaysWhyAndLeavesNoRecordInTheList) {
  user_list* db = OpenPatients();
  ASSERT_NE(db, nullptr);
  // The database folder is gone after opening: the record cannot be written.
  std::filesystem::remove_all(roots_.database() / "DB");
  WriteBytes(roots_.database() / "DB", "a file");
  records::PatientRecord r;
  ASSERT_EQ(records::BuildPatient(Form({"a", "b", "c"}, "1", ""), table_, r), std::nullopt);
  records::StoreOutcome out = records::StorePatient(db, *r.Item(), 0);
  EXPECT_FALSE(out.stored);
  EXPECT_NE(out.result, 0);
  EXPECT_NE(out.Why().find("Warning: failed to create database"), std::string::npos) << out.Why();
  EXPECT_EQ(db->head, nullptr);
  CloseUserDB(db);

  user_list* temporary = nullptr;
  ASSERT_EQ(create_user_list(&temporary), 0);
  out = records::StorePatient(temporary, *r.Item(), 0);
  EXPECT_FALSE(out.stored);
  EXPECT_EQ(temporary->head, nullptr);
  destroy_user_list(temporary);
  EXPECT_FALSE(records::StorePatient(nullptr, *r.Item(), 0).stored);
}

TEST_F(RecordStore, AFailedEditKeepsTheOldRecordAndAnEditKeepsTheAdditionalFiles) {
  user_list* db = OpenPatients();
  records::PatientRecord r;
  ASSERT_EQ(records::BuildPatient(Form({"old", "b", "c"}, "1", ""), table_, r), std::nullopt);
  ASSERT_TRUE(records::StorePatient(db, *r.Item(), 0).stored);
  CloseUserDB(db);
  WriteBytes(roots_.database() / "DB" / "1" / "photo.jpg", "jpg");
  db = OpenPatients();
  records::PatientRecord e;
  ASSERT_EQ(records::BuildPatient(Form({"new", "b", "c"}, "1", ""), table_, e), std::nullopt);
  records::StoreOutcome out = records::StorePatient(db, *e.Item(), 1);
  ASSERT_TRUE(out.stored) << out.Why();
  const user_item* p = GetPatientByID(1, db);
  ASSERT_NE(p, nullptr);
  ASSERT_NE(p->files, nullptr);
  ASSERT_NE(p->files->head, nullptr);
  EXPECT_STREQ(p->files->head->name, "1/photo.jpg");

  // The record's folder turns into a file: the edit cannot be written.
  std::filesystem::remove_all(roots_.database() / "DB" / "1");
  WriteBytes(roots_.database() / "DB" / "1", "x");
  records::PatientRecord f;
  ASSERT_EQ(records::BuildPatient(Form({"newer", "b", "c"}, "1", ""), table_, f), std::nullopt);
  out = records::StorePatient(db, *f.Item(), 1);
  EXPECT_FALSE(out.stored);
  EXPECT_FALSE(out.Why().empty());
  ASSERT_NE(GetPatientByID(1, db), nullptr);
  EXPECT_STREQ(GetPatientByID(1, db)->FIO[0], "new");
  CloseUserDB(db);
}

// Random typing from an alphabet of everything the record files treat specially.
TEST_F(RecordStore, RandomTypingReadsBackAsStored) {
  const std::vector<std::string> pieces = {
      " ",    "  ",   "\t",    ";",       "; ",          "\r\n",    "\n",
      "\r",   ":",    "FIO: ", "Notes: ", "Diagnosis: ", "idFIO: ", "Organ: ",
      "x",    "Я"_cp, "ё"_cp,  "0",       "-",           ".",       std::string(70, 'w'),
      "\x01", "\xA0"};
  std::mt19937 rng(20261211);
  auto typed = [&](int maxPieces) {
    std::string s;
    for (int n = static_cast<int>(rng() % (maxPieces + 1)); n > 0; --n)
      s += pieces[rng() % pieces.size()];
    return s;
  };
  constexpr int kForms = 60;
  std::vector<records::PatientRecord> stored(kForms);
  user_list* db = OpenPatients();
  ASSERT_NE(db, nullptr);
  for (int i = 0; i < kForms; ++i) {
    records::PatientForm f;
    for (auto& n : f.names) n = typed(4);
    f.card = typed(6);
    f.sexIndex = static_cast<int>(rng() % 3) - 1;
    f.notes = typed(8);
    f.diagnosis = typed(8);
    for (int k = static_cast<int>(rng() % 12); k > 0; --k) {
      records::OrganRow r{static_cast<int32_t>(rng() % 5), typed(5), {}};
      for (int j = static_cast<int>(rng() % 4); j > 0; --j)
        r.diagnoses.push_back(static_cast<int32_t>(rng() % 12));
      f.organs.push_back(r);
    }
    ASSERT_EQ(records::BuildPatient(f, table_, stored[i]), std::nullopt);
    ASSERT_TRUE(records::StorePatient(db, *stored[i].Item(), 0).stored) << i;
  }
  CloseUserDB(db);
  db = OpenPatients();
  for (int i = 0; i < kForms; ++i) {
    const user_item* back = GetPatientByID(i + 1, db);
    ASSERT_NE(back, nullptr) << i;
    EXPECT_TRUE(records::SamePatient(*back, *stored[i].Item()))
        << i << ":\n"
        << ReadBytes(roots_.database() / "DB" / std::to_string(i + 1) / "UserData");
  }
  CloseUserDB(db);
}

}  // namespace

// The records dialogs driven as a person would (automation scripts inside the modal runs):
// a surgeon and a patient are created, edited and deleted and the record files say so byte for
// byte; the description dialog picks a patient, a surgeon, an organ and a diagnosis and brings
// its entries back at the next opening; limits, bad input and failed stores.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QWidget>
#include <fstream>

#include "platform/file.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "records/kcd_doctors.h"
#include "records/kcd_operation_description.h"
#include "records/kcd_patients.h"
#include "records/record_forms.h"
#include "records/record_store.h"
#include "tests/records/scripted_dialogs.h"
#include "tests/ui/ui_env.h"

namespace {

namespace fs = std::filesystem;

class RecordsDialogs : public ScriptedDialogs {
 protected:
  fs::path Record(const char* db, int id, const char* file) const {
    return host_.roots().database() / db / std::to_string(id) / file;
  }
  Text1251 LastBox() const {
    auto h = ui::MessageBoxHistory();
    return h.empty() ? Text1251() : h.back().text;
  }
  // A patient stored straight through the library.
  void StorePatient(records::PatientForm f) {
    records::PatientRecord r;
    ASSERT_EQ(records::BuildPatient(f, host_.organs, r), std::nullopt);
    ASSERT_TRUE(records::StorePatient(host_.patients, *r.Item(), 0).stored);
  }
};

bool Has(const std::string& json, const std::string& piece) {
  return json.find(piece) != std::string::npos;
}

TEST_F(RecordsDialogs, ASurgeonIsCreatedEditedAndDeleted) {
  auto run = [this] { return records::RunSurgeonsDialog(nullptr, host_); };
  const fs::path file = Record("DB_doc", 1, "DoctorData");
  Run("click 1000\ntext 1001 Петров\ntext 1002 Пётр\ntext 1003 Петрович\n" +
          Snapshot("surgeons_new.png") + "click 1007\ndump " + Dump("s1.json") + "\n" +
          Snapshot("surgeons.png") + "click 1\n",
      run);
  EXPECT_EQ(ReadBytes(file), "FIO: Петров Пётр Петрович\r\nidFIO: 1\r\n"_cp);
  std::string json = Read(Dump("s1.json"));
  EXPECT_TRUE(Has(
      json,
      R"("kind":"listbox","text":"","visible":true,"enabled":true,"checked":false,"items":["Петров Пётр Петрович"])"))
      << json;
  EXPECT_TRUE(Has(json, R"({"id":1001,"kind":"edit","text":"Петров","visible":false)"));

  Run("select 1004 0\nclick 1006\ntext 1001 Сидоров\nclick 1007\nclick 1\n", run);
  EXPECT_EQ(ReadBytes(file), "FIO: Сидоров Пётр Петрович\r\nidFIO: 1\r\n"_cp);

  Run("select 1004 0\nclick 1005\nanswer OK\ndump " + Dump("s3.json") + "\nclick 1\n", run);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(LastBox(), "Стереть из списка хирурга:\nСидоров Пётр Петрович?"_cp);
  EXPECT_EQ(host_.surgeons->head, nullptr);
  EXPECT_TRUE(Has(Read(Dump("s3.json")), R"("items":[],"selection":-1)"));
}

TEST_F(RecordsDialogs, APatientIsCreatedWithAnOrganAndADiagnosisEditedAndDeleted) {
  auto run = [this] { return records::RunPatientsDialog(nullptr, host_); };
  const fs::path file = Record("DB", 1, "UserData");
  Run("click 1000\ntext 1001 Иванова\ntext 1002 Анна\ntext 1003 Сергеевна\ntext 1023 12 345\n"
      "check 1012 1\ntext 1009 5-3-1970\ntext 1010 первая строка\ntext 1017 Общий диагноз\n"
      // organ3 from the organ choice, then its second diagnosis
      "click 1013\nselect 1004 2\nclick 1\nselect 1124 0\nclick 1015\nselect 1004 1\nclick 1\n"
      "text 1021 левая доля\nclick 1022\ndump " +
          Dump("p1.json") + "\n" + Snapshot("patients_edit.png") + "click 1007\nselect 1004 0\n" +
          Snapshot("patients.png") + "dump " + Dump("p2.json") + "\nclick 1\n",
      run);
  EXPECT_EQ(ReadBytes(file),
            "FIO: Иванова Анна Сергеевна\r\nidFIO: 1\r\nUserNumber: 0\r\nUserCard: 12_345\r\n"
            "Sex: F\r\nBirthday: 1970 3 5\r\nNidOrgans: 1\r\nidOrgan: 3\r\n"
            "Organ: левая_доля;\r\nidDiagnosis: 2;\r\nDiagnosis: Общий диагноз\r\n"
            "Notes: первая строка\r\n"_cp);
  std::string p1 = Read(Dump("p1.json"));
  EXPECT_TRUE(Has(p1, R"j("items":["organ3 (левая доля)"],"selection":0)j")) << p1;
  EXPECT_TRUE(Has(p1, R"("items":["org3-d1"])")) << p1;
  std::string p2 = Read(Dump("p2.json"));
  EXPECT_TRUE(Has(p2, R"("items":["12_345: Иванова Анна Сергеевна"],"selection":0)")) << p2;
  EXPECT_TRUE(Has(
      p2, R"({"id":1020,"kind":"edit","text":"Иванова Анна Сергеевна; 5.3.1970; Общий диагноз ")"))
      << p2;

  Run("select 1004 0\nclick 1006\ndump " + Dump("e.json") +
          "\ntext 1001 Петрова\nclick 1007\nclick 1\n",
      run);
  std::string e = Read(Dump("e.json"));
  EXPECT_TRUE(Has(e, R"({"id":1009,"kind":"edit","text":"5.3.1970","visible":true)")) << e;
  EXPECT_TRUE(Has(e, R"j("items":["organ3 (левая_доля)"])j")) << e;
  EXPECT_TRUE(Has(e, R"({"id":1007,"kind":"button","text":"Записать в БД","visible":true)"));
  EXPECT_EQ(ReadBytes(file),
            "FIO: Петрова Анна Сергеевна\r\nidFIO: 1\r\nUserNumber: 0\r\nUserCard: 12_345\r\n"
            "Sex: F\r\nBirthday: 1970 3 5\r\nNidOrgans: 1\r\nidOrgan: 3\r\n"
            "Organ: левая_доля;\r\nidDiagnosis: 2;\r\nDiagnosis: Общий диагноз\r\n"
            "Notes: первая строка\r\n"_cp);

  Run("select 1004 0\nclick 1005\nanswer OK\nclick 1\n", run);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(LastBox(), "Стереть из списка пациентов:\n12_345: Петрова Анна Сергеевна?"_cp);
  EXPECT_EQ(host_.patients->head, nullptr);
}

TEST_F(RecordsDialogs, ANinthDiagnosisIsTheLastAndDuplicatesAreRefused) {
  records::PatientForm f;
  f.names[0] = "Limit";
  f.organs = {{4, "", {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {2, "", {}}};
  StorePatient(f);
  Run("select 1004 0\nclick 1006\n"
      "select 1124 1\nclick 1015\nselect 1004 9\nclick 1\nanswer OK\n"  // the tenth: refused
      "select 1124 0\nclick 1015\nselect 1004 0\nclick 1\nclick 1015\nselect 1004 0\nclick 1\n"
      "answer OK\n"  // org2's "other" twice: the second is a duplicate
      "click 1013\nselect 1004 1\nclick 1\nanswer OK\n"  // org2 again: a duplicate organ
      "click 1007\nclick 1\n",
      [this] { return records::RunPatientsDialog(nullptr, host_); });
  auto boxes = ui::MessageBoxHistory();
  ASSERT_GE(boxes.size(), 3u);
  EXPECT_EQ(boxes[boxes.size() - 3].text,
            "Слишком большое количество диагнозов; увеличте параметр N_DIAGNOSIS_MAX_PER_ORGAN"_cp);
  EXPECT_EQ(boxes[boxes.size() - 2].text, "Данный диагноз уже содержится в списке"_cp);
  EXPECT_EQ(boxes.back().text, "Данный орган уже содержится в списке"_cp);
  std::string bytes = ReadBytes(Record("DB", 1, "UserData"));
  EXPECT_TRUE(Has(bytes, "idOrgan: 4 2\r\n")) << bytes;
  EXPECT_TRUE(Has(bytes, "idDiagnosis: 1 2 3 4 5 6 7 8 9; 1;\r\n")) << bytes;
}

TEST_F(RecordsDialogs, BadInputAndAFailedStoreKeepTheFormAndSayWhy) {
  // The database folder becomes a file after opening: nothing can be stored.
  fs::remove_all(host_.roots().database() / "DB");
  WriteBytes(host_.roots().database() / "DB", "x");
  Run("click 1000\ntext 1001 Кузнецов Младший\ntext 1009 31.02.2020\nclick 1007\nanswer OK\n"
      "text 1009 abc\nclick 1007\nanswer OK\n"
      "text 1009 5-3-1970\nclick 1007\nanswer OK\ndump " +
          Dump("f.json") + "\nclick 1008\nclick 1\n",
      [this] { return records::RunPatientsDialog(nullptr, host_); });
  auto boxes = ui::MessageBoxHistory();
  ASSERT_GE(boxes.size(), 3u);
  EXPECT_EQ(boxes[boxes.size() - 3].text, records::BadBirthdayMessage("31.02.2020"));
  EXPECT_EQ(boxes[boxes.size() - 2].text, records::BadBirthdayMessage("abc"));
  EXPECT_EQ(boxes.back().text.rfind("Пациент не записан в базу данных:\n"_cp, 0), 0u);
  EXPECT_TRUE(Has(boxes.back().text, "Warning: failed to create database subdirectory\n"))
      << Cp1251ToUtf8(boxes.back().text);
  std::string json = Read(Dump("f.json"));
  EXPECT_TRUE(Has(json, R"({"id":1001,"kind":"edit","text":"Кузнецов Младший","visible":true)"))
      << json;
  EXPECT_TRUE(Has(json, R"("items":[],"selection":-1)"));
  EXPECT_EQ(host_.patients->head, nullptr);
}

TEST_F(RecordsDialogs, NamesEditedInTheChoiceDialogsAreSavedAndShown) {
  Run("click 1000\n"
      "click 1013\nselect 1004 1\ntext 1001 zzz\nclick 2\n"  // cancelled: nothing changes
      "click 1013\nselect 1004 0\ntext 1001  печень \ndump " +
          Dump("choice.json") + "\n" + Snapshot("organ_choice.png") +
          "click 1\n"
          "select 1124 0\nclick 1015\nselect 1004 2\ntext 1001 цирроз\nclick 1\ndump " +
          Dump("patient.json") + "\nclick 1008\nclick 1\n",
      [this] { return records::RunPatientsDialog(nullptr, host_); });
  std::string choice = Read(Dump("choice.json"));
  EXPECT_TRUE(Has(choice, R"("items":["1:  печень","2: org2","3: organ3","4: organ4","5: other"])"))
      << choice;
  EXPECT_TRUE(
      Has(choice, R"({"class":"KCD_ListWithNumberOrgans","template":148,"caption":"Органы")"))
      << choice;
  const fs::path organ = host_.roots().data() / "ENUMS" / "ORGAN";
  EXPECT_EQ(ReadBytes(organ / "organs.txt"),
            "1 печень\r\n2 org2\r\n3 organ3\r\n4 organ4\r\n5 other\r\n"_cp);
  EXPECT_EQ(ReadBytes(organ / "1.txt"),
            "other\r\norg1-d1\r\nцирроз\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n"_cp);
  EXPECT_EQ(host_.organs.Organ(1)->name, "печень"_cp);
  std::string patient = Read(Dump("patient.json"));
  EXPECT_TRUE(Has(patient, R"("items":["печень"],"selection":0)")) << patient;
  EXPECT_TRUE(Has(patient, R"("items":["цирроз"])")) << patient;
}

TEST_F(RecordsDialogs, GrownDialogsKeepEveryControlInside) {
  OperationDescription d;
  KCD_Patients patients(host_);
  KCD_Doctors surgeons(host_);
  KCDOperationDescription description(host_, d, false, true);
  struct Case {
    ui::Dialog* dialog;
    const char* picture;
  };
  for (const Case& c :
       {Case{&patients, "patients_grown.png"}, Case{&surgeons, "surgeons_grown.png"},
        Case{&description, "description_grown.png"}}) {
    ASSERT_TRUE(c.dialog->Create());
    c.dialog->ShowWindow(ui::SW_SHOW);
    ui::Rect r = c.dialog->ClientRect();
    c.dialog->SetClientSize(r.Width() * 3 / 2, r.Height() * 3 / 2);
    uitest::PumpFor(50);
    const ui::Rect client = c.dialog->ClientRect();
    EXPECT_GT(client.Width(), r.Width());
    for (int id : c.dialog->ItemIds()) {
      if (id < 0 || !c.dialog->IsItemVisible(id)) continue;
      ui::Rect item = c.dialog->ItemRect(id);
      EXPECT_TRUE(item.left >= 0 && item.top >= 0 && item.right <= client.right &&
                  item.bottom <= client.bottom)
          << c.picture << ": control " << id;
    }
    fs::create_directories(TACMON_RECORDS_SNAPSHOTS);
    c.dialog->Widget()->grab().save(QString(TACMON_RECORDS_SNAPSHOTS) + "/" + c.picture);
    if (c.dialog == &patients) {
      // The summary line stays above the record list.
      EXPECT_LE(c.dialog->ItemRect(1020).bottom, c.dialog->ItemRect(1004).top);
      c.dialog->SendCommand(1000);  // and the editing controls fit too
      uitest::PumpFor(20);
      for (int id : c.dialog->ItemIds()) {
        if (id > 0 && c.dialog->IsItemVisible(id)) {
          EXPECT_LE(c.dialog->ItemRect(id).bottom, client.bottom) << id;
        }
      }
      c.dialog->Widget()->grab().save(QString(TACMON_RECORDS_SNAPSHOTS) +
                                      "/patients_edit_grown.png");
    }
    c.dialog->DestroyWindow();
    uitest::PumpFor(20);
  }
}

TEST_F(RecordsDialogs, MissingDatabasesCloseTheDialogsAtOnce) {
  TestHost none(false);
  EXPECT_EQ(Run("answer OK\n", [&] { return records::RunPatientsDialog(nullptr, none); }),
            ui::IDCANCEL);
  EXPECT_EQ(LastBox(), "Не инициализирована база данных пациентов"_cp);
  EXPECT_EQ(Run("", [&] { return records::RunSurgeonsDialog(nullptr, none); }), ui::IDCANCEL);
  OperationDescription d;
  EXPECT_EQ(Run("answer OK\n", [&] { return records::RunOperationDescription(nullptr, none, d); }),
            ui::IDCANCEL);
  EXPECT_EQ(LastBox(), "Не инициализирована база данных пациентов"_cp);
}

class DescriptionDialog : public RecordsDialogs {
 protected:
  void SetUp() override {
    records::PatientForm f;
    f.names[0] = "Иванов"_cp;
    f.names[1] = "Иван"_cp;
    f.names[2] = "Иванович"_cp;
    f.card = "77";
    f.birthday = "1.2.1950";
    f.diagnosis = "ОД"_cp;
    f.notes = "заметки"_cp;
    f.organs = {{2, "верх"_cp, {2}}};
    StorePatient(f);
    doctor_item s = records::BuildSurgeon({{"Петров"_cp, "Пётр"_cp, "Петрович"_cp}});
    ASSERT_TRUE(records::StoreSurgeon(host_.surgeons, s, 0).stored);
  }
  int Open(const std::string& script, OperationDescription& d, bool editing = false) {
    return Run(script,
               [&] { return records::RunOperationDescription(nullptr, host_, d, editing); });
  }
};

TEST_F(DescriptionDialog, PicksPatientSurgeonOrganAndDiagnosisAndRestoresThemNextTime) {
  OperationDescription d;
  // Organs come in descending order of their names: "", other, organ4, organ3, org2, org1.
  ASSERT_EQ(Open("dump " + Dump("first.json") +
                     "\ntext 1119 Больница №1\nselect 1118 0\n"
                     "select 1117 0\nselect 1015 2\nselect 1016 3\ntext 1004 описание органа\n"
                     "text 1006 заметки к операции\n" +
                     Snapshot("description.png") + "click 1\n",
                 d),
            ui::IDOK);
  std::string first = Read(Dump("first.json"));
  EXPECT_TRUE(Has(first, R"({"id":1009,"kind":"edit","text":"1.1.1960")")) << first;
  EXPECT_TRUE(Has(first, R"({"id":1119,"kind":"combobox","text":"???")")) << first;
  EXPECT_TRUE(Has(first, R"("items":["","other","organ4","organ3","org2","org1"],"selection":0)"))
      << first;
  EXPECT_EQ(d.patientId, 1);
  EXPECT_EQ(d.cardNumber, "77");
  EXPECT_EQ(d.surgeonId, 1);
  EXPECT_EQ(d.familyName, "Иванов"_cp);
  EXPECT_EQ(d.firstName, "Иван"_cp);
  EXPECT_EQ(d.patronymic, "Иванович"_cp);
  EXPECT_EQ(d.sexIndex, 0);
  EXPECT_EQ(d.birthDay, 1);
  EXPECT_EQ(d.birthMonth, 2);
  EXPECT_EQ(d.birthYear, 1950);
  EXPECT_EQ(d.organId, 4);
  EXPECT_EQ(d.diagnosisIndex, 3);
  EXPECT_EQ(*host_.organs.Diagnosis(d.organId, d.diagnosisIndex), "org4-d2");
  EXPECT_EQ(d.organDescription, "описание органа"_cp);
  EXPECT_EQ(d.diagnosisDescription, "ОД"_cp);  // the patient's general diagnosis
  EXPECT_EQ(d.notes, "заметки к операции"_cp);
  EXPECT_EQ(d.hospital, "Больница №1"_cp);
  // A hospital typed for the first time joins the list.
  EXPECT_EQ(ReadBytes(host_.roots().data() / "ENUMS" / "hospital" / "hospitals.txt"),
            "Больница №1\r\n"_cp);
  ASSERT_EQ(host_.hospitals.Count(), 1);

  OperationDescription next;
  EXPECT_EQ(Open("dump " + Dump("second.json") + "\nclick 2\n", next), ui::IDCANCEL);
  std::string second = Read(Dump("second.json"));
  for (const char* piece :
       {R"({"id":1001,"kind":"edit","text":"Иванов")",
        R"({"id":1003,"kind":"edit","text":"Иванович")",
        R"({"id":1009,"kind":"edit","text":"1.2.1950")",
        R"({"id":1119,"kind":"combobox","text":"Больница №1")",
        R"("items":["","other","organ4","organ3","org2","org1"],"selection":2)",
        R"({"id":1004,"kind":"edit","text":"описание органа")",
        R"({"id":1006,"kind":"edit","text":"заметки к операции")", R"("selection":3})"})
    EXPECT_TRUE(Has(second, piece)) << piece << "\n" << second;
  // Cancel leaves the description as it was.
  EXPECT_EQ(next.patientId, 0);
  EXPECT_EQ(next.hospital, "");
}

TEST_F(DescriptionDialog, StoredRowsBeyondShrunkListsAreClamped) {
  OperationDescription d;
  ASSERT_EQ(Open("select 1015 2\nselect 1016 11\nclick 1\n", d), ui::IDOK);
  EXPECT_EQ(d.organId, 4);
  EXPECT_EQ(d.diagnosisIndex, 11);
  // The organ list shrinks to one organ with six diagnoses (rows 0 to 6).
  WriteBytes(host_.roots().data() / "ENUMS" / "ORGAN" / "organs.txt", "1 org1\r\n");
  records::LoadOrganTable(host_.organs);
  OperationDescription again;
  ASSERT_EQ(Open("dump " + Dump("clamped.json") + "\nclick 1\n", again), ui::IDOK);
  std::string json = Read(Dump("clamped.json"));
  EXPECT_TRUE(Has(json, R"("items":["","org1"],"selection":1)")) << json;
  EXPECT_EQ(again.organId, 1);
  EXPECT_EQ(again.diagnosisIndex, 6);
}

TEST_F(DescriptionDialog, EditingShowsTheDescriptionButTheRememberedDiagnosisRow) {
  OperationDescription d;
  ASSERT_EQ(Open("select 1015 3\nselect 1016 4\nclick 1\n", d), ui::IDOK);  // organ3, row 4
  OperationDescription existing;
  existing.familyName = "Сидоров"_cp;
  existing.birthDay = 9;
  existing.birthMonth = 8;
  existing.birthYear = 1977;
  existing.organId = 3;
  existing.diagnosisIndex = 1;
  existing.sexIndex = 1;
  ASSERT_EQ(Open("text 1009 7.7.1977\nclick 1\n", existing, true), ui::IDOK);
  EXPECT_EQ(existing.familyName, "Сидоров"_cp);
  EXPECT_EQ(existing.sexIndex, 1);
  EXPECT_EQ(existing.organId, 3);
  EXPECT_EQ(existing.diagnosisIndex, 4);
  EXPECT_EQ(existing.birthDay, 7);
  EXPECT_EQ(existing.birthMonth, 7);
}

}  // namespace

#include "records/kcd_operation_description.h"

#include <algorithm>
#include <cstring>

#include "medstore/medstore.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "records/dialog_parts.h"
#include "records/record_forms.h"

using records::Guarded;

namespace {

constexpr const char* kParameterSet = "KCDOperationDescription";
constexpr const char* kNoHospital = "???";

// Choices and descriptions stretch with the width, the notes also with the height.
constexpr int kAnchors[][2] = {{1119, 11}, {1118, 11}, {1117, 11}, {1015, 11}, {1016, 11},
                               {1004, 11}, {1005, 11}, {1006, 15}, {1010, 3},  {1013, 3},
                               {1018, 3},  {1, 6},     {2, 6},     {57670, 6}};

// Multi-line texts are kept with LF; the edits show CR LF.
Text1251 FromEdit(Text1251 s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

Text1251 ToEdit(const Text1251& s) { return records::EditText((s + "\n").c_str()); }

int GetInt(ParameterSet& set, const char* key, int fallback) {
  int32_t v = fallback;
  GetPar(key, v, set);
  return v;
}

Text1251 GetText(ParameterSet& set, const char* key, const char* fallback) {
  Text1251 v = fallback;
  GetPar(key, v, set);
  return v;
}

bool ByteGreater(const Text1251& a, const Text1251& b) {
  return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace

KCDOperationDescription::KCDOperationDescription(RecordsHost& host, OperationDescription& d,
                                                 bool editing, bool allowSurgeon)
    : Dialog(146), host_(host), target_(d), d_(d), editing_(editing), allowSurgeon_(allowSurgeon) {
  OnNotify(1118, ui::Notify::SelChange,
           [this](const ui::NotifyInfo&) { Guarded("2463442", [this] { OnPatientSelected(); }); });
  OnNotify(1117, ui::Notify::SelChange,
           [this](const ui::NotifyInfo&) { Guarded("2473442", [this] { OnSurgeonSelected(); }); });
  OnNotify(1015, ui::Notify::SelChange,
           [this](const ui::NotifyInfo&) { Guarded("2483442", [this] { OnOrganSelected(); }); });
  OnNotify(1119, ui::Notify::SelChange, [this](const ui::NotifyInfo&) {
    ui::ComboBox c = ComboItem(1119);
    if (const Text1251* name =
            host_.Hospitals().Name(static_cast<int>(c.GetItemData(c.GetCurSel()))))
      d_.hospital = *name;
  });
  OnCommand(1010, [this] { SetItemText(1004, ""); });
  OnCommand(1013, [this] { SetItemText(1005, ""); });
  OnCommand(1018, [this] { SetItemText(1006, ""); });
  OnCommand(1000, [] {});
  OnCommand(1007, [] {});
  OnCommand(1008, [] {});
  OnCommand(57670, [this] {
    ui::MessageBox(this,
                   "Выберите больницу, пациента и хирурга из списков, проверьте данные "
                   "пациента,\nвыберите орган и диагноз и нажмите \"OK\"."_cp,
                   "Описание операции"_cp);
  });
}

bool KCDOperationDescription::OnInitDialog() {
  const records::HospitalTable& hospitals = host_.Hospitals();
  std::vector<records::Row> rows;
  for (int i = 1; i <= hospitals.Count(); ++i) rows.emplace_back(*hospitals.Name(i), i);
  records::FillSorted(ComboItem(1119), std::move(rows));
  user_list* patients = host_.Patients();
  doctor_list* surgeons = host_.Surgeons();
  if (!patients || !surgeons) {
    ui::MessageBox(this, !patients ? "Не инициализирована база данных пациентов"_cp
                                   : "Не инициализирована база данных хирургов"_cp);
    EndDialog(ui::IDCANCEL);
    return true;
  }
  rows.clear();
  for (user_item* p = patients->head; p; p = p->next)
    rows.emplace_back(records::PatientRowText(*p), p->idFIO);
  records::FillSorted(ComboItem(1118), std::move(rows));
  rows.clear();
  for (doctor_item* s = surgeons->head; s; s = s->next)
    rows.emplace_back(records::SurgeonRowText(*s), s->idFIO);
  records::FillSorted(ComboItem(1117), std::move(rows));

  // Organs: an empty first row, then the names in descending byte order.
  const records::OrganTable& organs = host_.Organs();
  ui::ComboBox organCombo = ComboItem(1015);
  organCombo.SetItemData(organCombo.AddString(""), 0);
  std::vector<int> ids;
  for (int id = 1; id <= organs.Count(); ++id)
    if (!organs.entries[id].name.empty() && organs.entries[id].name != " ") ids.push_back(id);
  std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) {
    return ByteGreater(organs.entries[a].name, organs.entries[b].name);
  });
  for (int id : ids) organCombo.SetItemData(organCombo.AddString(organs.entries[id].name), id);

  // The last entries, or the description being edited.
  LoadPars(kParameterSet, &params_);
  Text1251 names[3] = {GetText(params_, "m_family", ""), GetText(params_, "m_first_name", ""),
                       GetText(params_, "m_patronimic", "")};
  int sex = GetInt(params_, "m_sex", 0);
  const Text1251 hospital = GetText(params_, "m_hospitals_list", kNoHospital);
  Text1251 birthday = GetText(params_, "m_birthday", "1.1.1960");
  int organRow = GetInt(params_, "m_organ", 0);
  Text1251 organText = GetText(params_, "m_sorgan", "");
  int diagnosisRow = GetInt(params_, "m_diagnosis", 0);
  Text1251 diagnosisText = GetText(params_, "m_sdiagnosis", "");
  Text1251 notes = GetText(params_, "m_snotes", "");
  int sensorType = GetInt(params_, "m_sensor_type_0wire", 0);
  organText = FromEdit(organText);
  diagnosisText = FromEdit(diagnosisText);
  notes = FromEdit(notes);

  ui::ComboBox hospitalCombo = ComboItem(1119);
  SetItemText(1119, hospital);
  if (!hospital.empty())
    for (int r = 0; r < hospitalCombo.GetCount(); ++r)
      if (hospitalCombo.GetLBText(r).compare(0, hospital.size(), hospital) == 0) {
        hospitalCombo.SetCurSel(r);
        break;
      }

  if (editing_) {
    names[0] = d_.familyName;
    names[1] = d_.firstName;
    names[2] = d_.patronymic;
    sex = d_.sexIndex;
    birthday = records::FormatBirthday(d_.birthDay, d_.birthMonth, d_.birthYear);
    organRow = std::max(0, records::FindRowByData(organCombo, d_.organId));
    organText = d_.organDescription;
    diagnosisRow = d_.diagnosisIndex;
    diagnosisText = d_.diagnosisDescription;
    notes = d_.notes;
    sensorType = d_.sensorType;
    if (int r = records::FindRowByData(ComboItem(1118), d_.patientId); r >= 0 && d_.patientId)
      ComboItem(1118).SetCurSel(r);
    if (int r = records::FindRowByData(ComboItem(1117), d_.surgeonId); r >= 0 && d_.surgeonId)
      ComboItem(1117).SetCurSel(r);
  }
  // A stored row beyond a list that has since shrunk is clamped.
  organRow = std::clamp(organRow, 0, organCombo.GetCount() - 1);
  FillDiagnoses(organRow);
  int32_t storedDiagnosisRow = 0;
  if (GetPar("m_diagnosis", storedDiagnosisRow, params_) == 0) diagnosisRow = storedDiagnosisRow;
  ui::ComboBox diagnosisCombo = ComboItem(1016);
  diagnosisRow = diagnosisCombo.GetCount() > 0
                     ? std::clamp(diagnosisRow, 0, diagnosisCombo.GetCount() - 1)
                     : -1;

  for (int i = 0; i < 3; ++i) SetItemText(1001 + i, names[i]);
  CheckRadioButton(1011, 1012, sex == 1 ? 1012 : 1011);
  SetItemText(1009, birthday);
  organCombo.SetCurSel(organRow);
  diagnosisCombo.SetCurSel(diagnosisRow);
  SetItemText(1004, ToEdit(organText));
  SetItemText(1005, ToEdit(diagnosisText));
  SetItemText(1006, ToEdit(notes));
  CheckRadioButton(1014, 1017, sensorType == 1 ? 1017 : 1014);

  for (const auto& a : kAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  return true;
}

void KCDOperationDescription::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

int KCDOperationDescription::OrganIdOfRow(int row) {
  ui::ComboBox c = ComboItem(1015);
  if (row < 0 || row >= c.GetCount()) return 0;
  int id = static_cast<int>(c.GetItemData(row));
  return host_.Organs().HasOrgan(id) ? id : 0;
}

void KCDOperationDescription::FillDiagnoses(int organRow) {
  ui::ComboBox c = ComboItem(1016);
  c.ResetContent();
  const int organId = OrganIdOfRow(organRow);
  if (!organId) return;
  // Row = diagnosis id, the empty entry 0 first.
  const records::OrganEntry& organ = *host_.Organs().Organ(organId);
  for (const Text1251& name : organ.diagnoses) c.AddString(name);
}

void KCDOperationDescription::OnOrganSelected() { FillDiagnoses(ComboItem(1015).GetCurSel()); }

void KCDOperationDescription::OnPatientSelected() {
  ui::ComboBox c = ComboItem(1118);
  int row = c.GetCurSel();
  if (row < 0) return;
  const user_item* p = GetPatientByID(static_cast<int>(c.GetItemData(row)), host_.Patients());
  if (!p) return;
  d_.patientId = p->idFIO;
  d_.cardNumber = Text1251(p->UserCard, strnlen(p->UserCard, sizeof p->UserCard));
  for (int i = 0; i < 3; ++i) SetItemText(1001 + i, Text1251(p->FIO[i], strnlen(p->FIO[i], 64)));
  if (p->Sex == 1 || p->Sex == 2) CheckRadioButton(1011, 1012, p->Sex == 2 ? 1012 : 1011);
  SetItemText(1009, records::FormatBirthday(p->Birthday[2], p->Birthday[1], p->Birthday[0]));
  SetItemText(1005, records::EditText(p->Diagnosis));
  SetItemText(1006, records::EditText(p->Notes));
  if (p->NidOrgans > 0) {
    ui::ComboBox organs = ComboItem(1015);
    int organRow = std::max(0, records::FindRowByData(organs, p->idOrgan[0]));
    organs.SetCurSel(organRow);
    SetItemText(1004, Text1251(p->Organ[0], strnlen(p->Organ[0], sizeof p->Organ[0])));
    FillDiagnoses(organRow);
  }
}

void KCDOperationDescription::OnSurgeonSelected() {
  if (!allowSurgeon_) return;
  ui::ComboBox c = ComboItem(1117);
  int row = c.GetCurSel();
  if (row >= 0) d_.surgeonId = static_cast<int>(c.GetItemData(row));
}

Text1251 KCDOperationDescription::ChosenHospital() {
  records::HospitalTable& hospitals = host_.Hospitals();
  const Text1251 typed = records::EnumName(ItemText(1119));
  if (typed.empty() || typed == kNoHospital) return {};
  for (int i = 1; i <= hospitals.Count(); ++i)
    if (*hospitals.Name(i) == typed) return typed;
  // A hospital typed for the first time joins the list.
  records::AddHospital(hospitals, typed);
  records::SaveHospitalTable(hospitals);
  return typed;
}

void KCDOperationDescription::OnOK() {
  const Text1251 birthdayText = ItemText(1009);
  auto birthday = records::ParseBirthday(birthdayText);
  if (!birthday) {
    ui::MessageBox(this, records::BadBirthdayMessage(birthdayText));
    SetFocusItem(1009);
    return;
  }
  d_.familyName = records::StorableWord(ItemText(1001), records::kNameMax);
  d_.firstName = records::StorableWord(ItemText(1002), records::kNameMax);
  d_.patronymic = records::StorableWord(ItemText(1003), records::kNameMax);
  d_.sexIndex = GetCheck(1012) ? 1 : 0;
  d_.birthDay = birthday->day;
  d_.birthMonth = birthday->month;
  d_.birthYear = birthday->year;
  const int organRow = std::max(0, ComboItem(1015).GetCurSel());
  d_.organId = OrganIdOfRow(organRow);
  d_.organDescription = FromEdit(ItemText(1004));
  const int diagnosisRow = std::max(0, ComboItem(1016).GetCurSel());
  d_.diagnosisIndex = host_.Organs().Diagnosis(d_.organId, diagnosisRow) ? diagnosisRow : 0;
  d_.diagnosisDescription = FromEdit(ItemText(1005));
  d_.notes = FromEdit(ItemText(1006));
  d_.sensorType = GetCheck(1017) ? 1 : 0;
  d_.hospital = ChosenHospital();

  SetPar("m_family", params_, ItemText(1001));
  SetPar("m_first_name", params_, ItemText(1002));
  SetPar("m_patronimic", params_, ItemText(1003));
  SetPar("m_sex", params_, int32_t{d_.sexIndex});
  SetPar("m_hospitals_list", params_, ItemText(1119));
  SetPar("m_birthday", params_, birthdayText);
  SetPar("m_organ", params_, int32_t{organRow});
  SetPar("m_sorgan", params_, ItemText(1004));
  SetPar("m_diagnosis", params_, int32_t{diagnosisRow});
  SetPar("m_sdiagnosis", params_, ItemText(1005));
  SetPar("m_snotes", params_, ItemText(1006));
  SetPar("m_sensor_type_0wire", params_, int32_t{d_.sensorType});
  if (SavePars(&params_) != 0)
    AddLogMessage("(2493442)Не удается записать параметры KCDOperationDescription"_cp);
  target_ = d_;
  EndDialog(ui::IDOK);
}

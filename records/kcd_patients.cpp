#include "records/kcd_patients.h"

#include <algorithm>

#include "medstore/medstore.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "records/dialog_parts.h"
#include "records/kcd_list_with_number.h"
#include "records/record_store.h"

using records::Guarded;

namespace {

constexpr std::initializer_list<int> kEditing = {
    1118, 1119, 1120, 1001, 1002, 1003, 1130, 1023, 1121, 1011, 1012, 1122, 1009, 1127, 1124, 1013,
    1014, 1128, 1125, 1015, 1016, 1129, 1021, 1022, 1123, 1010, 1018, 1126, 1017, 1019, 1007, 1008};
constexpr std::initializer_list<int> kBrowsing = {1004, 1000, 1005, 1006, 1};

// The summary line stays above the record list, which stretches from its top.
constexpr int kAnchors[][2] = {
    {1004, 15}, {1118, 12}, {1119, 12}, {1120, 12}, {1001, 12}, {1002, 12}, {1003, 12}, {1130, 12},
    {1023, 12}, {1121, 12}, {1011, 12}, {1012, 12}, {1122, 12}, {1009, 12}, {1127, 12}, {1124, 12},
    {1013, 12}, {1014, 12}, {1128, 12}, {1129, 12}, {1007, 12}, {1008, 12}, {1000, 6},  {1005, 6},
    {1006, 6},  {1, 6},     {1018, 6},  {1019, 6},  {1015, 6},  {1016, 6},  {1022, 6},  {57670, 3},
    {1010, 14}, {1017, 14}, {1123, 14}, {1126, 14}, {1125, 14}, {1020, 11}, {1021, 14}};

const char* kTooManyDiagnoses =
    "Слишком большое количество диагнозов; увеличте параметр N_DIAGNOSIS_MAX_PER_ORGAN"_cp;

}  // namespace

KCD_Patients::KCD_Patients(RecordsHost& host) : Dialog(155), host_(host) {
  OnCommand(1000, [this] { Guarded("1113442", [this] { OnNew(); }); });
  OnCommand(1006, [this] { Guarded("1933442", [this] { OnEdit(); }); });
  OnNotify(1004, ui::Notify::DoubleClicked,
           [this](const ui::NotifyInfo&) { Guarded("1933442", [this] { OnEdit(); }); });
  OnNotify(1004, ui::Notify::SelChange,
           [this](const ui::NotifyInfo&) { Guarded("1943442", [this] { OnPatientSelected(); }); });
  OnCommand(1005, [this] { Guarded("1233442", [this] { OnDelete(); }); });
  OnCommand(1007, [this] { Guarded("1463442", [this] { OnStore(); }); });
  OnCommand(1008, [this] { Guarded("1673442", [this] { OnCancelEdit(); }); });
  OnCommand(1013, [this] { Guarded("1713442", [this] { OnAddOrgan(); }); });
  OnCommand(1014, [this] { Guarded("1723442", [this] { OnRemoveOrgan(); }); });
  OnNotify(1124, ui::Notify::SelChange,
           [this](const ui::NotifyInfo&) { Guarded("1733442", [this] { OnOrganSelected(); }); });
  OnCommand(1022, [this] { Guarded("1743442", [this] { OnApplyOrganText(); }); });
  OnCommand(1015, [this] { Guarded("1753442", [this] { OnAddDiagnosis(); }); });
  OnCommand(1016, [this] { Guarded("1763442", [this] { OnRemoveDiagnosis(); }); });
  OnCommand(1018, [] {});
  OnCommand(1019, [] {});
  OnCommand(57670, [this] {
    ui::MessageBox(this,
                   "\"Новый\" - добавить пациента, \"Редактировать\" (или двойной щелчок) - "
                   "изменить выбранного,\n\"Стереть\" - удалить выбранных из базы данных.\n"
                   "Органы выбираются из списка органов, диагнозы - из списка диагнозов органа."_cp,
                   "Пациенты"_cp);
  });
}

bool KCD_Patients::OnInitDialog() {
  user_list* db = host_.Patients();
  if (!db) {
    ui::MessageBox(this, "Не инициализирована база данных пациентов"_cp);
    EndDialog(ui::IDCANCEL);
    return true;
  }
  std::vector<records::Row> rows;
  for (user_item* p = db->head; p; p = p->next)
    rows.emplace_back(records::PatientRowText(*p), p->idFIO);
  records::FillSorted(ListBoxItem(1004), std::move(rows));
  ShowEditing(false);
  for (const auto& a : kAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  return true;
}

void KCD_Patients::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

void KCD_Patients::ShowEditing(bool editing) {
  records::ShowItems(*this, kEditing, editing);
  records::ShowItems(*this, kBrowsing, !editing);
  if (!editing) mode = 0;
}

void KCD_Patients::ShowForm(const records::PatientForm& f) {
  for (int i = 0; i < 3; ++i) SetItemText(1001 + i, f.names[i]);
  SetItemText(1023, f.card);
  SetCheck(1011, f.sexIndex == 0);
  SetCheck(1012, f.sexIndex == 1);
  SetItemText(1009, f.birthday);
  SetItemText(1010, f.notes);
  SetItemText(1017, f.diagnosis);
  SetItemText(1021, "");
  organs_ = f.organs;
  organIndex_ = -1;
  RebuildOrganList();
  ShowDiagnoses();
}

void KCD_Patients::OnNew() {
  ShowForm(records::PatientForm{});
  SetItemText(1007, "Добавить"_cp);
  mode = 1;
  editId = 0;
  ShowEditing(true);
  SetFocusItem(1001);
}

void KCD_Patients::OnEdit() {
  const int id = records::ChosenRecordId(*this, ListBoxItem(1004));
  if (!id) return;
  user_item* p = GetPatientByID(id, host_.Patients());
  if (!p) {
    AddLogMessage("Не найден пациент, соответствующий записи в списке"_cp);
    return;
  }
  ShowForm(records::FormFromPatient(*p));
  SetItemText(1007, "Записать в БД"_cp);
  mode = 2;
  editId = id;
  ShowEditing(true);
}

void KCD_Patients::OnStore() {
  if (mode != 1 && mode != 2) return;
  records::PatientForm form;
  for (int i = 0; i < 3; ++i) form.names[i] = ItemText(1001 + i);
  form.card = ItemText(1023);
  form.sexIndex = GetCheck(1011) ? 0 : GetCheck(1012) ? 1 : -1;
  form.birthday = ItemText(1009);
  form.notes = ItemText(1010);
  form.diagnosis = ItemText(1017);
  form.organs = organs_;
  records::PatientRecord record;
  if (auto why = records::BuildPatient(form, host_.Organs(), record)) {
    ui::MessageBox(this, *why);
    SetFocusItem(1009);
    return;
  }
  user_item& item = *record.Item();
  records::StoreOutcome out = records::StorePatient(host_.Patients(), item, mode == 2 ? editId : 0);
  if (!out.stored) {
    // The form stays as typed for another try.
    ui::MessageBox(this, "Пациент не записан в базу данных:\n"_cp + out.Why());
    return;
  }
  records::PutRecordRow(ListBoxItem(1004), mode == 2 ? editId : 0, records::PatientRowText(item),
                        out.id);
  ShowEditing(false);
}

void KCD_Patients::OnCancelEdit() { ShowEditing(false); }

void KCD_Patients::OnPatientSelected() {
  ui::ListBox list = ListBoxItem(1004);
  int row = list.GetCurSel();
  if (row < 0) return;
  if (user_item* p = GetPatientByID(static_cast<int>(list.GetItemData(row)), host_.Patients()))
    SetItemText(1020, records::PatientSummary(*p));
}

void KCD_Patients::OnDelete() {
  records::DeleteChosenRecords(
      *this, ListBoxItem(1004),
      [](const std::vector<Text1251>& texts) { return records::DeleteQuestion(true, texts); },
      [this](int id) -> records::DeleteOutcome {
        const records::StoreOutcome out = records::DeletePatient(host_.Patients(), id);
        return {out.stored, out.id, out.stored ? Text1251() : out.Why()};
      },
      [this](int id) { return GetPatientByID(id, host_.Patients()) != nullptr; });
}

// ---- organs and diagnoses of the record being edited ----

records::OrganRow* KCD_Patients::SelectedOrgan() {
  return organIndex_ >= 0 && organIndex_ < static_cast<int>(organs_.size()) ? &organs_[organIndex_]
                                                                            : nullptr;
}

void KCD_Patients::RebuildOrganList() {
  ui::ListBox list = ListBoxItem(1124);
  list.ResetContent();
  std::vector<records::Row> rows;
  for (size_t i = 0; i < organs_.size(); ++i)
    rows.emplace_back(records::OrganRowText(host_.Organs(), organs_[i]), static_cast<intptr_t>(i));
  records::FillSorted(list, std::move(rows));
  if (SelectedOrgan()) list.SetCurSel(records::FindRowByData(list, organIndex_));
}

void KCD_Patients::ShowDiagnoses() {
  ui::ListBox list = ListBoxItem(1125);
  list.ResetContent();
  const records::OrganRow* organ = SelectedOrgan();
  if (!organ) return;
  std::vector<records::Row> rows;
  for (int32_t d : organ->diagnoses)
    if (const Text1251* name = host_.Organs().Diagnosis(organ->id, d)) rows.emplace_back(*name, d);
  records::FillSorted(list, std::move(rows));
}

void KCD_Patients::OnOrganSelected() {
  ui::ListBox list = ListBoxItem(1124);
  int row = list.GetCurSel();
  organIndex_ = row >= 0 ? static_cast<int>(list.GetItemData(row)) : -1;
  const records::OrganRow* organ = SelectedOrgan();
  SetItemText(1021, organ ? organ->description : Text1251());
  ShowDiagnoses();
}

void KCD_Patients::OnAddOrgan() {
  if (organs_.size() >= static_cast<size_t>(records::NORGANS_MAX)) {
    ui::MessageBox(this,
                   "Слишком большое количество органов.\n В программе следует увеличить "
                   "константу NORGANS_MAX"_cp);
    return;
  }
  KCD_ListWithNumberOrgans choice(host_.Organs());
  if (choice.DoModal(this) != ui::IDOK) {
    RebuildOrganList();
    return;
  }
  const int id = choice.ChosenId();
  RebuildOrganList();  // a renamed organ shows its new name
  if (id <= 0) return;
  for (const records::OrganRow& r : organs_)
    if (r.id == id) {
      ui::MessageBox(this, "Данный орган уже содержится в списке"_cp);
      return;
    }
  organs_.push_back(records::OrganRow{id, {}, {}});
  organIndex_ = static_cast<int>(organs_.size()) - 1;
  RebuildOrganList();
  SetItemText(1021, "");
  ShowDiagnoses();
}

void KCD_Patients::OnRemoveOrgan() {
  ui::ListBox list = ListBoxItem(1124);
  int row = list.GetCurSel();
  if (row < 0) return;
  const intptr_t index = list.GetItemData(row);
  if (index < 0 || index >= static_cast<intptr_t>(organs_.size())) return;
  organs_.erase(organs_.begin() + index);
  organIndex_ = -1;
  RebuildOrganList();
  SetItemText(1021, "");
  ShowDiagnoses();
}

void KCD_Patients::OnApplyOrganText() {
  if (!SelectedOrgan() && organs_.size() == 1) organIndex_ = 0;
  records::OrganRow* organ = SelectedOrgan();
  if (!organ) return;
  organ->description = ItemText(1021);
  RebuildOrganList();
}

void KCD_Patients::OnAddDiagnosis() {
  records::OrganRow* organ = SelectedOrgan();
  if (!organ || !host_.Organs().HasOrgan(organ->id)) return;
  const int organId = organ->id;
  KCD_ListWithNumberDiagnosis choice(host_.Organs(), organId);
  const bool ok = choice.DoModal(this) == ui::IDOK;
  organ = SelectedOrgan();
  if (ok && organ && choice.ChosenId() > 0) {
    const int id = choice.ChosenId();
    if (organ->diagnoses.size() >= static_cast<size_t>(records::N_DIAGNOSIS_MAX_PER_ORGAN)) {
      AddLogMessage(kTooManyDiagnoses);
      ui::MessageBox(this, kTooManyDiagnoses);
    } else if (std::find(organ->diagnoses.begin(), organ->diagnoses.end(), id) !=
               organ->diagnoses.end()) {
      ui::MessageBox(this, "Данный диагноз уже содержится в списке"_cp);
    } else {
      organ->diagnoses.push_back(id);
    }
  }
  ShowDiagnoses();
}

void KCD_Patients::OnRemoveDiagnosis() {
  records::OrganRow* organ = SelectedOrgan();
  ui::ListBox list = ListBoxItem(1125);
  int row = list.GetCurSel();
  if (!organ || row < 0) return;
  auto it = std::find(organ->diagnoses.begin(), organ->diagnoses.end(),
                      static_cast<int32_t>(list.GetItemData(row)));
  if (it != organ->diagnoses.end()) organ->diagnoses.erase(it);
  ShowDiagnoses();
}

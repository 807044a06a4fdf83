#include "records/kcd_doctors.h"

#include <algorithm>
#include <cstring>

#include "medstore/medstore.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "records/dialog_parts.h"
#include "records/record_forms.h"
#include "records/record_store.h"

using records::Guarded;

namespace {

constexpr int kAnchors[][2] = {{1004, 15}, {1118, 12}, {1119, 12}, {1120, 12}, {1001, 12},
                               {1002, 12}, {1003, 12}, {1007, 12}, {1008, 12}, {1000, 6},
                               {1005, 6},  {1006, 6},  {1, 6},     {57670, 3}};

}  // namespace

KCD_Doctors::KCD_Doctors(RecordsHost& host) : Dialog(154), host_(host) {
  OnCommand(1000, [this] { Guarded("1113442", [this] { OnNew(); }); });
  OnCommand(1006, [this] { Guarded("1933442", [this] { OnEdit(); }); });
  OnCommand(1005, [this] { Guarded("1233442", [this] { OnDelete(); }); });
  OnCommand(1007, [this] { Guarded("1463442", [this] { OnStore(); }); });
  OnCommand(1008, [this] { Guarded("1673442", [this] { OnCancelEdit(); }); });
  OnCommand(57670, [this] {
    ui::MessageBox(this,
                   "\"Новый\" - добавить хирурга, \"Редактировать\" - изменить выбранного,\n"
                   "\"Стереть\" - удалить выбранных из базы данных."_cp,
                   "Хирурги"_cp);
  });
}

bool KCD_Doctors::OnInitDialog() {
  doctor_list* db = host_.Surgeons();
  if (!db) {
    AddLogMessage("Не инициализирована база данных хирургов"_cp);
    EndDialog(ui::IDCANCEL);
    return true;
  }
  std::vector<records::Row> rows;
  for (doctor_item* d = db->head; d; d = d->next)
    rows.emplace_back(records::SurgeonRowText(*d), d->idFIO);
  records::FillSorted(ListBoxItem(1004), std::move(rows));
  ShowEditing(false);
  for (const auto& a : kAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  return true;
}

void KCD_Doctors::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

void KCD_Doctors::ShowEditing(bool editing) {
  records::ShowItems(*this, {1118, 1119, 1120, 1001, 1002, 1003, 1007, 1008}, editing);
  records::ShowItems(*this, {1004, 1000, 1005, 1006, 1}, !editing);
  if (!editing) mode = 0;
}

void KCD_Doctors::OnNew() {
  for (int id : {1001, 1002, 1003}) SetItemText(id, "");
  SetItemText(1007, "Добавить"_cp);
  mode = 1;
  editId = 0;
  ShowEditing(true);
  SetFocusItem(1001);
}

void KCD_Doctors::OnEdit() {
  const int id = records::ChosenRecordId(*this, ListBoxItem(1004));
  if (!id) return;
  doctor_item* d = GetDoctorByID(id, host_.Surgeons());
  if (!d) {
    AddLogMessage("Не найден хирург, соответствующий записи в списке"_cp);
    return;
  }
  for (int i = 0; i < 3; ++i) SetItemText(1001 + i, Text1251(d->FIO[i], strnlen(d->FIO[i], 64)));
  SetItemText(1007, "Записать в БД"_cp);
  mode = 2;
  editId = id;
  ShowEditing(true);
}

void KCD_Doctors::OnStore() {
  if (mode != 1 && mode != 2) return;
  records::SurgeonForm form;
  for (int i = 0; i < 3; ++i) form.names[i] = ItemText(1001 + i);
  doctor_item item = records::BuildSurgeon(form);
  records::StoreOutcome out = records::StoreSurgeon(host_.Surgeons(), item, mode == 2 ? editId : 0);
  if (!out.stored) {
    // The typed names stay for another try.
    ui::MessageBox(this, "Хирург не записан в базу данных:\n"_cp + out.Why());
    return;
  }
  records::PutRecordRow(ListBoxItem(1004), mode == 2 ? editId : 0, records::SurgeonRowText(item),
                        out.id);
  ShowEditing(false);
}

void KCD_Doctors::OnCancelEdit() { ShowEditing(false); }

void KCD_Doctors::OnDelete() {
  records::DeleteChosenRecords(
      *this, ListBoxItem(1004),
      [](const std::vector<Text1251>& texts) { return records::DeleteQuestion(false, texts); },
      [this](int id) -> records::DeleteOutcome {
        const records::StoreOutcome out = records::DeleteSurgeon(host_.Surgeons(), id);
        return {out.stored, out.id, out.stored ? Text1251() : out.Why()};
      },
      [this](int id) { return GetDoctorByID(id, host_.Surgeons()) != nullptr; });
}

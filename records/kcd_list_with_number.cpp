#include "records/kcd_list_with_number.h"

#include <QListWidget>
#include <cstdio>

#include "platform/report.h"
#include "platform/ui/qt_text.h"

namespace {

std::vector<Text1251> OrganNames(const records::OrganTable& t, std::vector<int>& ids) {
  std::vector<Text1251> names;
  for (int id = 1; id <= t.Count(); ++id)
    if (!t.entries[id].name.empty()) {
      names.push_back(t.entries[id].name);
      ids.push_back(id);
    }
  return names;
}

std::vector<Text1251> DiagnosisNames(const records::OrganTable& t, int organId,
                                     std::vector<int>& ids) {
  std::vector<Text1251> names;
  for (int d = 1; d <= t.DiagnosisCount(organId); ++d)
    if (!t.Diagnosis(organId, d)->empty()) {
      names.push_back(*t.Diagnosis(organId, d));
      ids.push_back(d);
    }
  return names;
}

}  // namespace

KCD_ListWithNumber::KCD_ListWithNumber(Text1251 title, std::vector<Text1251> n, std::vector<int> i)
    : Dialog(148), names(std::move(n)), ids(std::move(i)), title_(std::move(title)) {
  OnNotify(1004, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { OnSelect(); });
  OnNotify(1001, ui::Notify::Change, [this](const ui::NotifyInfo&) { OnEdited(); });
}

Text1251 KCD_ListWithNumber::RowText(int row) const {
  char number[16];
  std::snprintf(number, sizeof number, "%d: ", row + 1);
  return number + names[row];
}

bool KCD_ListWithNumber::OnInitDialog() {
  SetCaption(title_);
  ui::ListBox list = ListBoxItem(1004);
  for (size_t r = 0; r < names.size(); ++r) list.InsertString(-1, RowText(static_cast<int>(r)));
  return true;
}

void KCD_ListWithNumber::OnSelect() {
  int row = ListBoxItem(1004).GetCurSel();
  if (row < 0 || row >= static_cast<int>(names.size())) return;
  filling_ = true;
  SetItemText(1001, names[row]);
  filling_ = false;
}

void KCD_ListWithNumber::OnEdited() {
  if (filling_) return;
  ui::ListBox list = ListBoxItem(1004);
  int row = list.GetCurSel();
  if (row < 0 || row >= static_cast<int>(names.size())) return;
  names[row] = ItemText(1001);
  // Rewrites the row in place, keeping its selection.
  if (QListWidgetItem* item = list.Widget()->item(row)) item->setText(ui::ToQString(RowText(row)));
}

void KCD_ListWithNumber::OnOK() {
  ui::ListBox list = ListBoxItem(1004);
  chosenRow = list.GetCurSel();
  selectedRows = list.GetSelItems();
  // The names come back from the rows (the text after "N: ").
  for (int r = 0; r < list.GetCount() && r < static_cast<int>(names.size()); ++r) {
    Text1251 t = list.GetText(r);
    size_t colon = t.find(": ");
    if (colon != Text1251::npos) names[r] = t.substr(colon + 2);
  }
  EndDialog(ui::IDOK);
}

int KCD_ListWithNumber::ChosenId() const {
  return chosenRow >= 0 && chosenRow < static_cast<int>(ids.size()) ? ids[chosenRow] : 0;
}

KCD_ListWithNumberOrgans::KCD_ListWithNumberOrgans(records::OrganTable& organs)
    : KCD_ListWithNumber("Органы"_cp, {}, {}), organs_(organs) {
  names = OrganNames(organs, ids);
}

void KCD_ListWithNumberOrgans::OnOK() {
  KCD_ListWithNumber::OnOK();
  if (records::RenameOrgans(organs_, ids, names)) records::SaveOrganList(organs_);
}

KCD_ListWithNumberDiagnosis::KCD_ListWithNumberDiagnosis(records::OrganTable& organs, int organId)
    : KCD_ListWithNumber("Диагнозы"_cp, {}, {}), organs_(organs), organId_(organId) {
  names = DiagnosisNames(organs, organId, ids);
}

void KCD_ListWithNumberDiagnosis::OnOK() {
  KCD_ListWithNumber::OnOK();
  if (records::RenameDiagnoses(organs_, organId_, ids, names))
    records::SaveDiagnoses(organs_, organId_);
}

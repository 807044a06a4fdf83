#include "records/kcd_list_with_number.h"

#include <QListWidget>
#include <QSignalBlocker>
#include <cstdio>

#include "platform/report.h"
#include "platform/ui/qt_text.h"
#include "records/operation_lists.h"

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
    : KCD_ListWithNumber(148, std::move(title), std::move(n), std::move(i)) {}

KCD_ListWithNumber::KCD_ListWithNumber(int templateId, Text1251 title, std::vector<Text1251> n,
                                       std::vector<int> i)
    : Dialog(templateId), names(std::move(n)), ids(std::move(i)), title_(std::move(title)) {
  OnNotify(1004, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { OnSelect(); });
  OnNotify(1001, ui::Notify::Change, [this](const ui::NotifyInfo&) { OnEdited(); });
}

Text1251 KCD_ListWithNumber::RowText(int position) const {
  return records::NumberedRow(position, names[position]);
}

bool KCD_ListWithNumber::OnInitDialog() {
  SetCaption(title_);
  std::vector<int> all(names.size());
  for (size_t r = 0; r < all.size(); ++r) all[r] = static_cast<int>(r);
  ShowPositions(all);
  return true;
}

void KCD_ListWithNumber::ShowPositions(const std::vector<int>& positions) {
  ui::ListBox list = ListBoxItem(1004);
  list.ResetContent();
  rowPositions_.clear();
  // One-line rows: the view need not measure each of them (long lists fill in one pass).
  list.Widget()->setUniformItemSizes(true);
  QSignalBlocker block(list.Widget());
  for (int p : positions) {
    if (p < 0 || p >= static_cast<int>(names.size())) continue;
    const int row = list.InsertString(-1, RowText(p));
    if (p < static_cast<int>(ids.size())) list.SetItemData(row, ids[p]);
    rowPositions_.push_back(p);
  }
}

int KCD_ListWithNumber::PositionOfRow(int row) const {
  return row >= 0 && row < static_cast<int>(rowPositions_.size()) ? rowPositions_[row] : -1;
}

int KCD_ListWithNumber::RowOfPosition(int position) const {
  for (size_t r = 0; r < rowPositions_.size(); ++r)
    if (rowPositions_[r] == position) return static_cast<int>(r);
  return -1;
}

void KCD_ListWithNumber::RemoveRow(int row) {
  if (row < 0 || row >= static_cast<int>(rowPositions_.size())) return;
  ListBoxItem(1004).DeleteString(row);
  rowPositions_.erase(rowPositions_.begin() + row);
}

void KCD_ListWithNumber::OnSelect() {
  const int p = PositionOfRow(ListBoxItem(1004).GetCurSel());
  if (p < 0) return;
  filling_ = true;
  SetItemText(1001, names[p]);
  filling_ = false;
}

void KCD_ListWithNumber::ShowCurrentName() {
  const int p = PositionOfRow(ListBoxItem(1004).GetCurSel());
  filling_ = true;
  SetItemText(1001, p >= 0 ? names[p] : Text1251());
  filling_ = false;
}

void KCD_ListWithNumber::OnEdited() {
  if (filling_) return;
  ui::ListBox list = ListBoxItem(1004);
  const int row = list.GetCurSel();
  const int p = PositionOfRow(row);
  if (p < 0) return;
  names[p] = ItemText(1001);
  // Rewrites the row in place, keeping its selection.
  if (QListWidgetItem* item = list.Widget()->item(row)) item->setText(ui::ToQString(RowText(p)));
}

void KCD_ListWithNumber::CollectChoice() {
  ui::ListBox list = ListBoxItem(1004);
  chosenRow = PositionOfRow(list.GetCurSel());
  selectedRows.clear();
  for (int r : list.GetSelItems()) selectedRows.push_back(PositionOfRow(r));
  // The names come back from the rows (the text after "N: ").
  for (int r = 0; r < list.GetCount(); ++r) {
    const int p = PositionOfRow(r);
    if (p < 0) continue;
    const Text1251 t = list.GetText(r);
    if (t.find(": ") != Text1251::npos) names[p] = records::TextOfRow(t);
  }
}

void KCD_ListWithNumber::OnOK() {
  CollectChoice();
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

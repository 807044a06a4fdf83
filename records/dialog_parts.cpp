#include "records/dialog_parts.h"

#include <QComboBox>
#include <QListWidget>
#include <algorithm>
#include <exception>

#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"

namespace records {
namespace {

bool LessNoCase(const Text1251& a, const Text1251& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Cp1251Lower(static_cast<unsigned char>(a[i]));
    unsigned char y = Cp1251Lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

void SortRows(std::vector<Row>& rows) {
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return LessNoCase(a.first, b.first); });
}

}  // namespace

void FillSorted(ui::ListBox list, std::vector<Row> rows) {
  if (!list.Valid()) return;
  SortRows(rows);
  QListWidget* w = list.Widget();
  // One-line rows: the view need not measure each of them (long lists fill in one pass).
  w->setUniformItemSizes(true);
  QSignalBlocker block(w);
  const int first = list.GetCount();
  for (const Row& r : rows) list.InsertString(-1, r.first);
  for (size_t i = 0; i < rows.size(); ++i)
    list.SetItemData(first + static_cast<int>(i), rows[i].second);
}

void FillSorted(ui::ComboBox combo, std::vector<Row> rows) {
  if (!combo.Valid()) return;
  SortRows(rows);
  for (const Row& r : rows) {
    int i = combo.InsertString(-1, r.first);
    combo.SetItemData(i, r.second);
  }
}

int FindRowByData(ui::ListBox list, intptr_t data) {
  for (int r = 0; r < list.GetCount(); ++r)
    if (list.GetItemData(r) == data) return r;
  return -1;
}

int ChosenRecordId(ui::Dialog& d, ui::ListBox list) {
  std::vector<int> selected = list.GetSelItems();
  if (selected.empty()) {
    ui::MessageBox(&d, "Запись в списке не выбрана"_cp);
    return 0;
  }
  const int cur = list.GetCurSel();
  const int row =
      std::find(selected.begin(), selected.end(), cur) != selected.end() ? cur : selected[0];
  return static_cast<int>(list.GetItemData(row));
}

void PutRecordRow(ui::ListBox list, int replacedId, const Text1251& text, int id) {
  if (replacedId) {
    const int old = FindRowByData(list, replacedId);
    if (old >= 0) list.DeleteString(old);
  }
  list.SetItemData(list.AddString(text), id);
}

void DeleteChosenRecords(ui::Dialog& d, ui::ListBox list,
                         const std::function<Text1251(const std::vector<Text1251>&)>& question,
                         const std::function<DeleteOutcome(int)>& remove,
                         const std::function<bool(int)>& stillThere) {
  std::vector<int> selected = list.GetSelItems();
  if (selected.empty()) return;
  std::sort(selected.begin(), selected.end());
  std::vector<Text1251> texts;
  for (int r : selected) texts.push_back(list.GetText(r));
  if (ui::MessageBox(&d, question(texts), "", ui::MB_OKCANCEL) != ui::IDOK) return;
  Text1251 failures;
  for (size_t i = selected.size(); i-- > 0;) {
    const int row = selected[i];
    const DeleteOutcome out = remove(static_cast<int>(list.GetItemData(row)));
    if (!stillThere(out.id)) list.DeleteString(row);
    if (!out.stored) failures += texts[i] + ": " + out.why;
  }
  if (!failures.empty()) ui::MessageBox(&d, "Не удалось стереть:\n"_cp + failures);
}

int FindRowByData(ui::ComboBox combo, intptr_t data) {
  for (int r = 0; r < combo.GetCount(); ++r)
    if (combo.GetItemData(r) == data) return r;
  return -1;
}

void ShowItems(ui::Dialog& d, std::initializer_list<int> ids, bool show) {
  for (int id : ids)
    if (d.HasItem(id)) d.ShowItem(id, show);
}

void Guarded(const char* tag, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    AddLogMessageF("(%s)%s", tag, e.what());
  } catch (...) {
    AddLogMessageF("(%s)FATAL EXCEPTION", tag);
  }
}

}  // namespace records

#include "records/dialog_parts.h"

#include <QComboBox>
#include <QListWidget>
#include <algorithm>
#include <exception>

#include "platform/report.h"
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

// The typed control views (ListBox, ComboBox, ListView, Slider, SpinButton, ProgressBar).
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTreeWidget>
#include <algorithm>

#include "platform/ui/detail/widgets.h"
#include "platform/ui/dialog.h"
#include "platform/ui/qt_text.h"

namespace ui {

namespace {
int CompareNoCase(const Text1251& a, const Text1251& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Cp1251Lower(static_cast<unsigned char>(a[i]));
    unsigned char y = Cp1251Lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
constexpr int kDataRole = Qt::UserRole + 1;
}  // namespace

int ListBox::AddString(std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int index = w_->count();
  auto* item = new QListWidgetItem(ToQString(text));
  // Sorted list boxes keep their items in order, case-insensitive.
  QVariant sorted = w_->property("tacmonStyle");
  if (sorted.isValid() && (sorted.toUInt() & Style::Sort)) {
    Text1251 t(text);
    index = 0;
    while (index < w_->count() && CompareNoCase(FromQString(w_->item(index)->text()), t) <= 0)
      ++index;
  }
  w_->insertItem(index, item);
  return index;
}

int ListBox::InsertString(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (index < 0 || index > w_->count()) index = w_->count();
  w_->insertItem(index, ToQString(text));
  return index;
}

int ListBox::DeleteString(int index) {
  if (!w_ || index < 0 || index >= w_->count()) return -1;
  QSignalBlocker b(w_);
  delete w_->takeItem(index);
  return w_->count();
}

void ListBox::ResetContent() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

int ListBox::GetCount() const { return w_ ? w_->count() : 0; }

int ListBox::GetCurSel() const {
  if (!w_) return -1;
  auto sel = w_->selectedItems();
  if (sel.isEmpty()) return -1;
  return w_->selectionMode() == QAbstractItemView::SingleSelection ? w_->row(sel.front())
                                                                   : w_->currentRow();
}

bool ListBox::SetCurSel(int index) {
  if (!w_) return false;
  QSignalBlocker b(w_);
  if (index < 0 || index >= w_->count()) {
    w_->clearSelection();
    w_->setCurrentRow(-1);
    return index == -1;
  }
  w_->setCurrentRow(index);
  w_->item(index)->setSelected(true);
  return true;
}

std::vector<int> ListBox::GetSelItems() const {
  std::vector<int> out;
  if (!w_) return out;
  for (int i = 0; i < w_->count(); ++i)
    if (w_->item(i)->isSelected()) out.push_back(i);
  return out;
}

void ListBox::SetSel(int index, bool selected) {
  if (!w_ || index < 0 || index >= w_->count()) return;
  QSignalBlocker b(w_);
  w_->item(index)->setSelected(selected);
}

Text1251 ListBox::GetText(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return {};
  return FromQString(w_->item(index)->text());
}

void ListBox::SetItemData(int index, intptr_t data) {
  if (w_ && index >= 0 && index < w_->count())
    w_->item(index)->setData(kDataRole, QVariant::fromValue<qlonglong>(data));
}

intptr_t ListBox::GetItemData(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return 0;
  return intptr_t(w_->item(index)->data(kDataRole).toLongLong());
}

int ListBox::FindStringExact(std::string_view text) const {
  if (!w_) return -1;
  Text1251 t(text);
  for (int i = 0; i < w_->count(); ++i)
    if (CompareNoCase(FromQString(w_->item(i)->text()), t) == 0) return i;
  return -1;
}

int ListBox::GetTopIndex() const {
  if (!w_ || w_->count() == 0) return 0;
  QListWidgetItem* it = w_->itemAt(0, 0);
  return it ? w_->row(it) : 0;
}

void ListBox::SetTopIndex(int index) {
  if (w_ && index >= 0 && index < w_->count())
    w_->scrollToItem(w_->item(index), QAbstractItemView::PositionAtTop);
}

int ComboBox::AddString(std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int selected = w_->currentIndex();
  w_->addItem(ToQString(text));
  w_->setCurrentIndex(selected);  // adding selects nothing, as on Windows
  return w_->count() - 1;
}

int ComboBox::InsertString(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (index < 0 || index > w_->count()) index = w_->count();
  int selected = w_->currentIndex();
  w_->insertItem(index, ToQString(text));
  w_->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
  return index;
}

int ComboBox::DeleteString(int index) {
  if (!w_ || index < 0 || index >= w_->count()) return -1;
  QSignalBlocker b(w_);
  w_->removeItem(index);
  return w_->count();
}

void ComboBox::ResetContent() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

int ComboBox::GetCount() const { return w_ ? w_->count() : 0; }
int ComboBox::GetCurSel() const { return w_ ? w_->currentIndex() : -1; }

bool ComboBox::SetCurSel(int index) {
  if (!w_) return false;
  QSignalBlocker b(w_);
  if (index < -1 || index >= w_->count()) return false;
  w_->setCurrentIndex(index);
  return true;
}

Text1251 ComboBox::GetLBText(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return {};
  return FromQString(w_->itemText(index));
}

int ComboBox::SelectString(std::string_view text) {
  if (!w_) return -1;
  int i = w_->findText(ToQString(text), Qt::MatchFixedString);
  if (i >= 0) SetCurSel(i);
  return i;
}

void ComboBox::SetItemData(int index, intptr_t data) {
  if (w_ && index >= 0 && index < w_->count())
    w_->setItemData(index, QVariant::fromValue<qlonglong>(data), kDataRole);
}

intptr_t ComboBox::GetItemData(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return 0;
  return intptr_t(w_->itemData(index, kDataRole).toLongLong());
}

int ListView::InsertColumn(int column, std::string_view heading, int widthPx, int align) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int n = w_->columnCount();
  if (column < 0 || column > n) column = n;
  QTreeWidgetItem* header = w_->headerItem();
  QStringList labels;
  for (int i = 0; i < n; ++i) labels << header->text(i);
  labels.insert(column, ToQString(heading));
  w_->setColumnCount(n + 1);
  w_->setHeaderLabels(labels);
  for (int i = 0; i < w_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* it = w_->topLevelItem(i);
    for (int c = n; c > column; --c) it->setText(c, it->text(c - 1));
    it->setText(column, QString());
  }
  w_->setColumnWidth(column, widthPx);
  Qt::Alignment a = align == 1 ? Qt::AlignRight : align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
  header->setTextAlignment(column, a | Qt::AlignVCenter);
  w_->headerItem()->setData(column, kDataRole, int(a));
  return column;
}

int ListView::GetColumnCount() const { return w_ ? w_->columnCount() : 0; }

void ListView::SetColumnWidth(int column, int widthPx) {
  if (w_) w_->setColumnWidth(column, widthPx);
}

int ListView::InsertItem(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (w_->columnCount() == 0) w_->setColumnCount(1);
  if (index < 0 || index > w_->topLevelItemCount()) index = w_->topLevelItemCount();
  auto* it = new QTreeWidgetItem;
  it->setText(0, ToQString(text));
  if (w_->property("tacmonCheckBoxes").toBool()) {
    it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
    it->setCheckState(0, Qt::Unchecked);
  }
  for (int c = 0; c < w_->columnCount(); ++c) {
    int a = w_->headerItem()->data(c, kDataRole).toInt();
    if (a) it->setTextAlignment(c, Qt::Alignment(a) | Qt::AlignVCenter);
  }
  w_->insertTopLevelItem(index, it);
  return index;
}

bool ListView::SetItemText(int item, int subItem, std::string_view text) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount() || subItem < 0) return false;
  if (subItem >= w_->columnCount()) return false;
  QSignalBlocker b(w_);
  w_->topLevelItem(item)->setText(subItem, ToQString(text));
  return true;
}

Text1251 ListView::GetItemText(int item, int subItem) const {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount() || subItem < 0) return {};
  return FromQString(w_->topLevelItem(item)->text(subItem));
}

int ListView::GetItemCount() const { return w_ ? w_->topLevelItemCount() : 0; }

bool ListView::DeleteItem(int item) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return false;
  QSignalBlocker b(w_);
  delete w_->takeTopLevelItem(item);
  return true;
}

void ListView::DeleteAllItems() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

void ListView::SetItemData(int item, intptr_t data) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount())
    w_->topLevelItem(item)->setData(0, kDataRole, QVariant::fromValue<qlonglong>(data));
}

intptr_t ListView::GetItemData(int item) const {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return 0;
  return intptr_t(w_->topLevelItem(item)->data(0, kDataRole).toLongLong());
}

int ListView::GetNextSelected(int after) const {
  if (!w_) return -1;
  for (int i = std::max(0, after + 1); i < w_->topLevelItemCount(); ++i)
    if (w_->topLevelItem(i)->isSelected()) return i;
  return -1;
}

void ListView::SetSelected(int item, bool selected) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return;
  QSignalBlocker b(w_);
  QTreeWidgetItem* it = w_->topLevelItem(item);
  if (selected) {
    if (w_->selectionMode() == QAbstractItemView::SingleSelection) w_->clearSelection();
    w_->setCurrentItem(it);
  }
  it->setSelected(selected);
}

int ListView::GetSelectionMark() const {
  if (!w_ || !w_->currentItem()) return -1;
  return w_->indexOfTopLevelItem(w_->currentItem());
}

void ListView::EnsureVisible(int item) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount()) w_->scrollToItem(w_->topLevelItem(item));
}

void ListView::SetItemIcon(int item, const QImage& image) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount())
    w_->topLevelItem(item)->setIcon(0, QIcon(QPixmap::fromImage(image)));
}

void ListView::SetIconSize(int cx, int cy) {
  if (w_) w_->setIconSize(QSize(cx, cy));
}

void ListView::SetGridLines(bool on) {
  if (w_) w_->setStyleSheet(on ? "QTreeView::item { border: 1px solid #d0d0d0; }" : "");
}

void ListView::SetCheckBoxes(bool on) {
  if (!w_) return;
  w_->setProperty("tacmonCheckBoxes", on);
  QSignalBlocker b(w_);
  for (int i = 0; i < w_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* it = w_->topLevelItem(i);
    if (on) {
      it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
      if (it->data(0, Qt::CheckStateRole).isNull()) it->setCheckState(0, Qt::Unchecked);
    } else {
      it->setFlags(it->flags() & ~Qt::ItemIsUserCheckable);
      it->setData(0, Qt::CheckStateRole, QVariant());
    }
  }
}

void ListView::SetCheck(int item, bool checked) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return;
  QSignalBlocker b(w_);
  QTreeWidgetItem* it = w_->topLevelItem(item);
  it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
  it->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

bool ListView::GetCheck(int item) const {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return false;
  return w_->topLevelItem(item)->checkState(0) == Qt::Checked;
}

void Slider::SetRange(int min, int max) {
  if (w_) w_->setRange(min, max);
}
int Slider::GetRangeMin() const { return w_ ? w_->minimum() : 0; }
int Slider::GetRangeMax() const { return w_ ? w_->maximum() : 0; }
void Slider::SetPos(int pos) {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->setValue(pos);
  w_->setSliderPosition(w_->value());
}
int Slider::GetPos() const { return w_ ? w_->sliderPosition() : 0; }
void Slider::SetPageSize(int page) {
  if (w_) w_->setPageStep(page);
}
void Slider::SetLineSize(int line) {
  if (w_) w_->setSingleStep(line);
}
void Slider::SetTicFreq(int freq) {
  if (auto* s = qobject_cast<QSlider*>(w_)) s->setTickInterval(freq);
}

void SpinButton::SetRange(int min, int max) {
  if (w_) w_->SetRange(min, max);
}
void SpinButton::SetPos(int pos) {
  if (w_) w_->SetPos(pos);
}
int SpinButton::GetPos() const { return w_ ? w_->Pos() : 0; }

void ProgressBar::SetRange(int min, int max) {
  if (w_) w_->setRange(min, max);
}
void ProgressBar::SetPos(int pos) {
  if (w_) w_->setValue(std::clamp(pos, w_->minimum(), w_->maximum()));
}
int ProgressBar::GetPos() const { return w_ ? w_->value() : 0; }
void ProgressBar::StepIt() {
  if (!w_) return;
  int v = w_->value() + step_;
  // Past the end the bar wraps round and starts again from the bottom.
  if (v > w_->maximum()) v = w_->minimum() + (v - w_->maximum());
  w_->setValue(std::clamp(v, w_->minimum(), w_->maximum()));
}

}  // namespace ui

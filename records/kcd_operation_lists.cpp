#include "records/kcd_operation_lists.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QWidget>
#include <cstdlib>

#include "medstore/medstore.h"
#include "platform/report.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"

namespace {

// How the last progress window was left: minimized windows open minimized next time.
bool g_progressMinimized = false;

// Anchors: top 1, right 2, bottom 4, left 8.
constexpr int kListAnchors[][2] = {{1004, 15}, {1001, 14}, {1, 6}, {2, 6}, {57670, 6}};

const char* ListHelp() {
  return "\"Загрузить\" (или двойной щелчок) - открыть выбранную операцию в окне записи.\n"
         "Меню \"Удалить\" - стереть выбранные операции.\n"
         "Меню \"Скопировать ...\" - перенести выбранную операцию в другую базу данных."_cp;
}

// Deletes the selected rows after the question, under the progress window. deleteRow(row)
// removes the row when its operation is gone and says so; the rows after it move up.
void DeleteRows(ui::Dialog& owner, std::vector<int> rows,
                const std::function<Text1251(int row)>& rowText,
                const std::function<bool(int row)>& deleteRow) {
  if (rows.empty()) return;
  std::vector<Text1251> texts;
  for (int r : rows) texts.push_back(rowText(r));
  if (ui::MessageBox(&owner, records::DeleteOperationsQuestion(texts), "", ui::MB_OKCANCEL) !=
      ui::IDOK)
    return;
  CKProgress2 progress;
  progress.Open(&owner, "Удаление операций"_cp, 0, static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const int row = rows[i];
    if (!progress.Step(static_cast<int>(i), records::ItemOfRow(rowText(row)))) break;
    if (deleteRow(row))
      for (size_t j = i + 1; j < rows.size(); ++j)
        if (rows[j] > row) --rows[j];
  }
  progress.Close();
}

}  // namespace

// ---- CKProgress2 ---------------------------------------------------------------------------

CKProgress2::CKProgress2() : ui::Dialog(kProgressDialogId) {
  auto abort = [this] {
    if (askOnAbort &&
        ui::MessageBox(this, "Прервать выполнение?"_cp, "", ui::MB_OKCANCEL) != ui::IDOK)
      return;
    abort_ = true;
  };
  OnCommand(ui::IDOK, abort);
  OnCommand(ui::IDCANCEL, abort);
}

bool CKProgress2::Open(ui::Dialog* owner, std::string_view title, int first, int total) {
  first_ = first;
  total_ = total;
  remaining_ = records::RemainingTime(first, total);
  abort_ = false;
  item_.clear();
  if (!Create(owner)) return false;
  SetCaption(title);
  ui::ProgressBar bar = ProgressItem(1129);
  bar.SetRange(first, total);
  bar.SetPos(first);
  ShowWindow(g_progressMinimized ? ui::SW_SHOWMINIMIZED : ui::SW_SHOWNORMAL);
  const ui::Rect area = DesktopWorkArea();
  const ui::Rect r = WindowRect();
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = area.left + (area.right - area.left - w) / 2;
  const int y = area.top + (area.bottom - area.top - h) / 2;
  MoveWindow({x, y, x + w, y + h});
  SetOpacity(142);
  start_ = lastPaint_ = std::chrono::steady_clock::now();
  return true;
}

bool CKProgress2::Step(int n, std::string_view item) {
  QCoreApplication::processEvents();
  if (abort_) {
    abort_ = false;
    return false;
  }
  if (!HasWindow()) return true;
  ProgressItem(1129).SetPos(first_ + n);
  const long elapsed = elapsedSeconds
                           ? elapsedSeconds()
                           : static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                                   std::chrono::steady_clock::now() - start_)
                                                   .count());
  const Text1251 line = remaining_.Step(n, elapsed);
  if (!line.empty()) SetItemText(1003, line);
  if (item != item_) {
    item_ = Text1251(item);
    SetItemText(1002, item_);
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPaint_ >= std::chrono::milliseconds(100)) {
    UpdateWindow();
    lastPaint_ = now;
  }
  return true;
}

void CKProgress2::Close() {
  if (!HasWindow()) return;
  g_progressMinimized = Widget()->isMinimized();
  DestroyWindow();
}

// ---- KCD_Ask1 ------------------------------------------------------------------------------

KCD_Ask1::KCD_Ask1() : ui::Dialog(kAsk1DialogId) {
  OnCommand(1000, [this] { EndDialog(101); });
  OnCommand(1001, [this] { EndDialog(102); });
}

// ---- the local list ------------------------------------------------------------------------

KCD_ListWithNumberOperationsLocal::KCD_ListWithNumberOperationsLocal(
    RecordsHost& host, int kind, records::LocalOperationReader read, OperationFolderRemover remove)
    : KCD_ListWithNumber(kLocalOperationsDialogId, "Операции из локальной базы данных"_cp, {}, {}),
      host_(host),
      kind_(kind),
      read_(std::move(read)),
      remove_(std::move(remove)) {
  OnCommand(ui::IDOK, [this] { Close(kListLoad); });
  OnCommand(32796, [this] { Close(kListLoad); });
  OnCommand(32798, [this] { Close(kListCopy); });
  OnCommand(32797, [this] { DeleteSelected(); });
  OnNotify(1004, ui::Notify::DoubleClicked, [this](const ui::NotifyInfo&) { Close(kListLoad); });
  OnNotify(1005, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { OnOrgan(); });
  OnNotify(1006, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { OnDiagnosis(); });
  OnNotify(1007, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { OnHospital(); });
  OnCommand(57670, [this] { ui::MessageBox(this, ListHelp(), "Справка"_cp); });
}

bool KCD_ListWithNumberOperationsLocal::OnInitDialog() {
  const records::OrganTable& organs = host_.Organs();
  entries_ = records::ScanLocalOperations(kind_, organs, read_);
  removed_.assign(entries_.size(), false);
  names.clear();
  ids.clear();
  for (size_t i = 0; i < entries_.size(); ++i) {
    names.push_back(entries_[i].text);
    ids.push_back(static_cast<int>(i));
  }
  SetCaption("Операции из локальной базы данных"_cp);
  ui::ComboBox organ = ComboItem(1005);
  organ.AddString("Все"_cp);
  organ.SetItemData(0, 0);
  for (int id = 1; id <= organs.Count(); ++id) {
    const int row = organ.AddString(organs.entries[id].name);
    organ.SetItemData(row, id);
  }
  organ.SetCurSel(0);
  OnOrgan();
  for (const auto& a : kListAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  return true;
}

void KCD_ListWithNumberOperationsLocal::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

void KCD_ListWithNumberOperationsLocal::OnOrgan() {
  ui::ComboBox organ = ComboItem(1005);
  const int row = organ.GetCurSel();
  filter_.organId = row >= 0 ? static_cast<int>(organ.GetItemData(row)) : 0;
  filter_.diagnosis = 0;
  filter_.hospital.clear();
  const records::OrganTable& organs = host_.Organs();
  ui::ComboBox diagnosis = ComboItem(1006);
  diagnosis.ResetContent();
  diagnosis.AddString("Все"_cp);
  diagnosis.SetItemData(0, 0);
  for (int d = 1; d <= organs.DiagnosisCount(filter_.organId); ++d) {
    const int r = diagnosis.AddString(*organs.Diagnosis(filter_.organId, d));
    diagnosis.SetItemData(r, d);
  }
  diagnosis.SetCurSel(0);
  const records::HospitalTable& hospitals = host_.Hospitals();
  ui::ComboBox hospital = ComboItem(1007);
  hospital.ResetContent();
  hospital.AddString("Все"_cp);
  for (int h = 1; h <= hospitals.Count(); ++h) hospital.AddString(hospitals.names[h]);
  hospital.SetCurSel(0);
  ShowFiltered();
}

void KCD_ListWithNumberOperationsLocal::OnDiagnosis() {
  ui::ComboBox diagnosis = ComboItem(1006);
  const int row = diagnosis.GetCurSel();
  filter_.diagnosis = row >= 0 ? static_cast<int>(diagnosis.GetItemData(row)) : 0;
  ShowFiltered();
}

void KCD_ListWithNumberOperationsLocal::OnHospital() {
  ui::ComboBox hospital = ComboItem(1007);
  const int row = hospital.GetCurSel();
  filter_.hospital = row > 0 ? hospital.GetLBText(row) : Text1251();
  ShowFiltered();
}

void KCD_ListWithNumberOperationsLocal::ShowFiltered() {
  std::vector<int> shown;
  for (int p : records::VisibleEntries(entries_, filter_))
    if (!removed_[static_cast<size_t>(p)]) shown.push_back(p);
  ShowPositions(shown);
  ShowCurrentName();
}

void KCD_ListWithNumberOperationsLocal::Close(int code) {
  CollectChoice();
  for (size_t p = 0; p < entries_.size() && p < names.size(); ++p) entries_[p].text = names[p];
  EndDialog(code);
}

const records::LocalOperationEntry* KCD_ListWithNumberOperationsLocal::ChosenEntry() const {
  if (chosenRow < 0 || chosenRow >= static_cast<int>(entries_.size()) || removed_[chosenRow])
    return nullptr;
  return &entries_[static_cast<size_t>(chosenRow)];
}

void KCD_ListWithNumberOperationsLocal::DeleteSelected() {
  DeleteRows(
      *this, ListBoxItem(1004).GetSelItems(),
      [this](int row) { return names[static_cast<size_t>(PositionOfRow(row))]; },
      [this](int row) {
        const int p = PositionOfRow(row);
        const records::LocalOperationEntry& e = entries_[static_cast<size_t>(p)];
        // The stored folder name only: the row text is the user's and names nothing.
        if (!records::IsSafeOperationName(e.folder) || remove_(e.folder) != 0) {
          AddLogMessage(("Не удается уничтожить операцию "_cp + e.text).c_str());
          return false;
        }
        removed_[static_cast<size_t>(p)] = true;
        RemoveRow(row);
        return true;
      });
  ShowCurrentName();
}

// ---- the stationary list -------------------------------------------------------------------

KCD_ListWithNumberOperationsGlobal::KCD_ListWithNumberOperationsGlobal(RecordsHost& host,
                                                                       operation_list* operations,
                                                                       push_list* pushes)
    : KCD_ListWithNumber(kStationaryOperationsDialogId, "Операции из стационарной базы данных"_cp,
                         {}, {}),
      host_(host),
      operations_(operations),
      pushes_(pushes) {
  OnCommand(ui::IDOK, [this] { Close(kListLoad); });
  OnCommand(32796, [this] { Close(kListLoad); });
  OnCommand(32798, [this] { Close(kListCopy); });
  OnCommand(32797, [this] { DeleteSelected(); });
  OnNotify(1004, ui::Notify::DoubleClicked, [this](const ui::NotifyInfo&) { Close(kListLoad); });
  OnCommand(57670, [this] { ui::MessageBox(this, ListHelp(), "Справка"_cp); });
}

bool KCD_ListWithNumberOperationsGlobal::OnInitDialog() {
  const char* missing = !operations_ ? "Стационарная БД операций не открыта"_cp
                        : !host_.Patients() ? "Стационарная БД пациентов не открыта"_cp
                        : !pushes_ ? "Стационарная БД нажатий механорецептора не открыта"_cp
                        : !host_.Surgeons() ? "Стационарная БД врачей не открыта"_cp
                                            : nullptr;
  if (missing) {
    AddLogMessage(missing);
    EndDialog(ui::IDCANCEL);
    return true;
  }
  entries_ = records::BuildStationaryEntries(operations_, host_.Patients(), host_.Organs());
  removed_.assign(entries_.size(), false);
  names.clear();
  ids.clear();
  for (const auto& e : entries_) {
    names.push_back(e.text);
    ids.push_back(e.id);
  }
  KCD_ListWithNumber::OnInitDialog();
  for (const auto& a : kListAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  return true;
}

void KCD_ListWithNumberOperationsGlobal::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

void KCD_ListWithNumberOperationsGlobal::Close(int code) {
  CollectChoice();
  EndDialog(code);
}

int KCD_ListWithNumberOperationsGlobal::ChosenOperation() const {
  if (chosenRow < 0 || chosenRow >= static_cast<int>(entries_.size()) || removed_[chosenRow])
    return 0;
  return entries_[static_cast<size_t>(chosenRow)].id;
}

void KCD_ListWithNumberOperationsGlobal::DeleteSelected() {
  DeleteRows(
      *this, ListBoxItem(1004).GetSelItems(),
      [this](int row) { return names[static_cast<size_t>(PositionOfRow(row))]; },
      [this](int row) {
        const int p = PositionOfRow(row);
        // The pushes of the operation stay in the push database.
        if (DelOperation(entries_[static_cast<size_t>(p)].id, operations_) != 0) {
          AddLogMessage(
              ("Не удается уничтожить операцию "_cp + entries_[static_cast<size_t>(p)].text)
                  .c_str());
          return false;
        }
        removed_[static_cast<size_t>(p)] = true;
        RemoveRow(row);
        return true;
      });
  ShowCurrentName();
}

void RegisterOperationListsAutomation() {
  static bool done = false;
  if (done) return;
  done = true;
  namespace a = ui::automation;
  a::RegisterCommand("select-rows", [](a::Context& c) {
    QListWidget* list = nullptr;
    if (c.active && c.args.size() >= 2)
      list = c.active->ListBoxItem(std::atoi(c.args[0].c_str())).Widget();
    if (!list) {
      c.error = "select-rows ID ROW... (a list box of the active window)";
      return a::Result::Failed;
    }
    list->clearSelection();
    for (size_t i = 1; i < c.args.size(); ++i) {
      const int row = std::atoi(c.args[i].c_str());
      if (row < 0 || row >= list->count()) {
        c.error = "no row " + c.args[i];
        return a::Result::Failed;
      }
      if (i == 1) list->setCurrentRow(row);
      list->item(row)->setSelected(true);
    }
    return a::Result::Done;
  });
}

#include "tester/kcd_pasports.h"

#include <mutex>

#include "app/main/kcd_main.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "platform/ui/resources.h"

namespace tester {

namespace {

const char kTemplates[] = R"rc(
// Passports (159) and the doubles editor (160). Labels of the edit view carry their ids.
DIALOG 159 "Паспорта устройств" 0 0 455 325 STYLE resizable
  LISTVIEW  1004   7   7 380 290 ""
  BUTTON    1000 394   7  54  14 "Новый"
  BUTTON    1005 394  25  54  14 "Стереть"
  BUTTON    1006 394  43  54  14 "Редактировать"
  LTEXT     1120   7  10 110   9 "номер"
  EDIT      1003 120   8  60  12 ""
  LTEXT     1118   7  28 110   9 "ID"
  EDIT      1001 120  26  80  12 ""
  LTEXT     1119   7  46 110   9 "работоспособность каналов"
  EDIT      1002 120  44 320  12 ""
  LTEXT     1122   7  64 110   9 "номер референсного канала"
  EDIT      1009 120  62  60  12 ""
  LTEXT     1129   7  82 110   9 "лин.к-т реф.канала"
  EDIT      1010 120  80  80  12 ""
  LTEXT     1123   7 100 110   9 "сдвиг реф.канала"
  EDIT      1011 120  98  80  12 ""
  BUTTON    1012 120 120  80  14 "Лин.к-ты каналов"
  BUTTON    1013 206 120  80  14 "Сдвиги каналов"
  BUTTON    1007   7 304  60  16 "Add/Update"
  BUTTON    1008  73 304  60  16 "Отменить"
  DEFBUTTON    1 394 304  54  16 "Выйти"
END

DIALOG 160 "" 0 0 283 265
  LISTBOX   1004   7   7 200 251 "" STYLE vscroll
  EDIT      1001 214   7  62  12 ""
  DEFBUTTON    1 214 224  62  16 "OK"
  BUTTON       2 214 242  62  16 "Cancel"
END
)rc";

// Controls of each view.
const int kListView[] = {1004, 1000, 1005, 1006};
const int kEditView[] = {1001, 1002, 1003, 1009, 1010, 1011, 1012, 1013,
                         1007, 1008, 1118, 1119, 1120, 1122, 1129, 1123};

}  // namespace

void RegisterPassportsResources() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::string error;
    if (!ui::RegisterResources(kTemplates, &error))
      AddLogMessageF("(2736076)dialogs 159, 160: %s", error.c_str());
  });
}

// ---- KCDEditDouble ---------------------------------------------------------------------------

KCDEditDouble::KCDEditDouble(double* values, int count, std::string_view title)
    : Dialog(160), values_(values), working_(values, values + std::max(count, 0)), title_(title) {
  RegisterPassportsResources();
  OnNotify(1004, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { SelectLine(); });
  OnNotify(1001, ui::Notify::Change, [this](const ui::NotifyInfo&) { EditChanged(); });
}

bool KCDEditDouble::OnInitDialog() {
  ui::ListBox list = ListBoxItem(1004);
  for (size_t i = 0; i < working_.size(); ++i)
    list.AddString(DoubleLine(static_cast<int>(i), working_[i]));
  SetCaption(title_);
  ready_ = true;
  return true;
}

void KCDEditDouble::SelectLine() {
  ui::ListBox list = ListBoxItem(1004);
  selected_ = list.GetCurSel();
  if (selected_ < 0) return;
  ready_ = false;
  SetItemText(1001, DoubleLineValue(list.GetText(selected_)));
  ready_ = true;
}

void KCDEditDouble::EditChanged() {
  if (!ready_ || selected_ < 0 || selected_ >= int(working_.size())) return;
  ScanDouble(ItemText(1001), working_[selected_]);
  ui::ListBox list = ListBoxItem(1004);
  list.DeleteString(selected_);
  list.InsertString(selected_, DoubleLine(selected_, working_[selected_]));
  list.SetCurSel(selected_);
}

void KCDEditDouble::OnOK() {
  // The caller receives every value as shown, in the short number form.
  ui::ListBox list = ListBoxItem(1004);
  for (int i = 0; i < list.GetCount() && i < int(working_.size()); ++i)
    ScanDouble(DoubleLineValue(list.GetText(i)), values_[i]);
  EndDialog(ui::IDOK);
}

// ---- KCDPasports -----------------------------------------------------------------------------

KCDPasports::KCDPasports(PassportRegistry& registry, TimedMutex* lock)
    : CDialogK(159),
      editor_(registry, lock,
              EditorUser{
                  [this](const Text1251& text) { ui::MessageBox(this, text); },
                  [this](const Text1251& text) {
                    return ui::MessageBox(this, text, "", ui::MB_OKCANCEL) == ui::IDOK;
                  },
                  [this](const Text1251& text) {
                    return ui::MessageBox(this, text, "", ui::MB_YESNO) == ui::IDYES;
                  },
              }) {
  RegisterPassportsResources();
  OnCommand(1000, [this] {
    editor_.New();
    FillFields();
    ShowView(editor_.View());
  });
  OnCommand(1006, [this] {
    editor_.Edit(SelectedRow());
    FillFields();
    ShowView(editor_.View());
  });
  OnCommand(1005, [this] {
    if (editor_.Delete(SelectedRow())) FillList();
  });
  OnCommand(1007, [this] {
    if (editor_.AddUpdate(ReadFields())) FillList();
    ShowView(editor_.View());
  });
  OnCommand(1008, [this] {
    editor_.Cancel();
    ShowView(editor_.View());
  });
  OnCommand(1012, [this] { EditValues(true); });
  OnCommand(1013, [this] { EditValues(false); });
}

bool KCDPasports::OnInitDialog() {
  ui::ListView list = ListViewItem(1004);
  const int width = ItemRect(1004).Width() - 4;
  list.InsertColumn(0, "N", width / 13);
  list.InsertColumn(1, "ID", width * 2 / 13);
  list.InsertColumn(2, "Работоспособность"_cp, width * 10 / 13);
  list.SetGridLines(true);
  list.SetCheckBoxes(true);
  ShowView(0);
  const int anchors[][2] = {{1004, 11}, {1000, 2},  {1005, 2}, {1006, 2}, {1, 6},    {1001, 8},
                            {1118, 8},  {1002, 8},  {1119, 8}, {1003, 8}, {1120, 8}, {1009, 8},
                            {1122, 8},  {1010, 8},  {1129, 8}, {1011, 8}, {1123, 8}, {1012, 8},
                            {1013, 8},  {1007, 12}, {1008, 12}};
  for (const auto& a : anchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  FillList();
  return true;
}

void KCDPasports::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  arrange_.Apply(cx, cy);
}

void KCDPasports::ShowView(int view) {
  for (int id : kListView) ShowItem(id, view == 0);
  for (int id : kEditView) ShowItem(id, view == 1);
}

void KCDPasports::FillList() {
  ui::ListView list = ListViewItem(1004);
  list.DeleteAllItems();
  const auto& rows = editor_.Rows();
  for (size_t k = 0; k < rows.size(); ++k) {
    const int i = list.InsertItem(static_cast<int>(k), std::to_string(rows[k].number));
    list.SetItemData(i, rows[k].number);
    list.SetItemText(i, 1, rows[k].id);
    list.SetItemText(i, 2, rows[k].health);
    list.SetCheck(i, rows[k].checked);
  }
}

void KCDPasports::FillFields() {
  const PassportFields& f = editor_.Fields();
  SetItemText(1003, f.number);
  SetItemText(1001, f.id);
  SetItemText(1002, f.health);
  SetItemText(1009, f.refNumber);
  SetItemText(1010, f.refSlope);
  SetItemText(1011, f.refShift);
}

PassportFields KCDPasports::ReadFields() const {
  PassportFields f;
  f.number = ItemText(1003);
  f.id = ItemText(1001);
  f.health = ItemText(1002);
  f.refNumber = ItemText(1009);
  f.refSlope = ItemText(1010);
  f.refShift = ItemText(1011);
  return f;
}

int KCDPasports::SelectedRow() const { return ListViewItem(1004).GetNextSelected(-1); }

void KCDPasports::EditValues(bool slopes) {
  const int count = std::clamp(editor_.ChannelCount(), 0, kPassportChannels);
  double* values = slopes ? editor_.Slopes().data() : editor_.Shifts().data();
  KCDEditDouble dlg(values, count,
                    slopes ? "К-т в линейном преобр.реф.канала отн.остальных"_cp
                           : "Константа в лин.преобр.реф.канала отн.остальных"_cp);
  dlg.DoModal(this);
}

void KCDPasports::OnOK() {
  ui::ListView list = ListViewItem(1004);
  std::vector<bool> checks;
  for (int i = 0; i < list.GetItemCount(); ++i) checks.push_back(list.GetCheck(i));
  editor_.Exit(checks);
  EndDialog(ui::IDOK);
}

int OpenPassportsDialog(KCDMain& hub) {
  KCDPasports dlg(hub.Passports(), &hub.PassportLock());
  return dlg.DoModal(&hub);
}

}  // namespace tester

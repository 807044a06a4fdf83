#include "tester/draft_passports.h"

#include <cstdlib>

#include "app/kit/file_dialog.h"
#include "app/main/kcd_main.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/sync.h"
#include "platform/ui/automation.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_commands.h"
#include "tester/passports.h"

namespace tester {

namespace {

// The chosen file, or empty on cancel.
Text1251 AskFile(ui::Dialog& owner, bool open, const char* title) {
  CKFileDialog dlg(open, "dvp",
                   "DVP-файлы (*.dvp)|*.dvp|TRF-файлы (*.trf)|*.trf|Все файлы (*.*)|*.*||"_cp,
                   &owner, title);
  dlg.SetInitialFolder(Text1251(winpath::kDataRoot) + "DVP");
  return dlg.DoModal() == ui::IDOK ? dlg.GetPath() : Text1251();
}

}  // namespace

void DraftPassportFromLastPush(ui::Dialog& owner) {
  const Text1251 file = AskFile(owner, false, "Имя файла с паспортом устройства"_cp);
  if (!file.empty()) WriteDraftPassport(file, false);
}

void DraftSecondPassportFromLastPush(ui::Dialog& owner) {
  const Text1251 file = AskFile(owner, false, "Имя файла с паспортом второго устройства"_cp);
  if (!file.empty()) WriteDraftPassport(file, true);
}

void LoadCurrentPassport(ui::Dialog& owner, recording::CtacmonDlgRecord* record) {
  const Text1251 file = AskFile(owner, true, "Имя файла с паспортом устройства"_cp);
  KCDMain* hub = TheMainDialog();
  if (file.empty() || !hub) return;
  const DevicePassport p = LoadPassportFile(file);
  TimedLock l(hub->PassportLock(), 1000);
  if (!l) {
    ReportCantLock("2736077");
    return;
  }
  hub->Passports().current = p;
  l.Unlock();
  if (record) record->UsePassport(p);
}

void InstallPassports() {
  using recording::KCDOperationWindow;
  recording::SetOperationCommand(recording::kCmdDraftPassport,
                                 [](KCDOperationWindow& w) { DraftPassportFromLastPush(w); });
  recording::SetOperationCommand(recording::kCmdDraftPassport2,
                                 [](KCDOperationWindow& w) { DraftSecondPassportFromLastPush(w); });
  recording::SetOperationCommand(recording::kCmdDraftPassport3,
                                 [](KCDOperationWindow& w) { LoadCurrentPassport(w, w.RecordView()); });

  namespace a = ui::automation;
  a::RegisterCommand("check-row", [](a::Context& c) {
    ui::ListView list = c.active && c.args.size() == 3 && std::atoi(c.args[0].c_str()) > 0
                            ? c.active->ListViewItem(std::atoi(c.args[0].c_str()))
                            : ui::ListView(nullptr);
    const int row = c.args.size() == 3 ? std::atoi(c.args[1].c_str()) : -1;
    if (!list.Valid() || row < 0 || row >= list.GetItemCount()) {
      c.error = "check-row ID ROW 0|1 (a row of a list view of the active window)";
      return a::Result::Failed;
    }
    list.SetCheck(row, c.args[2] == "1");
    return a::Result::Done;
  });
}

}  // namespace tester

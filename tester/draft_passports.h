// The passports of the operation window's menu "Устройства": drafts from the last push for the
// first (32799) and the second (32859) mechanoreceptor, and loading the current passport
// (32800), installed into the window's command table at program start, with the automation
// command "check-row ID ROW 0|1" for the passports list's check marks.
#pragma once

namespace ui {
class Dialog;
}
namespace recording {
class CtacmonDlgRecord;
}

namespace tester {

void DraftPassportFromLastPush(ui::Dialog& owner);
void DraftSecondPassportFromLastPush(ui::Dialog& owner);
// With record, the recording view of a connected probe takes the passport at once as well.
void LoadCurrentPassport(ui::Dialog& owner, recording::CtacmonDlgRecord* record = nullptr);

// Installs the three menu commands and the automation command.
void InstallPassports();

}  // namespace tester

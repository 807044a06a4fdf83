// records: the clinical records of the workstation. The patients ("Пациенты", KCD_Patients) and
// surgeons ("Хирурги", KCD_Doctors) dialogs edit the stationary database through medstore; the
// operation description dialog (KCDOperationDescription) fills an OperationDescription; the
// numbered choice dialogs pick and rename organs and diagnoses. The organ and hospital tables
// and the rules that make typed input storable are in the Qt-free part (enumerations.h,
// record_forms.h, record_store.h). The dialogs reach databases and tables through a
// RecordsHost (records_host.h), which the main hub implements.
#pragma once

#include "records/enumerations.h"
#include "records/operation_description.h"
#include "records/records_host.h"

namespace ui {
class Dialog;
}

namespace records {

// The hub's initialisation: loads "enums\organ\organs.txt" with the diagnosis files, creates
// "enums\hospital" and loads "enums\hospital\hospitals.txt". Closing frees both.
void LoadRecordTables(OrganTable& organs, HospitalTable& hospitals);
void FreeRecordTables(OrganTable& organs, HospitalTable& hospitals);

// Modal runs; each returns the dialog's answer (IDOK, IDCANCEL).
int RunPatientsDialog(ui::Dialog* owner, RecordsHost& host);
int RunSurgeonsDialog(ui::Dialog* owner, RecordsHost& host);
// editing: an existing description is edited (its fields are shown instead of the last
// entries); allowSurgeon: choosing a surgeon writes the surgeon id.
int RunOperationDescription(ui::Dialog* owner, RecordsHost& host, OperationDescription& d,
                            bool editing = false, bool allowSurgeon = true);

}  // namespace records

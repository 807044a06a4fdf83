#include "records/records.h"

#include "platform/ui/dialog.h"
#include "records/kcd_doctors.h"
#include "records/kcd_operation_description.h"
#include "records/kcd_patients.h"

namespace records {

void LoadRecordTables(OrganTable& organs, HospitalTable& hospitals) {
  LoadOrganTable(organs);
  LoadHospitalTable(hospitals);
}

void FreeRecordTables(OrganTable& organs, HospitalTable& hospitals) {
  FreeOrganTable(organs);
  FreeHospitalTable(hospitals);
}

int RunPatientsDialog(ui::Dialog* owner, RecordsHost& host) {
  KCD_Patients dlg(host);
  return dlg.DoModal(owner);
}

int RunSurgeonsDialog(ui::Dialog* owner, RecordsHost& host) {
  KCD_Doctors dlg(host);
  return dlg.DoModal(owner);
}

int RunOperationDescription(ui::Dialog* owner, RecordsHost& host, OperationDescription& d,
                            bool editing, bool allowSurgeon) {
  KCDOperationDescription dlg(host, d, editing, allowSurgeon);
  return dlg.DoModal(owner);
}

}  // namespace records

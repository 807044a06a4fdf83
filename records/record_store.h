// Storing, editing and deleting patients and surgeons through medstore, with the library's
// answer checked against what its list then holds. The library's messages of the call are
// collected (and still reach the list's own callback) so a failure can say why. Qt-free.
#pragma once

#include <vector>

#include "medstore/medstore.h"
#include "platform/cp1251.h"

namespace records {

struct StoreOutcome {
  bool stored = false;             // the answer was 0 and Get*ByID gives back the same record
  int id = 0;                      // the record's id (assigned by the library for a new record)
  int result = 0;                  // the library's answer
  std::vector<Text1251> messages;  // what the library reported during the call
  // The text for the user when nothing was stored.
  Text1251 Why() const;
};

// id 0: a new record (AddPatient / AddDoctor); otherwise the record with that id is replaced
// (EditPatient / EditDoctor). A new record the library kept in memory without storing it is
// taken out of the list again, so the list shows only what is on disk.
StoreOutcome StorePatient(user_list* list, user_item& item, int id);
StoreOutcome StoreSurgeon(doctor_list* list, doctor_item& item, int id);

// DelPatient / DelDoctor; stored = the record is gone from the list and the answer was 0.
StoreOutcome DeletePatient(user_list* list, int id);
StoreOutcome DeleteSurgeon(doctor_list* list, int id);

}  // namespace records

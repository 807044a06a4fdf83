// RecordsHost: what the records dialogs need from the one who owns the databases and the
// enumerations (the main hub): the open patient and surgeon databases (null when absent) and
// the organ and hospital tables. The dialogs change the tables when the user edits an entry.
#pragma once

#include "records/enumerations.h"

struct user_list;
struct doctor_list;

class RecordsHost {
 public:
  virtual ~RecordsHost() = default;
  virtual user_list* Patients() const = 0;
  virtual doctor_list* Surgeons() const = 0;
  virtual records::OrganTable& Organs() = 0;
  virtual records::HospitalTable& Hospitals() = 0;
};

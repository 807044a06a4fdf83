// A RecordsHost for the dialog tests: the patient and surgeon databases of fresh data roots,
// the default enumeration files and the tables loaded from them.
#pragma once

#include <string>
#include <vector>

#include "medstore/medstore.h"
#include "records/records.h"
#include "tests/support/scratch_roots.h"

class TestHost : public RecordsHost {
 public:
  explicit TestHost(bool openDatabases = true) {
    const auto organ = roots_.data() / "ENUMS" / "ORGAN";
    WriteBytes(organ / "organs.txt", "1 org1\r\n2 org2\r\n3 organ3\r\n4 organ4\r\n5 other\r\n");
    WriteBytes(organ / "1.txt", "other\r\norg1-d1\r\norg1-d2\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n");
    WriteBytes(organ / "2.txt", "other\r\norg2-d1\r\norg2-d2\r\norg2-d3\r\n");
    WriteBytes(organ / "3.txt",
               "other\r\norg3-d1\r\norg3-d2\r\norg3-d3\r\norg3-d4\r\norg3-d5\r\norg3-d6\r\n"
               "org3-d7\r\norg3-d8\r\n");
    WriteBytes(organ / "4.txt",
               "other\r\norg4-d1\r\norg4-d2\r\norg4-d3\r\norg4-d4\r\norg4-d5\r\norg_4-d1\r\n"
               "org_4-d2\r\norg_4-d3\r\norg_4-d4\r\norg_4-d5\r\n");
    std::filesystem::create_directories(roots_.database() / "DB");
    std::filesystem::create_directories(roots_.database() / "DB_doc");
    if (openDatabases) {
      std::string path = "c:\\TacmonData\\DB";
      patients = InitUserDB(path.data(), nullptr);
      path = "c:\\TacmonData\\DB_doc";
      surgeons = InitDoctorDB(path.data(), nullptr);
    }
    records::LoadRecordTables(organs, hospitals);
  }
  ~TestHost() override {
    if (patients) CloseUserDB(patients);
    if (surgeons) CloseDoctorDB(surgeons);
    records::FreeRecordTables(organs, hospitals);
  }
  user_list* Patients() const override { return patients; }
  doctor_list* Surgeons() const override { return surgeons; }
  records::OrganTable& Organs() override { return organs; }
  records::HospitalTable& Hospitals() override { return hospitals; }

  const ScratchRoots& roots() const { return roots_; }

  user_list* patients = nullptr;
  doctor_list* surgeons = nullptr;
  records::OrganTable organs;
  records::HospitalTable hospitals;

 private:
  ScratchRoots roots_;
};

// The stationary operations list on a database of 100,000 operations and 100,000 patients:
// opening both databases (InitUserDB, InitOperationDB), building the list's entries (one
// search, one hash of the patients, the sort), and showing the whole dialog on the open
// databases until its list is filled and painted. Showing should cost a small share of opening.
// The databases are written once into /tmp/oplists_bench (kept between runs).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/db_folders.h"
#include "bench/qt_bench_main.h"
#include "medstore/medstore.h"
#include "platform/ui/app_loop.h"
#include "records/kcd_operation_lists.h"
#include "records/operation_lists.h"
#include "records/records_host.h"

namespace {

constexpr int kCount = 100000;
const std::string kRoot = "/tmp/oplists_bench";

std::string PatientText(int id) {
  const std::string n = std::to_string(id);
  return "FIO: Family" + n + " Name Patronymic\r\nidFIO: " + n +
         "\r\nUserNumber: 0\r\nUserCard: C" + n + "\r\nSex: M\r\nBirthday: 1960 " +
         std::to_string(1 + id % 12) + " " + std::to_string(1 + id % 28) +
         "\r\nNidOrgans: 1\r\nidOrgan: 3\r\nOrgan: Liver;\r\nidDiagnosis: 4;\r\n"
         "Diagnosis: Tumour\r\nNotes: Admitted for a scheduled operation\r\n";
}

std::string OperationText(int id) {
  // Patients are spread over the whole database, out of id order.
  const int patient = static_cast<int>((static_cast<long long>(id) * 7919) % kCount) + 1;
  return "ID: " + std::to_string(id) + "\r\nTime: " + std::to_string(2000 + id % 25) + " " +
         std::to_string(1 + id % 12) + " " + std::to_string(1 + id % 28) + " " +
         std::to_string(id % 24) + " " + std::to_string(id % 60) + " " +
         std::to_string(id / 60 % 60) + "\r\nFIO_patient: Name Patronymic Family" +
         std::to_string(patient) + "\r\nidFIO_patient: " + std::to_string(patient) +
         "\r\nFIO_doctor: Surgeon Name Patronymic\r\nidFIO_doctor: " + std::to_string(id % 40) +
         "\r\nTypeMechReceptor: 0\r\nSubTypeMechReceptor: 0\r\nidOrgan: " +
         std::to_string(1 + id % 5) + "\r\nOrgan: Liver\r\nidDiagnosis: 2\r\nDiagnosis: d\r\n";
}

std::string PatientsFolder() {
  return bench::DatabaseFolder(kRoot, "DB", kCount, "UserData", PatientText);
}
std::string OperationsFolder() {
  return bench::DatabaseFolder(kRoot, "DB_op", kCount, "OperationData", OperationText);
}

void Quiet(const char*) {}

class BenchHost : public RecordsHost {
 public:
  BenchHost() {
    organs.entries.resize(6);
    const char* names[] = {"", "Liver", "Lung", "Kidney", "Stomach", "Other"};
    for (int i = 1; i <= 5; ++i) organs.entries[i].name = names[i];
    create_doctor_list(&surgeons);
    create_push_list(&pushes);
  }
  ~BenchHost() override {
    Close();
    destroy_doctor_list(surgeons);
    destroy_push_list(pushes);
  }
  void Open() {
    std::string path = PatientsFolder();
    patients = InitUserDB(path.data(), Quiet);
    path = OperationsFolder();
    operations = InitOperationDB(path.data(), Quiet);
    if (!patients || !operations) std::abort();
  }
  void Close() {
    if (patients) CloseUserDB(patients);
    if (operations) CloseOperationDB(operations);
    patients = nullptr;
    operations = nullptr;
  }
  user_list* Patients() const override { return patients; }
  doctor_list* Surgeons() const override { return surgeons; }
  records::OrganTable& Organs() override { return organs; }
  records::HospitalTable& Hospitals() override { return hospitals; }

  user_list* patients = nullptr;
  operation_list* operations = nullptr;
  doctor_list* surgeons = nullptr;
  push_list* pushes = nullptr;
  records::OrganTable organs;
  records::HospitalTable hospitals;
};

// Opens the list, paints it with its first rows, closes it.
void ShowList(BenchHost& host) {
  KCD_ListWithNumberOperationsGlobal dlg(host, host.operations, host.pushes);
  if (!dlg.Create()) std::abort();
  dlg.ShowWindow(ui::SW_SHOW);
  dlg.UpdateWindow();
  QApplication::processEvents();
  if (dlg.ListBoxItem(1004).GetCount() != kCount) std::abort();
  dlg.DestroyWindow();
  QApplication::processEvents();
}

void BM_OpenDatabases(benchmark::State& state) {
  PatientsFolder();
  OperationsFolder();
  for (auto _ : state) {
    BenchHost host;
    host.Open();
  }
}
BENCHMARK(BM_OpenDatabases)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_BuildEntries(benchmark::State& state) {
  BenchHost host;
  host.Open();
  for (auto _ : state) {
    auto entries = records::BuildStationaryEntries(host.operations, host.patients, host.organs);
    if (entries.size() != kCount || entries[0].text.find(": Name") == std::string::npos)
      std::abort();
  }
}
BENCHMARK(BM_BuildEntries)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ShowListOnOpenDatabases(benchmark::State& state) {
  BenchHost host;
  host.Open();
  for (auto _ : state) ShowList(host);
}
BENCHMARK(BM_ShowListOnOpenDatabases)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunQtBenchmarks<ui::Application>(argc, argv); }

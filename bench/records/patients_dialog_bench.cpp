// The patients dialog on a database of 100,000 patients: reading the database (InitUserDB),
// opening the dialog on the open database until its list is filled and the first row painted,
// both together, and the description dialog, whose patient choice offers the same patients. The
// dialog should add no more than its own share to the reading. The database is written once into
// /tmp/records_bench (kept between runs).
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
#include "platform/ui/dialog.h"
#include "records/kcd_operation_description.h"
#include "records/kcd_patients.h"
#include "records/records_host.h"

namespace {

constexpr int kPatients = 100000;
const std::string kRoot = "/tmp/records_bench";

std::string PatientText(int id) {
  const std::string n = std::to_string(id);
  return "FIO: Family" + n + " Name Patronymic\r\nidFIO: " + n +
         "\r\nUserNumber: 0\r\nUserCard: C" + n + "\r\nSex: M\r\nBirthday: 1960 " +
         std::to_string(1 + id % 12) + " " + std::to_string(1 + id % 28) +
         "\r\nNidOrgans: 2\r\nidOrgan: 3 4\r\nOrgan: Left_lung; Liver;\r\n"
         "idDiagnosis: 4 5; 9;\r\nDiagnosis: Tumour of the left lung\r\n"
         "Notes: Admitted for a scheduled operation\r\n";
}

// The database folder, built once.
std::string Database() {
  return bench::DatabaseFolder(kRoot, "DB_" + std::to_string(kPatients), kPatients, "UserData",
                               PatientText);
}

void Quiet(const char*) {}

class BenchHost : public RecordsHost {
 public:
  user_list* Patients() const override { return patients; }
  doctor_list* Surgeons() const override { return surgeons; }
  records::OrganTable& Organs() override { return organs; }
  records::HospitalTable& Hospitals() override { return hospitals; }
  user_list* patients = nullptr;
  doctor_list* surgeons = nullptr;
  records::OrganTable organs;
  records::HospitalTable hospitals;
};

user_list* Open() {
  std::string path = Database();
  user_list* db = InitUserDB(path.data(), Quiet);
  if (!db) std::abort();
  return db;
}

// Opens the dialog, paints it with its first row, closes it.
void OpenDialog(BenchHost& host) {
  KCD_Patients dlg(host);
  if (!dlg.Create()) std::abort();
  dlg.ShowWindow(ui::SW_SHOW);
  dlg.UpdateWindow();
  QApplication::processEvents();
  if (dlg.ListBoxItem(1004).GetCount() != kPatients) std::abort();
  dlg.DestroyWindow();
  QApplication::processEvents();
}

void BM_ReadDatabase(benchmark::State& state) {
  Database();
  for (auto _ : state) CloseUserDB(Open());
}
BENCHMARK(BM_ReadDatabase)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_OpenDialogOnOpenDatabase(benchmark::State& state) {
  BenchHost host;
  host.patients = Open();
  for (auto _ : state) OpenDialog(host);
  CloseUserDB(host.patients);
}
BENCHMARK(BM_OpenDialogOnOpenDatabase)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ReadDatabaseAndOpenDialog(benchmark::State& state) {
  for (auto _ : state) {
    BenchHost host;
    host.patients = Open();
    OpenDialog(host);
    CloseUserDB(host.patients);
  }
}
BENCHMARK(BM_ReadDatabaseAndOpenDialog)->Iterations(3)->Unit(benchmark::kMillisecond);

// The description dialog offers the same patients in its patient choice.
void BM_OpenDescriptionOnOpenDatabase(benchmark::State& state) {
  BenchHost host;
  host.patients = Open();
  create_doctor_list(&host.surgeons);
  for (auto _ : state) {
    OperationDescription d;
    KCDOperationDescription dlg(host, d, false, true);
    if (!dlg.Create()) std::abort();
    dlg.ShowWindow(ui::SW_SHOW);
    dlg.UpdateWindow();
    QApplication::processEvents();
    if (dlg.ComboItem(1118).GetCount() != kPatients) std::abort();
    dlg.DestroyWindow();
    QApplication::processEvents();
  }
  destroy_doctor_list(host.surgeons);
  CloseUserDB(host.patients);
}
BENCHMARK(BM_OpenDescriptionOnOpenDatabase)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunQtBenchmarks<ui::Application>(argc, argv); }

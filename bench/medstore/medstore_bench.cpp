// medstore speed: opening databases of 10,000 and 100,000 patients and one of 1,000 pushes of
// 1,000 frames, each beside a plain read of the same files; lookup by id; a search by mask over
// 100,000 operations; building a list by n adds; memory per record. Fixtures are written as
// record files directly into /tmp/medstore_bench (kept between runs).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/db_folders.h"
#include "medstore/medstore.h"

namespace {

const std::string kRoot = "/tmp/medstore_bench";

void Quiet(const char*) {}

std::string PatientText(int id) {
  std::string s = "FIO: Family" + std::to_string(id) +
                  " Name Patronymic\r\nidFIO: " + std::to_string(id) +
                  "\r\nUserNumber: " + std::to_string(id * 3) + "\r\nUserCard: C" +
                  std::to_string(id) + "\r\nSex: M\r\nBirthday: 1960 " +
                  std::to_string(1 + id % 12) + " " + std::to_string(1 + id % 28) +
                  "\r\nNidOrgans: 2\r\nidOrgan: 3 8\r\nOrgan: Left lung; Liver;\r\n"
                  "idDiagnosis: 4 5; 9;\r\nDiagnosis: Tumour of the left lung\r\n"
                  "Notes: Admitted for a scheduled operation\r\n";
  return s;
}

std::string OperationText(int id) {
  return "ID: " + std::to_string(id) + "\r\nTime: " + std::to_string(2000 + id % 25) + " " +
         std::to_string(1 + id % 12) + " " + std::to_string(1 + id % 28) +
         " 10 20 30\r\nFIO_patient: Family Name Patronymic\r\nidFIO_patient: " +
         std::to_string(id % 5000) +
         "\r\nFIO_doctor: Surgeon Name Patronymic\r\nidFIO_doctor: " + std::to_string(id % 40) +
         "\r\nTypeMechReceptor: 0\r\nSubTypeMechReceptor: 0\r\nidOrgan: " +
         std::to_string(id % 30) +
         "\r\nOrgan: Liver\r\nidDiagnosis: " + std::to_string(id % 7 + 1) + " " +
         std::to_string(id % 11 + 1) + "\r\nDiagnosis: d\r\n";
}

constexpr int kFrames = 1000;

std::string PushText(int id) {
  std::string s = "ID: " + std::to_string(id) + "\r\nOperationID: " + std::to_string(1 + id / 20) +
                  "\r\nDeviceID: 0\r\nDeviceIDTxt: 00a1b2c3d4e5\r\nTime: 2024 3 1 10 20 30 456\r\n"
                  "DT: 10\r\nHeadNum: 19\r\nRawNum: 46\r\nNPress: " +
                  std::to_string(kFrames) + "\r\n";
  std::mt19937 rng(id);
  auto frames = [&](const char* key, int per, int range) {
    s += key;
    for (int f = 0; f < kFrames; ++f) {
      for (int j = 0; j < per; ++j) {
        s += ' ';
        s += std::to_string(j < 28 ? static_cast<int>(rng() % range) : 0);
      }
      s += " time: 2024 3 1 10 20 ";
      s += std::to_string(30 + f / 100);
      s += ' ';
      s += std::to_string(f % 100 * 10);
      s += ';';
    }
    s += "\r\n";
  };
  frames("Press:", 19, 60000);
  frames("RawPress:", 46, 4000);
  s += "Labels: { 0:12:; 0:400:; }\r\nNotes: soft tissue\r\nDeviceData: 7c000000";
  s += std::string(39992, '0') + "\r\n";
  return s;
}

std::string Patients(int n) {
  return bench::DatabaseFolder(kRoot, "DB_" + std::to_string(n), n, "UserData", PatientText);
}
std::string Operations() {
  return bench::DatabaseFolder(kRoot, "DB_op_100000", 100000, "OperationData", OperationText);
}
std::string Pushes() {
  return bench::DatabaseFolder(kRoot, "DB_push_1000", 1000, "PushData", PushText);
}

// The baseline: enumerate the folder and read every record file, nothing parsed.
size_t PlainRead(const std::string& dir, const char* file) {
  size_t bytes = 0;
  std::vector<char> buf(1 << 20);
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string path = dir + "/" + e->d_name + "/" + file;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) continue;
    ssize_t n;
    while ((n = read(fd, buf.data(), buf.size())) > 0) bytes += static_cast<size_t>(n);
    close(fd);
  }
  closedir(d);
  return bytes;
}

size_t HeapInUse() {
  struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

void BM_OpenPatients(benchmark::State& state) {
  std::string dir = Patients(static_cast<int>(state.range(0)));
  size_t before = HeapInUse(), perRecord = 0;
  for (auto _ : state) {
    user_list* list = InitUserDB(dir.data(), Quiet);
    state.PauseTiming();
    perRecord = (HeapInUse() - before) / static_cast<size_t>(state.range(0));
    state.ResumeTiming();
    CloseUserDB(list);
  }
  state.counters["bytes_per_record"] = static_cast<double>(perRecord);
  state.counters["records_per_s"] = benchmark::Counter(
      static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OpenPatients)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenPatients)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_PlainReadPatients(benchmark::State& state) {
  std::string dir = Patients(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(PlainRead(dir, "UserData"));
}
BENCHMARK(BM_PlainReadPatients)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadPatients)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_OpenPushes(benchmark::State& state) {
  std::string dir = Pushes();
  size_t before = HeapInUse(), perRecord = 0;
  for (auto _ : state) {
    push_list* list = InitPushDB(dir.data(), Quiet);
    state.PauseTiming();
    perRecord = (HeapInUse() - before) / 1000;
    state.ResumeTiming();
    ClosePushDB(list);
  }
  state.counters["bytes_per_push"] = static_cast<double>(perRecord);
}
BENCHMARK(BM_OpenPushes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PlainReadPushes(benchmark::State& state) {
  std::string dir = Pushes();
  size_t bytes = 0;
  for (auto _ : state) bytes = PlainRead(dir, "PushData");
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_PlainReadPushes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetPatientByID(benchmark::State& state) {
  std::string dir = Patients(100000);
  user_list* list = InitUserDB(dir.data(), Quiet);
  std::mt19937 rng(1);
  int found = 0;
  for (auto _ : state)
    found += GetPatientByID(static_cast<int>(rng() % 100000) + 1, list) != nullptr;
  if (found != static_cast<int>(state.iterations())) state.SkipWithError("lookup missed");
  CloseUserDB(list);
}
BENCHMARK(BM_GetPatientByID);

void BM_SearchOperationsByMask(benchmark::State& state) {
  std::string dir = Operations();
  size_t before = HeapInUse();
  operation_list* list = InitOperationDB(dir.data(), Quiet);
  state.counters["bytes_per_record"] = static_cast<double>(HeapInUse() - before) / 100000;
  operation_search_mask mask{};
  mask.size = sizeof mask;
  mask.version = 3;
  if (state.range(0) == 1) {  // a selective mask: one year, one organ, one diagnosis
    mask.use_time = 1;
    int16_t from[6] = {2010, 1, 1, 0, 0, 0}, to[6] = {2010, 12, 31, 23, 59, 59};
    std::memcpy(mask.time_from, from, sizeof from);
    std::memcpy(mask.time_to, to, sizeof to);
    mask.use_organs = 1;
    mask.organ_count = 2;
    mask.organs[0] = 10;
    mask.organs[1] = 20;
    mask.use_diagnoses = 1;
    mask.diagnoses[0][0] = 4;
    mask.diagnoses[1][0] = 4;
  }
  int count = 0;
  for (auto _ : state) {
    operation_list* result = nullptr;
    int* ids = nullptr;
    GetOperationsExt(&mask, &result, &ids, &count, list);
    GetOperationsExt(nullptr, &result, &ids, nullptr, list);
  }
  state.counters["selected"] = count;
  CloseOperationDB(list);
}
BENCHMARK(BM_SearchOperationsByMask)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Adds to a list without a path: id assignment and the duplicate check only.
void BM_BuildByAdds(benchmark::State& state) {
  for (auto _ : state) {
    operation_list* list = nullptr;
    create_operation_list(&list);
    operation_item item{};
    item.size = sizeof item;
    item.version = 3;
    for (int64_t i = 0; i < state.range(0); ++i) {
      item.ID = 0;
      AddOperation(&item, list);
    }
    destroy_operation_list(list);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_BuildByAdds)
    ->RangeMultiplier(4)
    ->Range(1000, 64000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

// Adds written to disk, as a workstation fills its database.
void BM_AddToDisk(benchmark::State& state) {
  std::string dir = kRoot + "/DB_add";
  for (auto _ : state) {
    state.PauseTiming();
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::abort();
    operation_list* list = InitOperationDB(dir.data(), Quiet);
    state.ResumeTiming();
    for (int64_t i = 0; i < state.range(0); ++i) {
      operation_item item{};
      item.size = sizeof item;
      item.version = 3;
      AddOperation(&item, list);
    }
    CloseOperationDB(list);
  }
  state.counters["adds_per_s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AddToDisk)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

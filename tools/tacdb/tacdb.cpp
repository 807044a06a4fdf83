// tacdb list|show|check FOLDER: the records of a medstore database folder, one record in full,
// or a check that reports every message the library gives while reading the folder (a data
// root with DB, DB_doc, DB_op and DB_push is checked as a whole, with cross references).
// Paths in the system's form ("c:\TacmonData\DB_op") or host paths; output in UTF-8.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "medstore/medstore.h"
#include "platform/cp1251.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

enum class DbKind { kUser, kDoctor, kOperation, kPush, kDevice };

struct KindInfo {
  DbKind kind;
  const char* word;    // for --kind and the output
  const char* file;    // record file name
  const char* folder;  // usual folder name under the database root
};

constexpr KindInfo kKinds[] = {
    {DbKind::kUser, "patient", "UserData", "DB"},
    {DbKind::kDoctor, "surgeon", "DoctorData", "DB_doc"},
    {DbKind::kOperation, "operation", "OperationData", "DB_op"},
    {DbKind::kPush, "push", "PushData", "DB_push"},
    {DbKind::kDevice, "device", "DeviceData", "DB_dev"},
};

const KindInfo& Info(DbKind k) {
  for (const auto& i : kKinds)
    if (i.kind == k) return i;
  return kKinds[0];
}

std::vector<Text1251> g_messages;
void Collect(const char* text) { g_messages.emplace_back(text); }

std::string U(std::string_view cp) { return Cp1251ToUtf8(cp); }
std::string Field(const char* field, size_t cap) {
  return U(std::string_view(field, strnlen(field, cap - 1)));
}
std::string Names(const char (*fio)[64]) {
  return Field(fio[0], 64) + " " + Field(fio[1], 64) + " " + Field(fio[2], 64);
}
std::string Owned(const char* text) {
  if (!text) return "";
  std::string t = U(text);
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  return t;
}

bool IsDecimal(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The kind of a database folder: from its record files, else from its name.
std::optional<DbKind> DetectKind(const fs::path& host) {
  std::error_code ec;
  std::map<DbKind, int> seen;
  int looked = 0;
  for (const auto& e : fs::directory_iterator(host, ec)) {
    if (!e.is_directory(ec) || !IsDecimal(e.path().filename().string())) continue;
    for (const auto& f : fs::directory_iterator(e.path(), ec))
      for (const auto& k : kKinds)
        if (Cp1251EqualNoCase(f.path().filename().string(), k.file)) ++seen[k.kind];
    if (++looked == 50) break;
  }
  if (!seen.empty()) {
    auto best = seen.begin();
    for (auto it = seen.begin(); it != seen.end(); ++it)
      if (it->second > best->second) best = it;
    return best->first;
  }
  std::string name = host.filename().string();
  for (const auto& k : kKinds)
    if (Cp1251EqualNoCase(name, k.folder)) return k.kind;
  return std::nullopt;
}

// An open database of any kind, closed on destruction.
struct Db {
  DbKind kind;
  user_list* users = nullptr;
  doctor_list* doctors = nullptr;
  operation_list* operations = nullptr;
  push_list* pushes = nullptr;
  device_list* devices = nullptr;

  Db(DbKind k, Text1251 path) : kind(k) {
    char* p = path.data();
    switch (k) {
      case DbKind::kUser:
        users = InitUserDB(p, Collect);
        break;
      case DbKind::kDoctor:
        doctors = InitDoctorDB(p, Collect);
        break;
      case DbKind::kOperation:
        operations = InitOperationDB(p, Collect);
        break;
      case DbKind::kPush:
        pushes = InitPushDB(p, Collect);
        break;
      case DbKind::kDevice:
        devices = InitDeviceDB(p, Collect);
        break;
    }
  }
  ~Db() {
    CloseUserDB(users);
    CloseDoctorDB(doctors);
    CloseOperationDB(operations);
    ClosePushDB(pushes);
    CloseDeviceDB(devices);
  }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  bool open() const { return users || doctors || operations || pushes || devices; }
  int lastId() const {
    if (users) return users->last_id;
    if (doctors) return doctors->last_id;
    if (operations) return operations->last_id;
    if (pushes) return pushes->last_id;
    return devices ? devices->last_id : 0;
  }
  template <class F>
  void forEachId(F&& f) const {
    if (users)
      for (auto* i = users->head; i; i = i->next) f(i->idFIO);
    if (doctors)
      for (auto* i = doctors->head; i; i = i->next) f(i->idFIO);
    if (operations)
      for (auto* i = operations->head; i; i = i->next) f(i->ID);
    if (pushes)
      for (auto* i = pushes->head; i; i = i->next) f(i->ID);
    if (devices)
      for (auto* i = devices->head; i; i = i->next) f(i->ID);
  }
  int count() const {
    int n = 0;
    forEachId([&](int) { ++n; });
    return n;
  }
};

std::string Date(const int16_t* t, int n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t[0], t[1], t[2], t[3], t[4],
                t[5]);
  std::string s = buf;
  if (n > 6) {
    std::snprintf(buf, sizeof buf, ".%03d", t[6]);
    s += buf;
  }
  return s;
}

void ListDb(const Db& db) {
  if (db.users)
    for (auto* u = db.users->head; u; u = u->next)
      std::printf("%d\t%s\tborn %04d-%02d-%02d\tnumber %d\tcard %s\n", u->idFIO,
                  Names(u->FIO).c_str(), u->Birthday[0], u->Birthday[1], u->Birthday[2],
                  u->UserNumber, Field(u->UserCard, 128).c_str());
  if (db.doctors)
    for (auto* d = db.doctors->head; d; d = d->next)
      std::printf("%d\t%s\n", d->idFIO, Names(d->FIO).c_str());
  if (db.operations)
    for (auto* o = db.operations->head; o; o = o->next)
      std::printf("%d\t%s\tpatient %d %s\tsurgeon %d\torgan %d %s\n", o->ID,
                  Date(o->Time, 6).c_str(), o->idFIO_patient, Names(o->FIO_patient).c_str(),
                  o->idFIO_doctor, o->idOrgan, Field(o->Organ, 100).c_str());
  if (db.pushes)
    for (auto* p = db.pushes->head; p; p = p->next)
      std::printf("%d\toperation %d\t%s\t%s\t%d frames\t%d labels\n", p->ID, p->OperationID,
                  Date(p->Time, 7).c_str(), Field(p->DeviceIDTxt, 32).c_str(), p->NPress,
                  p->NLabels);
  if (db.devices)
    for (auto* d = db.devices->head; d; d = d->next)
      std::printf("%d\tdevice %d\t%s\t%d sensors\n", d->ID, d->DeviceNumber,
                  Field(d->DeviceID, 32).c_str(), d->NSensors);
}

void ShowFiles(const file_list* files) {
  std::printf("Additional files:");
  for (const file_item* f = files ? files->head : nullptr; f; f = f->next)
    std::printf(" %s", U(f->name).c_str());
  std::printf("\n");
}

void ShowFrames(const char* title, const push_frame* frames, int n, int perFrame, bool full) {
  std::printf("%s: %d frames of %d values\n", title, frames ? n : 0, perFrame);
  if (!frames) return;
  int shown = full ? n : std::min(n, 3);
  for (int i = 0; i < shown; ++i) {
    std::printf("  %d:", i);
    for (int j = 0; j < perFrame; ++j)
      std::printf(" %d", frames[i].Values ? frames[i].Values[j] : 0);
    std::printf("  at %s\n", Date(frames[i].Time, 7).c_str());
  }
  if (shown < n) std::printf("  ... (--full shows all)\n");
}

bool Show(const Db& db, int id, bool full) {
  if (db.users) {
    const user_item* u = GetPatientByID(id, db.users);
    if (!u) return false;
    std::printf("Patient %d\nName: %s\nNumber: %d\nCard: %s\nSex: %s\nBirthday: %04d-%02d-%02d\n",
                u->idFIO, Names(u->FIO).c_str(), u->UserNumber, Field(u->UserCard, 128).c_str(),
                u->Sex == 1   ? "male"
                : u->Sex == 2 ? "female"
                              : "unknown",
                u->Birthday[0], u->Birthday[1], u->Birthday[2]);
    int n = std::clamp(u->NidOrgans, 0, 10);
    for (int i = 0; i < n; ++i) {
      std::printf("Organ %d: %s, diagnoses", u->idOrgan[i], Field(u->Organ[i], 100).c_str());
      for (int j = 0; j < 10 && u->idDiagnosis[i][j]; ++j) std::printf(" %d", u->idDiagnosis[i][j]);
      std::printf("\n");
    }
    std::printf("Diagnosis: %s\nNotes: %s\n", Owned(u->Diagnosis).c_str(), Owned(u->Notes).c_str());
    ShowFiles(u->files);
    return true;
  }
  if (db.doctors) {
    const doctor_item* d = GetDoctorByID(id, db.doctors);
    if (!d) return false;
    std::printf("Surgeon %d\nName: %s\n", d->idFIO, Names(d->FIO).c_str());
    ShowFiles(d->files);
    return true;
  }
  if (db.operations) {
    const operation_item* o = GetOperationByID(id, db.operations);
    if (!o) return false;
    std::printf(
        "Operation %d\nTime: %s\nPatient: %d %s\nSurgeon: %d %s\nProbe type: %d/%d\nOrgan: %d %s\n"
        "Diagnoses:",
        o->ID, Date(o->Time, 6).c_str(), o->idFIO_patient, Names(o->FIO_patient).c_str(),
        o->idFIO_doctor, Names(o->FIO_doctor).c_str(), o->TypeMechReceptor, o->SubTypeMechReceptor,
        o->idOrgan, Field(o->Organ, 100).c_str());
    for (int j = 0; j < 10 && o->idDiagnosis[j]; ++j) std::printf(" %d", o->idDiagnosis[j]);
    std::printf("\nDiagnosis: %s\nNotes: %s\n", Owned(o->Diagnosis).c_str(),
                Owned(o->Notes).c_str());
    ShowFiles(o->files);
    return true;
  }
  if (db.pushes) {
    const push_item* p = GetPushByID(0, id, db.pushes);
    if (!p) return false;
    std::printf("Push %d\nOperation: %d\nDevice: %d %s\nTime: %s\nDT: %d\n", p->ID, p->OperationID,
                p->DeviceID, Field(p->DeviceIDTxt, 32).c_str(), Date(p->Time, 7).c_str(), p->DT);
    ShowFrames("Press", p->Press, p->NPress, p->HeadNum, full);
    ShowFrames("RawPress", p->RawPress, p->NPress, p->RawNum, full);
    std::printf("Labels: %d\n", p->NLabels);
    for (int i = 0; p->Labels && i < p->NLabels; ++i)
      std::printf("  type %d at frame %d: %s\n", p->Labels[i].Type, p->Labels[i].ElementaryPush,
                  p->Labels[i].Comment ? U(p->Labels[i].Comment).c_str() : "");
    std::printf("Notes: %s\n", Owned(p->Notes).c_str());
    int used = MEDSTORE_DEVICE_DATA_SIZE;
    while (used > 0 && p->DeviceData[used - 1] == 0) --used;
    std::printf("Device data: %d of %d bytes used\n", used, MEDSTORE_DEVICE_DATA_SIZE);
    ShowFiles(p->files);
    return true;
  }
  if (db.devices) {
    const device_item* d = GetDeviceByID(id, db.devices);
    if (!d) return false;
    std::printf(
        "Device %d\nType: %d\nInit string: %s\nSensors: %d\nMax: %d\nNumber: %d\nId: %s\n"
        "Date: %d-%02d-%02d %02d:%02d:%02d\nReference: %d\nRefSlopes: %f\nRefShifts: %f\n",
        d->ID, d->Type, Field(d->InitString, 128).c_str(), d->NSensors, d->Max, d->DeviceNumber,
        Field(d->DeviceID, 32).c_str(), d->Date[0], d->Date[1], d->Date[2], d->Date[3], d->Date[4],
        d->Date[5], d->RefNumber, d->RefSlopes, d->RefShifts);
    ShowFiles(d->files);
    return true;
  }
  return false;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: tacdb [--kind patient|surgeon|operation|push|device] list FOLDER\n"
      "       tacdb [--kind ...] [--full] show FOLDER ID\n"
      "       tacdb [--kind ...] check FOLDER\n"
      "FOLDER is a database folder (c:\\TacmonData\\DB_op or a host path); check also takes\n"
      "a database root holding DB, DB_doc, DB_op and DB_push.\n");
  return 2;
}

int NumericFolders(const fs::path& host) {
  std::error_code ec;
  int n = 0;
  for (const auto& e : fs::directory_iterator(host, ec))
    if (IsDecimal(e.path().filename().string())) ++n;
  return n;
}

// Checks one database; returns the number of problems and leaves the database open in out.
int CheckOne(const Text1251& path, const fs::path& host, DbKind kind, std::unique_ptr<Db>& out) {
  g_messages.clear();
  out = std::make_unique<Db>(kind, path);
  const char* word = Info(kind).word;
  if (!out->open()) {
    for (const auto& m : g_messages) std::printf("  %s\n", Owned(m.c_str()).c_str());
    std::printf("%s: cannot open the %s database\n", U(path).c_str(), word);
    return 1;
  }
  int problems = static_cast<int>(g_messages.size());
  int folders = NumericFolders(host);
  int records = out->count();
  std::printf("%s: %d %s records, last id %d\n", U(path).c_str(), records, word, out->lastId());
  for (const auto& m : g_messages) std::printf("  %s\n", Owned(m.c_str()).c_str());
  if (folders > records) {
    std::printf("  %d record folders were left out\n", folders - records);
    ++problems;
  }
  return problems;
}

int Check(const Text1251& path, std::optional<DbKind> forced) {
  fs::path host = winpath::Resolve(path);
  std::error_code ec;
  if (!fs::is_directory(host, ec)) {
    std::fprintf(stderr, "tacdb: %s: no such folder\n", U(path).c_str());
    return 2;
  }
  std::optional<DbKind> kind = forced ? forced : DetectKind(host);
  if (kind) {
    std::unique_ptr<Db> db;
    int problems = CheckOne(path, host, *kind, db);
    std::printf(problems ? "%d problems\n" : "no problems\n", problems);
    return problems ? 1 : 0;
  }
  // A database root: every database folder it holds, then the references between them.
  std::map<DbKind, std::unique_ptr<Db>> dbs;
  int problems = 0;
  for (const auto& k : kKinds) {
    Text1251 sub =
        path + (path.empty() || path.back() == '\\' || path.back() == '/' ? "" : "\\") + k.folder;
    fs::path subHost = winpath::Resolve(sub);
    if (!fs::is_directory(subHost, ec)) continue;
    problems += CheckOne(sub, subHost, k.kind, dbs[k.kind]);
  }
  if (dbs.empty()) {
    std::fprintf(stderr, "tacdb: %s holds no database\n", U(path).c_str());
    return 2;
  }
  auto has = [&](DbKind k) { return dbs.count(k) && dbs[k]->open(); };
  auto ids = [&](DbKind k) {
    std::set<int> s;
    if (has(k)) dbs[k]->forEachId([&](int id) { s.insert(id); });
    return s;
  };
  if (has(DbKind::kOperation)) {
    std::set<int> patients = ids(DbKind::kUser), doctors = ids(DbKind::kDoctor);
    for (auto* o = dbs[DbKind::kOperation]->operations->head; o; o = o->next) {
      if (has(DbKind::kUser) && o->idFIO_patient != 0 && !patients.count(o->idFIO_patient)) {
        std::printf("  operation %d: patient %d not found\n", o->ID, o->idFIO_patient);
        ++problems;
      }
      if (has(DbKind::kDoctor) && o->idFIO_doctor != 0 && !doctors.count(o->idFIO_doctor)) {
        std::printf("  operation %d: surgeon %d not found\n", o->ID, o->idFIO_doctor);
        ++problems;
      }
    }
  }
  if (has(DbKind::kPush) && has(DbKind::kOperation)) {
    std::set<int> operations = ids(DbKind::kOperation);
    for (auto* p = dbs[DbKind::kPush]->pushes->head; p; p = p->next)
      if (!operations.count(p->OperationID)) {
        std::printf("  push %d: operation %d not found\n", p->ID, p->OperationID);
        ++problems;
      }
  }
  std::printf(problems ? "%d problems\n" : "no problems\n", problems);
  return problems ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<DbKind> forced;
  bool full = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--kind" && i + 1 < argc) {
      std::string k = argv[++i];
      for (const auto& info : kKinds)
        if (k == info.word) forced = info.kind;
      if (!forced) {
        std::fprintf(stderr, "tacdb: unknown kind %s\n", k.c_str());
        return Usage();
      }
    } else if (a == "--full") {
      full = true;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) return Usage();
  const std::string& command = args[0];
  Text1251 path = Utf8ToCp1251(args[1]);
  if (command == "check") {
    if (args.size() != 2) return Usage();
    return Check(path, forced);
  }
  if (command != "list" && command != "show") return Usage();
  if ((command == "list") != (args.size() == 2) || args.size() > 3) return Usage();
  fs::path host = winpath::Resolve(path);
  std::error_code ec;
  if (!fs::is_directory(host, ec)) {
    std::fprintf(stderr, "tacdb: %s: no such folder\n", args[1].c_str());
    return 2;
  }
  std::optional<DbKind> kind = forced ? forced : DetectKind(host);
  if (!kind) {
    std::fprintf(stderr, "tacdb: %s: cannot tell which database this is; give --kind\n",
                 args[1].c_str());
    return 2;
  }
  Db db(*kind, path);
  for (const auto& m : g_messages) std::fprintf(stderr, "tacdb: %s\n", Owned(m.c_str()).c_str());
  if (!db.open()) return 2;
  if (command == "list") {
    ListDb(db);
    return g_messages.empty() ? 0 : 1;
  }
  char* end = nullptr;
  long id = std::strtol(args[2].c_str(), &end, 10);
  if (!end || *end || args[2].empty()) {
    std::fprintf(stderr, "tacdb: %s is not a record id\n", args[2].c_str());
    return 2;
  }
  if (!Show(db, static_cast<int>(id), full)) {
    std::fprintf(stderr, "tacdb: no %s with id %ld\n", Info(*kind).word, id);
    return 1;
  }
  return 0;
}

#include "recording/operation_files.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/db_mapping.h"
#include "acquisition/push_file.h"
#include "medstore/medstore.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace recording {
namespace {

// The file is small; anything beyond this is not a description.
constexpr int64_t kPatientFileLimit = 1 << 20;

void PutInt(std::string& out, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void PutText(std::string& out, const Text1251& t) {
  PutInt(out, static_cast<int32_t>(t.size()));
  out += t;
}

class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}
  bool Int(int32_t& v) {
    if (b_.size() - pos_ < 4) return false;
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(b_[pos_ + i])) << (8 * i);
    pos_ += 4;
    v = static_cast<int32_t>(u);
    return true;
  }
  // A length beyond the bytes left is a broken field, never a read past the end.
  bool Text(Text1251& t) {
    int32_t n = 0;
    if (!Int(n)) return false;
    if (n <= 0) {
      t.clear();
      return true;
    }
    if (static_cast<size_t>(n) > b_.size() - pos_) return false;
    t.assign(b_.substr(pos_, static_cast<size_t>(n)));
    pos_ += static_cast<size_t>(n);
    return true;
  }

 private:
  std::string_view b_;
  size_t pos_ = 0;
};

Text1251 Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
Text1251 Format(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return Text1251(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  big.resize(static_cast<size_t>(n));
  return big;
}

char* Duplicate(const Text1251& t) {
  char* p = static_cast<char*>(std::malloc(t.size() + 1));
  if (!p) return nullptr;
  std::memcpy(p, t.data(), t.size());
  p[t.size()] = 0;
  return p;
}

Text1251 Fixed(const char* field, size_t size) { return Text1251(field, strnlen(field, size)); }

}  // namespace

std::string EncodePatientFile(const OperationDescription& d) {
  std::string out;
  PutInt(out, kPatientFileVersion);
  PutText(out, d.firstName);
  PutText(out, d.patronymic);
  PutText(out, d.familyName);
  PutInt(out, d.patientId);
  PutInt(out, d.surgeonId);
  for (int32_t t : d.times) PutInt(out, t);
  PutInt(out, d.sexIndex);
  PutInt(out, d.birthDay);
  PutInt(out, d.birthMonth);
  PutInt(out, d.birthYear);
  PutInt(out, d.organId);
  PutText(out, d.organDescription);
  PutText(out, d.cardNumber);
  PutInt(out, d.diagnosisIndex);
  PutInt(out, d.sensorType);
  PutText(out, d.diagnosisDescription);
  PutText(out, d.notes);
  PutText(out, d.hospital);
  return out;
}

int DecodePatientFile(OperationDescription& d, std::string_view bytes) {
  OperationDescription r = d;
  Reader in(bytes);
  int32_t v = 0;
  if (!in.Int(v)) return kPatientBadField;
  if (v < kPatientFileOldest || v > kPatientFileVersion) return kPatientBadVersion;
  if (!in.Text(r.firstName) || !in.Text(r.patronymic) || !in.Text(r.familyName))
    return kPatientBadField;
  if (v > 202 && !in.Int(r.patientId)) return kPatientBadField;
  if (v > 204 && !in.Int(r.surgeonId)) return kPatientBadField;
  if (v > 205) {
    for (int32_t& t : r.times)
      if (!in.Int(t)) return kPatientBadField;
  }
  if (!in.Int(r.sexIndex) || !in.Int(r.birthDay) || !in.Int(r.birthMonth) || !in.Int(r.birthYear) ||
      !in.Int(r.organId) || !in.Text(r.organDescription))
    return kPatientBadField;
  if (v > 206 && !in.Text(r.cardNumber)) return kPatientBadField;
  if (!in.Int(r.diagnosisIndex)) return kPatientBadField;
  if (v >= 202 && !in.Int(r.sensorType)) return kPatientBadField;
  if (!in.Text(r.diagnosisDescription)) return kPatientBadField;
  if (!in.Text(r.notes)) return kPatientBadNotes;
  if (v >= 208 && !in.Text(r.hospital)) return kPatientBadHospital;
  d = std::move(r);
  return kPatientOk;
}

int ReadPatientFile(OperationDescription& d, std::string_view winPath) {
  std::string bytes;
  if (!ReadWholeFile(winPath, bytes, false, kPatientFileLimit, true)) return kPatientCannotOpen;
  return DecodePatientFile(d, bytes);
}

int WritePatientFile(const OperationDescription& d, std::string_view winPath) {
  return WriteWholeFile(winPath, EncodePatientFile(d), false) == 0 ? 0 : -1;
}

Text1251 NewOperationName(const std::array<int32_t, 12>& t) {
  return Format("%d.%2.2d.%2.2d_%2.2d-%2.2d", t[0], t[1], t[2], t[3], t[4]);
}

Text1251 StationaryOperationName(const int16_t time[6], int version) {
  Text1251 name = Format("GL_%d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d", time[0], time[1], time[2], time[3],
                         time[4], time[5]);
  if (version >= 2) name += Format("_v%d", version);
  return name;
}

Text1251 OperationNameOfRow(std::string_view row) {
  size_t end = row.find_first_of(" \t");
  return Text1251(row.substr(0, end));
}

Text1251 OperationFolderOf(std::string_view name) { return kOperationsFolder + Text1251(name); }

Text1251 OperationTitle(const Text1251& name, const Text1251& organ, const OperationDescription& d,
                        const Text1251& pushName) {
  return Format("Запись операции <%s>. (%s)[%s %s %s]. Нажатие:%s"_cp, name.c_str(), organ.c_str(),
                d.familyName.c_str(), d.firstName.c_str(), d.patronymic.c_str(), pushName.c_str());
}

Text1251 OperationRow(const Text1251& name, const OperationDescription& d, const Text1251& organ) {
  return name + Format(" (%s %s %s; %s)", d.firstName.c_str(), d.patronymic.c_str(),
                       d.familyName.c_str(), organ.c_str());
}

Text1251 SupplyVoltageText(int format, const SensorFrame& f) {
  if (format == 0)
    return Format("Напр.питания=%5.2lfВ,(%5.2lfВ)"_cp, f.statusWord0 / 100.0,
                  f.statusWord1 / 100.0);
  if (format == 1) {
    const int w = f.extraWords[0];
    if (w > 11000 && w < 14500)
      return Format("Напр.питания=%5.2lfВ"_cp, w * 7.551733776000001 / 20000);
  }
  return {};
}

void CopyFixed(char* field, size_t size, std::string_view text) {
  if (size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, size - n);
}

void FillOperationItem(operation_item& item, const OperationDescription& d,
                       const doctor_item* surgeon) {
  std::memset(&item, 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
  for (int i = 0; i < 6; ++i) item.Time[i] = static_cast<int16_t>(d.times[i]);
  CopyFixed(item.FIO_patient[0], sizeof item.FIO_patient[0], d.firstName);
  CopyFixed(item.FIO_patient[1], sizeof item.FIO_patient[1], d.patronymic);
  CopyFixed(item.FIO_patient[2], sizeof item.FIO_patient[2], d.familyName);
  item.idFIO_patient = d.patientId;
  item.idFIO_doctor = d.surgeonId;
  if (surgeon) {
    for (int i = 0; i < 3; ++i)
      CopyFixed(item.FIO_doctor[i], sizeof item.FIO_doctor[i],
                Fixed(surgeon->FIO[i], sizeof surgeon->FIO[i]));
  }
  item.idOrgan = d.organId;
  CopyFixed(item.Organ, sizeof item.Organ, d.organDescription);
  item.idDiagnosis[0] = d.diagnosisIndex;
  item.Diagnosis = Duplicate(d.diagnosisDescription);
  item.Notes = Duplicate(d.notes);
}

void CopyPatientInto(OperationDescription& d, const user_item& p) {
  d.familyName = Fixed(p.FIO[0], sizeof p.FIO[0]);
  d.firstName = Fixed(p.FIO[1], sizeof p.FIO[1]);
  d.patronymic = Fixed(p.FIO[2], sizeof p.FIO[2]);
  d.sexIndex = p.Sex >= 1 ? p.Sex - 1 : 0;
  d.birthDay = p.Birthday[2];
  d.birthMonth = p.Birthday[1];
  d.birthYear = p.Birthday[0];
  d.notes = p.Notes ? Text1251(p.Notes) : Text1251();
  d.cardNumber = Fixed(p.UserCard, sizeof p.UserCard);
}

}  // namespace recording

namespace recording {

std::vector<FolderPush> ListFolderPushes(std::string_view folder) {
  std::vector<FolderPush> out;
  const Text1251 base = Text1251(folder) + "\\";
  for (const fsw::DirEntry& e : fsw::ListDirectory(base + "*.psh"))
    if (!e.isDirectory) out.push_back({base + e.name, {}});
  return out;
}

bool StorePushInDatabase(push_list* pushes, int operationId, const FolderPush& p) {
  Push push;
  if (ReadPushFile(push, p.fileName) != 0) {
    AddLogMessageF("Не удается прочитать нажатие %s"_cp, p.fileName.c_str());
    return false;
  }
  // The record's time is the push's start; a file alone does not keep it.
  if (p.startTime != 0) push.startTime = p.startTime;
  push_item record{};  // id 0: the database gives a new one
  PushToDatabase(record, push, operationId, p.comment);
  CopyFixed(record.DeviceIDTxt, sizeof record.DeviceIDTxt, DeviceIdText(push.passport));
  const int rc = pushes ? AddPush(&record, pushes) : 1;
  ReleasePushRecord(record);
  if (rc != 0) {
    AddLogMessageF("Не удается добавить нажатие %s в стационарную базу данных"_cp,
                   p.fileName.c_str());
    return false;
  }
  return true;
}

int ExportOperationPushes(push_list* pushes, int operationId, std::string_view folder) {
  if (!pushes) return 0;
  int written = 0;
  for (push_item* item = pushes->head; item; item = item->next) {
    if (item->OperationID != operationId) continue;
    Push push;
    PushFromDatabase(push, *item);
    Text1251 stem = Format("%s\\%2.2d-%2.2d-%2.2d", Text1251(folder).c_str(), item->Time[3],
                           item->Time[4], item->Time[5]);
    Text1251 name = stem + ".psh";
    for (int k = 2; fsw::FileExists(name) && k < 1000; ++k) name = stem + Format("_%d.psh", k);
    if (WritePushFile(push, name) == 0)
      ++written;
    else
      AddLogMessageF("Не удается записать нажатие %s"_cp, name.c_str());
  }
  return written;
}

}  // namespace recording

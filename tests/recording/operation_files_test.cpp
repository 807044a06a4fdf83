// The operation's files and records without windows: "patient.bin" byte for byte and across
// its versions, broken files refused without touching the description, fixed record fields cut
// to their size, the folder, title and status texts, and pushes stored into and exported from
// a real pushes database.
#include "recording/operation_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "acquisition/push_file.h"
#include "medstore/medstore.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "support/scratch_roots.h"

namespace {

using namespace recording;

std::string I32(int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}
std::string Txt(const std::string& t) { return I32(static_cast<int32_t>(t.size())) + t; }

OperationDescription Sample() {
  OperationDescription d;
  d.firstName = "Анна"_cp;
  d.patronymic = "Сергеевна"_cp;
  d.familyName = "Иванова"_cp;
  d.hospital = "Больница №1"_cp;
  d.patientId = 17;
  d.sexIndex = 1;
  d.birthDay = 5;
  d.birthMonth = 3;
  d.birthYear = 1970;
  d.organId = 3;
  d.organDescription = "левая доля"_cp;
  d.cardNumber = "A-1";
  d.diagnosisIndex = 2;
  d.diagnosisDescription = "узел"_cp;
  d.notes = "";
  d.sensorType = 1;
  d.surgeonId = 4;
  d.times = {2026, 12, 11, 5, 40, 12, 0, 0, 0, 0, 0, 0};
  return d;
}

// A file of version v with the fields of Sample() that the version holds, in the order of the
// format table.
std::string FileOfVersion(int v) {
  const OperationDescription d = Sample();
  std::string b = I32(v) + Txt(d.firstName) + Txt(d.patronymic) + Txt(d.familyName);
  if (v > 202) b += I32(d.patientId);
  if (v > 204) b += I32(d.surgeonId);
  if (v > 205)
    for (int32_t t : d.times) b += I32(t);
  b += I32(d.sexIndex) + I32(d.birthDay) + I32(d.birthMonth) + I32(d.birthYear) + I32(d.organId) +
       Txt(d.organDescription);
  if (v > 206) b += Txt(d.cardNumber);
  b += I32(d.diagnosisIndex);
  if (v >= 202) b += I32(d.sensorType);
  b += Txt(d.diagnosisDescription) + Txt(d.notes);
  if (v >= 208) b += Txt(d.hospital);
  return b;
}

TEST(PatientFile, WrittenAsVersion208ByteForByte) {
  const std::string bytes = EncodePatientFile(Sample());
  EXPECT_EQ(bytes, FileOfVersion(208));
  // Little-endian version word, then the first name's length and CP1251 bytes.
  EXPECT_EQ(bytes.substr(0, 8), std::string("\xD0\x00\x00\x00\x04\x00\x00\x00", 8));
  EXPECT_EQ(bytes.substr(8, 4), "\xC0\xED\xED\xE0");
  EXPECT_EQ(bytes.size(), 4 + 8 + 13 + 11 + 4 + 4 + 48 + 16 + 4 + 14 + 7 + 4 + 4 + 8 + 4 + 15);
}

TEST(PatientFile, EveryVersionReadsItsFieldsAndKeepsTheRest) {
  OperationDescription keep;
  keep.patientId = -7;
  keep.surgeonId = -8;
  keep.times.fill(-9);
  keep.cardNumber = "old card";
  keep.sensorType = 5;
  keep.hospital = "old hospital";
  const OperationDescription s = Sample();
  for (int v = 201; v <= 208; ++v) {
    SCOPED_TRACE(v);
    OperationDescription d = keep;
    ASSERT_EQ(DecodePatientFile(d, FileOfVersion(v)), kPatientOk);
    EXPECT_EQ(d.firstName, s.firstName);
    EXPECT_EQ(d.familyName, s.familyName);
    EXPECT_EQ(d.birthYear, 1970);
    EXPECT_EQ(d.organDescription, s.organDescription);
    EXPECT_EQ(d.diagnosisDescription, s.diagnosisDescription);
    EXPECT_EQ(d.patientId, v > 202 ? s.patientId : keep.patientId);
    EXPECT_EQ(d.surgeonId, v > 204 ? s.surgeonId : keep.surgeonId);
    EXPECT_EQ(d.times, v > 205 ? s.times : keep.times);
    EXPECT_EQ(d.cardNumber, v > 206 ? s.cardNumber : keep.cardNumber);
    EXPECT_EQ(d.sensorType, v >= 202 ? s.sensorType : keep.sensorType);
    EXPECT_EQ(d.hospital, v >= 208 ? s.hospital : keep.hospital);
  }
}

TEST(PatientFile, BrokenFilesAreRefusedAndLeaveTheDescriptionAsItWas) {
  const std::string good = FileOfVersion(208);
  const size_t notesAt = good.size() - 15 - 4;  // notes (empty) and the hospital follow
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  std::string hugeName = good;
  hugeName.replace(4, 4, I32(0x7fffffff));
  std::string longNotes = good.substr(0, notesAt) + I32(1000) + "abc";
  std::string longHospital = good.substr(0, good.size() - 15) + I32(12) + "short";
  const Case cases[] = {
      {"empty", "", kPatientBadField},
      {"version 200", FileOfVersion(201).replace(0, 4, I32(200)), kPatientBadVersion},
      {"version 209", FileOfVersion(208).replace(0, 4, I32(209)), kPatientBadVersion},
      {"name longer than the file", hugeName, kPatientBadField},
      {"cut in the date-times", good.substr(0, 60), kPatientBadField},
      {"cut before the notes", good.substr(0, notesAt), kPatientBadNotes},
      {"notes longer than the bytes left", longNotes, kPatientBadNotes},
      {"hospital longer than the bytes left", longHospital, kPatientBadHospital},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OperationDescription d;
    d.firstName = "unchanged";
    d.patientId = 99;
    EXPECT_EQ(DecodePatientFile(d, c.bytes), c.code);
    EXPECT_EQ(d.firstName, "unchanged");
    EXPECT_EQ(d.patientId, 99);
  }
}

TEST(PatientFile, RoundTripThroughTheDataRoot) {
  ScratchRoots roots;
  const char* file = "c:\\Tacmon\\OPERATIONS\\x\\patient.bin";
  OperationDescription d;
  EXPECT_EQ(ReadPatientFile(d, file), kPatientCannotOpen);
  ASSERT_TRUE(fsw::MakeDirectories("c:\\Tacmon\\OPERATIONS\\x"));
  ASSERT_EQ(WritePatientFile(Sample(), file), 0);
  ASSERT_EQ(ReadPatientFile(d, file), kPatientOk);
  EXPECT_EQ(EncodePatientFile(d), EncodePatientFile(Sample()));
}

TEST(OperationRecord, FixedFieldsKeepATerminator) {
  OperationDescription d = Sample();
  d.firstName = std::string(80, 'a');
  d.patronymic = std::string(63, 'b');
  d.familyName = std::string(64, 'c');
  d.organDescription = std::string(150, 'o');
  doctor_item surgeon{};
  std::memset(surgeon.FIO, 'z', sizeof surgeon.FIO);  // names without terminators
  operation_item item;
  FillOperationItem(item, d, &surgeon);
  EXPECT_EQ(std::string(item.FIO_patient[0]), std::string(63, 'a'));
  EXPECT_EQ(std::string(item.FIO_patient[1]), std::string(63, 'b'));
  EXPECT_EQ(std::string(item.FIO_patient[2]), std::string(63, 'c'));
  EXPECT_EQ(std::string(item.Organ), std::string(99, 'o'));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::string(item.FIO_doctor[i]), std::string(63, 'z'));
  EXPECT_EQ(item.Time[0], 2026);
  EXPECT_EQ(item.Time[5], 12);
  EXPECT_EQ(item.idFIO_patient, 17);
  EXPECT_EQ(item.idFIO_doctor, 4);
  EXPECT_EQ(item.idDiagnosis[0], 2);
  EXPECT_STREQ(item.Diagnosis, d.diagnosisDescription.c_str());
  std::free(item.Diagnosis);
  std::free(item.Notes);
}

TEST(OperationNames, FoldersRowsTitleAndVoltage) {
  EXPECT_EQ(NewOperationName({2026, 1, 2, 3, 4, 5}), "2026.01.02_03-04");
  const int16_t t[6] = {2025, 7, 8, 9, 10, 11};
  EXPECT_EQ(StationaryOperationName(t), "GL_2025.07.08_09-10-11");
  EXPECT_EQ(StationaryOperationName(t, 2), "GL_2025.07.08_09-10-11_v2");
  EXPECT_EQ(StationaryOperationName(t, 999), "GL_2025.07.08_09-10-11_v999");
  EXPECT_EQ(OperationNameOfRow("2026.01.02_03-04 (a b c; d)"), "2026.01.02_03-04");
  EXPECT_EQ(OperationNameOfRow("GL_x\tmore"), "GL_x");
  EXPECT_EQ(OperationNameOfRow("plain"), "plain");
  const OperationDescription d = Sample();
  EXPECT_EQ(OperationTitle("N", "Печень"_cp, d, "p1"),
            "Запись операции <N>. (Печень)[Иванова Анна Сергеевна]. Нажатие:p1"_cp);
  EXPECT_EQ(OperationRow("N", d, ""), "N (Анна Сергеевна Иванова; )"_cp);

  SensorFrame f;
  f.statusWord0 = 480;
  f.statusWord1 = 1234;
  EXPECT_EQ(SupplyVoltageText(0, f), "Напр.питания= 4.80В,(12.34В)"_cp);
  EXPECT_EQ(SupplyVoltageText(2, f), "");
  const struct {
    int word;
    const char* text;
  } format1[] = {{11000, ""},
                 {11001, "Напр.питания= 4.15В"},
                 {14499, "Напр.питания= 5.47В"},
                 {14500, ""},
                 {0, ""}};
  for (const auto& c : format1) {
    f.extraWords[0] = static_cast<int16_t>(c.word);
    EXPECT_EQ(SupplyVoltageText(1, f), Utf8ToCp1251(c.text)) << c.word;
  }
}

std::vector<std::string> g_log;
void Capture(const char* text) { g_log.emplace_back(text); }

TEST(OperationPushes, StoredWithTheOperationIdAndExportedBack) {
  ScratchRoots roots;
  LogSink old = SetLogSink(&Capture);
  g_log.clear();
  ASSERT_TRUE(fsw::MakeDirectories("c:\\Tacmon\\OPERATIONS\\op"));
  // Two pushes started in the same second, one file that is no push.
  Push p = CreatePush();
  p.startTime = 1'700'000'000;
  p.hasPassport = true;
  for (int i = 0; i < 5; ++i) {
    SensorFrame f;
    f.values[0] = 100 + i;
    f.index = i;
    p.frames.push_back(f);
  }
  ASSERT_EQ(WritePushFile(p, "c:\\Tacmon\\OPERATIONS\\op\\10-00-00.psh"), 0);
  p.frames[0].values[0] = 7;
  ASSERT_EQ(WritePushFile(p, "c:\\Tacmon\\OPERATIONS\\op\\10-00-01.psh"), 0);
  ASSERT_EQ(WriteWholeFile("c:\\Tacmon\\OPERATIONS\\op\\broken.psh", "no push"), 0);
  const auto pushes = ListFolderPushes("c:\\Tacmon\\OPERATIONS\\op");
  ASSERT_EQ(pushes.size(), 3u);

  std::string path = "c:\\TacmonData\\DB_push";
  ASSERT_TRUE(fsw::MakeDirectories(path));
  push_list* db = InitPushDB(path.data(), &Capture);
  ASSERT_NE(db, nullptr);
  int stored = 0;
  for (const FolderPush& fp : pushes) stored += StorePushInDatabase(db, 42, fp);
  EXPECT_EQ(stored, 2);
  bool namedTheBroken = false;
  for (const std::string& line : g_log)
    namedTheBroken |= line.find("broken.psh") != std::string::npos;
  EXPECT_TRUE(namedTheBroken) << "the push that failed is named in the log";
  EXPECT_FALSE(StorePushInDatabase(nullptr, 42, pushes[0]));
  int withId = 0;
  for (push_item* it = db->head; it; it = it->next) withId += it->OperationID == 42;
  EXPECT_EQ(withId, 2);
  // With its start time known (the pushes list's), the record's time is that start.
  FolderPush started = pushes[0];
  started.startTime = 1741083630;
  ASSERT_TRUE(StorePushInDatabase(db, 43, started));
  std::tm tm{};
  const std::time_t at = started.startTime;
  ASSERT_NE(localtime_r(&at, &tm), nullptr);
  const push_item* last = nullptr;
  for (push_item* it = db->head; it; it = it->next)
    if (it->OperationID == 43) last = it;
  ASSERT_NE(last, nullptr);
  const int16_t want[7] = {static_cast<int16_t>(tm.tm_year + 1900),
                           static_cast<int16_t>(tm.tm_mon + 1),
                           static_cast<int16_t>(tm.tm_mday),
                           static_cast<int16_t>(tm.tm_hour),
                           static_cast<int16_t>(tm.tm_min),
                           static_cast<int16_t>(tm.tm_sec),
                           0};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(last->Time[k], want[k]) << k;

  ASSERT_TRUE(fsw::MakeDirectories("c:\\Tacmon\\OPERATIONS\\GL"));
  EXPECT_EQ(ExportOperationPushes(db, 42, "c:\\Tacmon\\OPERATIONS\\GL"), 2);
  EXPECT_EQ(ExportOperationPushes(db, 41, "c:\\Tacmon\\OPERATIONS\\GL"), 0);
  const auto exported = ListFolderPushes("c:\\Tacmon\\OPERATIONS\\GL");
  ASSERT_EQ(exported.size(), 2u) << "the same start second keeps both";
  std::vector<int> first;
  for (const FolderPush& e : exported) {
    Push back;
    ASSERT_EQ(ReadPushFile(back, e.fileName), 0);
    ASSERT_EQ(back.FrameCount(), 5);
    first.push_back(back.frames[0].values[0]);
  }
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<int>{7, 100}));
  ClosePushDB(db);
  SetLogSink(old);
}

}  // namespace

// Record files of the five kinds: byte-exact writing, reading back, and the parsers' limits
// and messages on hand-written files.
#include <functional>

#include "medstore_test_util.h"

using namespace medstore_test;

namespace {

class RecordTest : public ScratchTest {};

user_item SamplePatient() {
  user_item u = Blank<user_item>();
  SetNames(u.FIO, "Ivanov", "Ivan", "Ivanovich");
  u.UserNumber = 17;
  std::strcpy(u.UserCard, "K-42");
  u.Sex = 2;
  u.Birthday[0] = 1970, u.Birthday[1] = 5, u.Birthday[2] = 3;
  u.NidOrgans = 2;
  u.idOrgan[0] = 3, u.idOrgan[1] = 8;
  std::strcpy(u.Organ[0], "Left lung");
  std::strcpy(u.Organ[1], "Liver");
  u.idDiagnosis[0][0] = 4, u.idDiagnosis[0][1] = 5, u.idDiagnosis[1][0] = 9;
  return u;
}

TEST_F(RecordTest, PatientIsWrittenByteExactAndReadsBack) {
  std::string db = MakeDb("DB");
  user_list* list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  user_item u = SamplePatient();
  std::string diagnosis = "Tumour\n", notes = "first line\nsecond line";
  u.Diagnosis = diagnosis.data();
  u.Notes = notes.data();
  ASSERT_EQ(AddPatient(&u, list), 0);
  EXPECT_EQ(u.idFIO, 1);
  CloseUserDB(list);
  EXPECT_EQ(Read("DB/1/UserData"),
            "FIO: Ivanov Ivan Ivanovich\r\n"
            "idFIO: 1\r\n"
            "UserNumber: 17\r\n"
            "UserCard: K-42\r\n"
            "Sex: F\r\n"
            "Birthday: 1970 5 3\r\n"
            "NidOrgans: 2\r\n"
            "idOrgan: 3 8\r\n"
            "Organ: Left lung; Liver;\r\n"
            "idDiagnosis: 4 5; 9;\r\n"
            "Diagnosis: Tumour\r\n"
            "Notes: first line\r\nsecond line\r\n");

  list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  const user_item* r = GetPatientByID(1, list);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->FIO[0], "Ivanov");
  EXPECT_STREQ(r->FIO[2], "Ivanovich");
  EXPECT_STREQ(r->UserCard, "K-42");
  EXPECT_EQ(r->Sex, 2);
  EXPECT_EQ(r->Birthday[0], 1970);
  EXPECT_EQ(r->Birthday[2], 3);
  EXPECT_EQ(r->NidOrgans, 2);
  EXPECT_EQ(r->idOrgan[1], 8);
  EXPECT_STREQ(r->Organ[0], "Left lung");
  EXPECT_STREQ(r->Organ[1], "Liver");
  EXPECT_EQ(r->idDiagnosis[0][1], 5);
  EXPECT_EQ(r->idDiagnosis[1][0], 9);
  EXPECT_STREQ(r->Diagnosis, "Tumour\n");
  EXPECT_STREQ(r->Notes, "first line\nsecond line\n");  // multi-line text survives
  EXPECT_TRUE(Messages().empty());
  CloseUserDB(list);
}

struct PatientCase {
  const char* name;
  std::string body;  // after "idFIO: 1"
  std::vector<std::string> messages;
  std::function<void(const user_item&)> check;
};

TEST_F(RecordTest, PatientLinesFollowTheirLimits) {
  const std::string longPart(70, 'x');
  const std::vector<PatientCase> cases = {
      {"stored U reads back as unknown",
       "Sex: U\r\n",
       {"Error parsing sex\n"},
       [](const user_item& u) { EXPECT_EQ(u.Sex, 0); }},
      {"last organ description is cut at its blank",
       "NidOrgans: 2\r\nOrgan: Left lung; Right lung;\r\n",
       {},
       [](const user_item& u) {
         EXPECT_STREQ(u.Organ[0], "Left lung");
         EXPECT_STREQ(u.Organ[1], "Right");
       }},
      {"organ descriptions missing",
       "NidOrgans: 3\r\nOrgan: Liver;\r\n",
       {"Error parsing organ description\n"},
       [](const user_item& u) { EXPECT_STREQ(u.Organ[0], "Liver"); }},
      {"first organ without diagnoses loses them all",
       "NidOrgans: 2\r\nidDiagnosis:; 5;\r\n",
       {},
       [](const user_item& u) { EXPECT_EQ(u.idDiagnosis[1][0], 0); }},
      {"middle organ without diagnoses shifts rows up",
       "NidOrgans: 3\r\nidDiagnosis: 3;; 5;\r\n",
       {},
       [](const user_item& u) {
         EXPECT_EQ(u.idDiagnosis[0][0], 3);
         EXPECT_EQ(u.idDiagnosis[1][0], 5);
         EXPECT_EQ(u.idDiagnosis[2][0], 0);
       }},
      {"eleven diagnoses overwrite the tenth",
       "NidOrgans: 1\r\nidDiagnosis: 1 2 3 4 5 6 7 8 9 10 11;\r\n",
       {"Too many diagnosis for an organ\n"},
       [](const user_item& u) { EXPECT_EQ(u.idDiagnosis[0][9], 11); }},
      {"eleven rows go to the tenth",
       "idDiagnosis: 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 11;\r\n",
       {"Too many organs in diagnosis\n"},
       [](const user_item& u) { EXPECT_EQ(u.idDiagnosis[9][0], 11); }},
      {"long name part is cut to 63",
       "FIO: a b " + longPart + "\r\n",
       {},
       [](const user_item& u) { EXPECT_EQ(std::string(u.FIO[2]), std::string(63, 'x')); }},
      {"blank inside a name shifts the parts",
       "FIO: Van Dyke Anna Maria\r\n",
       {},
       [](const user_item& u) {
         EXPECT_STREQ(u.FIO[0], "Van");
         EXPECT_STREQ(u.FIO[1], "Dyke");
         EXPECT_STREQ(u.FIO[2], "Anna");
       }},
      {"name without blanks",
       "FIO: Ivanov\r\n",
       {"Illegal FIO\n"},
       [](const user_item& u) { EXPECT_STREQ(u.FIO[0], "Ivanov"); }},
      {"too many organs",
       "NidOrgans: 12\r\n",
       {"Incorrect number of organs\n"},
       [](const user_item& u) { EXPECT_EQ(u.NidOrgans, 10); }},
      {"negative organ count",
       "NidOrgans: -3\r\nidOrgan: 1 2\r\n",
       {"Incorrect number of organs\n"},
       [](const user_item& u) {
         EXPECT_EQ(u.NidOrgans, 0);
         EXPECT_EQ(u.idOrgan[0], 0);
       }},
      {"organ ids missing",
       "NidOrgans: 2\r\nidOrgan: 4\r\n",
       {"Error parsing organ id\n"},
       [](const user_item& u) { EXPECT_EQ(u.idOrgan[0], 4); }},
      {"birthday missing a value",
       "Birthday: 1970 5\r\n",
       {"Error parsing birthday\n"},
       [](const user_item& u) {
         EXPECT_EQ(u.Birthday[1], 5);
         EXPECT_EQ(u.Birthday[2], 0);
       }},
      {"LF line ends read like CR LF",
       "Sex: M\nUserCard: 12 34\nNotes: x\n",
       {},
       [](const user_item& u) {
         EXPECT_EQ(u.Sex, 1);
         EXPECT_STREQ(u.UserCard, "12");
         EXPECT_STREQ(u.Notes, "x\n");
       }},
      {"lines without a key continue the diagnosis",
       "Diagnosis: one\r\ntwo\r\n\r\nfour\r\nSex: M\r\nunknown line\r\n",
       {},
       [](const user_item& u) {
         EXPECT_STREQ(u.Diagnosis, "one\ntwo\n\nfour\n");
         EXPECT_EQ(u.Sex, 1);
       }},
  };
  std::string db = MakeDb("DB");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("DB/1/UserData", "idFIO: 1\r\n" + c.body);
    Messages().clear();
    user_list* list = InitUserDB(C(db), Capture);
    ASSERT_NE(list, nullptr);
    const user_item* u = GetPatientByID(1, list);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(Messages(), c.messages);
    c.check(*u);
    CloseUserDB(list);
  }
}

TEST_F(RecordTest, WriterBoundsTextsAndCountsByTheirFields) {
  std::string db = MakeDb("DB");
  user_list* list = InitUserDB(C(db), Capture);
  user_item u = Blank<user_item>();
  std::memset(u.FIO, 'A', sizeof u.FIO);  // no terminators anywhere
  std::memset(u.UserCard, 'B', sizeof u.UserCard);
  u.NidOrgans = 15;
  std::memset(u.Organ, 'C', sizeof u.Organ);
  ASSERT_EQ(AddPatient(&u, list), 0);
  std::string file = Read("DB/1/UserData");
  std::string a63(63, 'A');
  EXPECT_EQ(file.substr(0, file.find('\n') + 1), "FIO: " + a63 + " " + a63 + " " + a63 + "\r\n");
  EXPECT_NE(file.find("UserCard: " + std::string(127, 'B') + "\r\n"), std::string::npos);
  EXPECT_NE(file.find("NidOrgans: 10\r\n"), std::string::npos);
  EXPECT_NE(file.find("idDiagnosis:;;;;;;;;;;\r\n"), std::string::npos);
  // The list's copy is terminated as well.
  EXPECT_EQ(std::strlen(GetPatientByID(1, list)->FIO[0]), 63u);
  CloseUserDB(list);
}

TEST_F(RecordTest, DoctorAndOperationAreWrittenByteExact) {
  std::string ddb = MakeDb("DB_doc"), odb = MakeDb("DB_op");
  doctor_list* doctors = InitDoctorDB(C(ddb), Capture);
  doctor_item d = Blank<doctor_item>();
  SetNames(d.FIO, "Sidorov", "Semen", "Semenovich");
  ASSERT_EQ(AddDoctor(&d, doctors), 0);
  EXPECT_EQ(Read("DB_doc/1/DoctorData"), "FIO: Sidorov Semen Semenovich\r\nidFIO: 1\r\n");
  CloseDoctorDB(doctors);

  operation_list* ops = InitOperationDB(C(odb), Capture);
  operation_item o = Blank<operation_item>();
  int16_t t[6] = {2020, 3, 1, 10, 0, 0};
  std::memcpy(o.Time, t, sizeof t);
  SetNames(o.FIO_patient, "Petrov", "Petr", "Petrovich");
  o.idFIO_patient = 7;
  SetNames(o.FIO_doctor, "Sidorov", "Semen", "Semenovich");
  o.idFIO_doctor = 2;
  o.idOrgan = 3;
  std::strcpy(o.Organ, "Liver");
  o.idDiagnosis[0] = 12, o.idDiagnosis[1] = 14;
  std::string diagnosis = "d";
  o.Diagnosis = diagnosis.data();
  ASSERT_EQ(AddOperation(&o, ops), 0);
  CloseOperationDB(ops);
  EXPECT_EQ(Read("DB_op/1/OperationData"),
            "ID: 1\r\n"
            "Time: 2020 3 1 10 0 0\r\n"
            "FIO_patient: Petrov Petr Petrovich\r\n"
            "idFIO_patient: 7\r\n"
            "FIO_doctor: Sidorov Semen Semenovich\r\n"
            "idFIO_doctor: 2\r\n"
            "TypeMechReceptor: 0\r\n"
            "SubTypeMechReceptor: 0\r\n"
            "idOrgan: 3\r\n"
            "Organ: Liver\r\n"
            "idDiagnosis: 12 14\r\n"
            "Diagnosis: d\r\n");

  ops = InitOperationDB(C(odb), Capture);
  const operation_item* r = GetOperationByID(1, ops);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::memcmp(r->Time, t, sizeof t), 0);
  EXPECT_STREQ(r->FIO_doctor[1], "Semen");
  EXPECT_EQ(r->idFIO_doctor, 2);
  EXPECT_EQ(r->idDiagnosis[1], 14);
  EXPECT_STREQ(r->Diagnosis, "d\n");
  EXPECT_EQ(r->Notes, nullptr);
  EXPECT_TRUE(Messages().empty());
  CloseOperationDB(ops);
}

TEST_F(RecordTest, OperationLinesFollowTheirLimits) {
  struct Case {
    const char* name;
    std::string body;  // after "ID: 4"
    std::vector<std::string> messages;
    std::function<void(const operation_item&)> check;
  };
  const std::vector<Case> cases = {
      {"time missing values",
       "Time: 2020 3 1\r\n",
       {"Error parsing time\n"},
       [](const operation_item& o) {
         EXPECT_EQ(o.Time[2], 1);
         EXPECT_EQ(o.Time[3], 0);
       }},
      {"surgeon name without blanks",
       "FIO_doctor: Solo\r\n",
       {"Illegal FIO_doctor\n"},
       [](const operation_item& o) { EXPECT_STREQ(o.FIO_doctor[0], "Solo"); }},
      {"organ cut at its first blank or semicolon",
       "Organ: Left kidney;x\r\n",
       {},
       [](const operation_item& o) { EXPECT_STREQ(o.Organ, "Left"); }},
      {"ten diagnoses fit",
       "idDiagnosis: 1 2 3 4 5 6 7 8 9 10\r\n",
       {},
       [](const operation_item& o) { EXPECT_EQ(o.idDiagnosis[9], 10); }},
      {"eleventh diagnosis overwrites the tenth",
       "idDiagnosis: 1 2 3 4 5 6 7 8 9 10 11\r\n",
       {"Too many diagnosis for an organ\n"},
       [](const operation_item& o) {
         EXPECT_EQ(o.idDiagnosis[8], 9);
         EXPECT_EQ(o.idDiagnosis[9], 11);
       }},
      {"each number beyond the tenth is reported",
       "idDiagnosis: 1 2 3 4 5 6 7 8 9 10 11 12 13\r\n",
       {"Too many diagnosis for an organ\n", "Too many diagnosis for an organ\n",
        "Too many diagnosis for an organ\n"},
       [](const operation_item& o) { EXPECT_EQ(o.idDiagnosis[9], 13); }},
  };
  std::string db = MakeDb("DB_op");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("DB_op/4/OperationData", "ID: 4\r\n" + c.body);
    Messages().clear();
    operation_list* ops = InitOperationDB(C(db), Capture);
    ASSERT_NE(ops, nullptr);
    const operation_item* o = GetOperationByID(4, ops);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Messages(), c.messages);
    c.check(*o);
    CloseOperationDB(ops);
  }
}

push_item SamplePush(std::vector<int32_t>& values, std::vector<push_frame>& press,
                     std::vector<push_frame>& raw, std::vector<push_label>& labels) {
  push_item p = Blank<push_item>();
  p.OperationID = 5;
  std::strcpy(p.DeviceIDTxt, "00a1b2c3d4e5");
  int16_t t[7] = {2024, 3, 1, 10, 20, 30, 456};
  std::memcpy(p.Time, t, sizeof t);
  p.DT = 10;
  p.HeadNum = 2;
  p.RawNum = 1;
  p.NPress = 2;
  values = {1, -2, 3, 4, 7, 8};
  press = {push_frame{&values[0], {}}, push_frame{&values[2], {}}};
  raw = {push_frame{&values[4], {}}, push_frame{&values[5], {}}};
  for (int i = 0; i < 2; ++i) {
    std::memcpy(press[i].Time, t, sizeof t);
    press[i].Time[6] = static_cast<int16_t>(456 + 10 * i);
    std::memcpy(raw[i].Time, press[i].Time, sizeof t);
  }
  p.Press = press.data();
  p.RawPress = raw.data();
  static char ok[] = "ok";
  labels = {push_label{0, 1, nullptr}, push_label{2, 0, ok}};
  p.NLabels = 2;
  p.Labels = labels.data();
  static char notes[] = "soft";
  p.Notes = notes;
  p.DeviceData[0] = 0x7c;
  p.DeviceData[1] = 0x01;
  return p;
}

TEST_F(RecordTest, PushIsWrittenByteExactAndReadsBack) {
  std::string db = MakeDb("DB_push");
  push_list* list = InitPushDB(C(db), Capture);
  std::vector<int32_t> values;
  std::vector<push_frame> press, raw;
  std::vector<push_label> labels;
  push_item p = SamplePush(values, press, raw, labels);
  ASSERT_EQ(AddPush(&p, list), 0);
  ClosePushDB(list);
  EXPECT_EQ(Read("DB_push/1/PushData"),
            "ID: 1\r\n"
            "OperationID: 5\r\n"
            "DeviceID: 0\r\n"
            "DeviceIDTxt: 00a1b2c3d4e5\r\n"
            "Time: 2024 3 1 10 20 30 456\r\n"
            "DT: 10\r\n"
            "HeadNum: 2\r\n"
            "RawNum: 1\r\n"
            "NPress: 2\r\n"
            "Press: 1 -2 time: 2024 3 1 10 20 30 456; 3 4 time: 2024 3 1 10 20 30 466;\r\n"
            "RawPress: 7 time: 2024 3 1 10 20 30 456; 8 time: 2024 3 1 10 20 30 466;\r\n"
            "Labels: { 0:1:; 2:0:ok; }\r\n"
            "Notes: soft\r\n"
            "DeviceData: 7c01" +
                std::string(39996, '0') + "\r\n");

  list = InitPushDB(C(db), Capture);
  const push_item* r = GetPushByID(5, 1, list);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(GetPushByID(6, 1, list), nullptr);
  EXPECT_EQ(GetPushByID(0, 1, list), r);
  EXPECT_STREQ(r->DeviceIDTxt, "00a1b2c3d4e5");
  EXPECT_EQ(r->Time[6], 456);
  EXPECT_EQ(r->NPress, 2);
  EXPECT_EQ(r->Press[0].Values[1], -2);
  EXPECT_EQ(r->Press[1].Values[0], 3);
  EXPECT_EQ(r->Press[1].Time[6], 466);
  ASSERT_NE(r->RawPress, nullptr);
  EXPECT_EQ(r->RawPress[1].Values[0], 8);
  ASSERT_EQ(r->NLabels, 2);
  EXPECT_EQ(r->Labels[0].ElementaryPush, 1);
  EXPECT_STREQ(r->Labels[0].Comment, "");
  EXPECT_EQ(r->Labels[1].Type, 2);
  EXPECT_STREQ(r->Labels[1].Comment, "ok");
  EXPECT_STREQ(r->Notes, "soft\n");
  EXPECT_EQ(r->DeviceData[0], 0x7c);
  EXPECT_EQ(r->DeviceData[1], 0x01);
  EXPECT_EQ(r->DeviceData[2], 0);
  EXPECT_TRUE(Messages().empty());
  ClosePushDB(list);
}

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

struct PushCase {
  const char* name;
  std::string body;  // after "ID: 1"
  std::vector<std::string> messages;
  std::function<void(const push_item&)> check;
};

TEST_F(RecordTest, PushLinesAreBoundedAndChecked) {
  const std::vector<PushCase> cases = {
      {"fewer frames than NPress",
       "HeadNum: 1\r\nNPress: 3\r\nPress: 5 time: 1 2 3 4 5 6 7; 6 time: 1 2 3 4 5 6 8; 7 time: "
       "1\r\n",
       {"Warning: Not enough pushes\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.NPress, 2);
         EXPECT_EQ(p.Press[1].Values[0], 6);
         EXPECT_EQ(p.Press[1].Time[6], 8);
       }},
      {"raw frames shrink with the frames",
       "HeadNum: 1\r\nRawNum: 1\r\nNPress: 2\r\nRawPress: 1 time: 0 0 0 0 0 0 0; 2 time: 0 0 0 0 0 "
       "0 0;\r\n"
       "Press: 9 time: 0 0 0 0 0 0 0;\r\n",
       {"Warning: Not enough pushes\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.NPress, 1);
         EXPECT_EQ(p.RawPress[0].Values[0], 1);
       }},
      {"more labels than frames",
       "NPress: 1\r\nLabels: { 0:0:a; 0:1:b; 0:2:c; }\r\n",
       {},
       [](const push_item& p) {
         ASSERT_EQ(p.NLabels, 1);
         EXPECT_STREQ(p.Labels[0].Comment, "a");
       }},
      {"no labels without frames",
       "NPress: 0\r\nLabels: { 0:0:a; }\r\n",
       {},
       [](const push_item& p) { EXPECT_EQ(p.NLabels, 0); }},
      {"truncated label line",
       "NPress: 5\r\nLabels: { 1:2:x; 3:4",
       {},
       [](const push_item& p) {
         ASSERT_EQ(p.NLabels, 1);
         EXPECT_EQ(p.Labels[0].Type, 1);
         EXPECT_EQ(p.Labels[0].ElementaryPush, 2);
       }},
      {"negative elementary push kept as stored",
       "NPress: 2\r\nLabels: { 0:-1:; }\r\n",
       {},
       [](const push_item& p) {
         ASSERT_EQ(p.NLabels, 1);
         EXPECT_EQ(p.Labels[0].ElementaryPush, -1);
       }},
      {"frame without time",
       "HeadNum: 2\r\nNPress: 1\r\nPress: 4 5;\r\n",
       {"Warning: format error\n"},
       [](const push_item& p) {
         ASSERT_EQ(p.NPress, 1);
         EXPECT_EQ(p.Press[0].Values[1], 5);
         EXPECT_EQ(p.Press[0].Time[0], 0);
       }},
      {"huge sizes are bounded",
       "HeadNum: 100000000\r\nNPress: 2000000000\r\nPress: 1 time: 1 2 3 4 5 6 7;\r\n",
       {"Warning: format error\n", "Warning: format error\n", "Warning: Not enough pushes\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.HeadNum, 4096);
         EXPECT_EQ(p.NPress, 1);
         EXPECT_EQ(p.Press[0].Values[0], 1);
         EXPECT_EQ(p.Press[0].Time[0], 1);
       }},
      {"frames cut short cannot make the values outgrow the line",
       "HeadNum: 4096\r\nNPress: 100000\r\nPress: " + Repeat("time: 0 0 0 0 0 0 0; ", 1000) +
           "\r\n",
       {"Warning: format error\n", "Warning: Not enough pushes\n"},
       [](const push_item& p) { EXPECT_LE(p.NPress, 6); }},
      {"negative sizes",
       "HeadNum: -5\r\nNPress: -1\r\n",
       {"Warning: format error\n", "Warning: format error\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.HeadNum, 0);
         EXPECT_EQ(p.NPress, 0);
         EXPECT_EQ(p.Press, nullptr);
       }},
      {"sizes are fixed once frames were read",
       "HeadNum: 1\r\nNPress: 1\r\nPress: 3 time: 0 0 0 0 0 0 0;\r\nHeadNum: 50\r\nNPress: 9\r\n",
       {"Warning: format error\n", "Warning: format error\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.HeadNum, 1);
         EXPECT_EQ(p.NPress, 1);
       }},
      {"device data in any case, bad digits as 0",
       "DeviceData: FFzz1\r\n",
       {},
       [](const push_item& p) {
         EXPECT_EQ(p.DeviceData[0], 0xff);
         EXPECT_EQ(p.DeviceData[1], 0x00);
         EXPECT_EQ(p.DeviceData[2], 0x10);
       }},
      {"time without millisecond",
       "Time: 2024 1 2 3 4 5\r\n",
       {},
       [](const push_item& p) {
         EXPECT_EQ(p.Time[5], 5);
         EXPECT_EQ(p.Time[6], 0);
       }},
      {"time missing three values",
       "Time: 2024 1 2\r\n",
       {"Error parsing time\n", "Error parsing time\n", "Error parsing time\n"},
       [](const push_item& p) { EXPECT_EQ(p.Time[2], 2); }},
      {"a count without frames",
       "HeadNum: 1\r\nRawNum: 1\r\nNPress: 4000000000\r\n"
       "RawPress: 1 time: 0 0 0 0 0 0 0;\r\n",
       {"Warning: Not enough pushes\n"},
       [](const push_item& p) {
         EXPECT_EQ(p.NPress, 0);
         EXPECT_EQ(p.Press, nullptr);
         EXPECT_EQ(p.RawPress, nullptr);
       }},
      {"defaults",
       "",
       {},
       [](const push_item& p) {
         EXPECT_EQ(p.HeadNum, 19);
         EXPECT_EQ(p.RawNum, 26);
         EXPECT_EQ(p.RawPress, nullptr);
       }},
  };
  std::string db = MakeDb("DB_push");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("DB_push/1/PushData", "ID: 1\r\n" + c.body);
    Messages().clear();
    push_list* list = InitPushDB(C(db), Capture);
    ASSERT_NE(list, nullptr);
    const push_item* p = GetPushByID(0, 1, list);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Messages(), c.messages);
    c.check(*p);
    ClosePushDB(list);
  }
}

TEST_F(RecordTest, DeviceIsWrittenByteExactAndReadsBack) {
  std::string db = MakeDb("DB_dev");
  device_list* list = InitDeviceDB(C(db), Capture);
  device_item d = Blank<device_item>();
  d.Type = 2;
  std::strcpy(d.InitString, "AT+X");
  d.NSensors = 19;
  d.Max = 1000;
  d.Properties[0] = 5;
  d.DeviceNumber = 77;
  std::strcpy(d.DeviceID, "abc");
  int32_t date[6] = {2023, 1, 2, 3, 4, 5};
  std::memcpy(d.Date, date, sizeof date);
  d.RefNumber = 3;
  d.Slopes[0] = 1.5;
  d.NoiseLevel[127] = -0.25;
  d.RefSlopes = 2;
  d.RefShifts = -1.125;
  ASSERT_EQ(AddDevice(&d, list), 0);
  CloseDeviceDB(list);
  auto repeat = [](const char* s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  EXPECT_EQ(Read("DB_dev/1/DeviceData"),
            "ID: 1\r\n"
            "Type: 2\r\n"
            "InitString: AT+X\r\n"
            "NSensors: 19\r\n"
            "Max: 1000\r\n"
            "Properties: 5" +
                repeat(" 0", 127) +
                "\r\n"
                "DeviceNumber: 77\r\n"
                "DeviceID: abc\r\n"
                "Date: 2023 1 2 3 4 5\r\n"
                "RefNumber: 3\r\n"
                "Slopes: 1.500000" +
                repeat(" 0.000000", 127) +
                "\r\n"
                "Shifts:" +
                repeat(" 0.000000", 128) +
                "\r\n"
                "NoiseLevel:" +
                repeat(" 0.000000", 127) +
                " -0.250000\r\n"
                "RefSlopes: 2.000000\r\n"
                "RefShifts: -1.125000\r\n");
  list = InitDeviceDB(C(db), Capture);
  const device_item* r = GetDeviceByID(1, list);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->InitString, "AT+X");
  EXPECT_EQ(r->Properties[0], 5);
  EXPECT_EQ(r->Date[5], 5);
  EXPECT_DOUBLE_EQ(r->Slopes[0], 1.5);
  EXPECT_DOUBLE_EQ(r->NoiseLevel[127], -0.25);
  EXPECT_DOUBLE_EQ(r->RefShifts, -1.125);
  EXPECT_TRUE(Messages().empty());

  device_item* copy = nullptr;
  ASSERT_EQ(duplicate_device_item(const_cast<device_item*>(r), &copy, list), 0);
  EXPECT_EQ(copy->DeviceNumber, 77);
  EXPECT_NE(copy->files, r->files);
  clean_device_item(copy);
  CloseDeviceDB(list);
}

TEST_F(RecordTest, DeviceDateReportsEachMissingValue) {
  std::string db = MakeDb("DB_dev");
  Write("DB_dev/2/DeviceData", "ID: 2\r\nDate: 2023 1 2 3\r\nSlopes: 0.5 x 2\r\n");
  device_list* list = InitDeviceDB(C(db), Capture);
  const device_item* d = GetDeviceByID(2, list);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->NSensors, 19);
  EXPECT_EQ(d->Date[3], 3);
  EXPECT_DOUBLE_EQ(d->Slopes[0], 0.5);
  EXPECT_DOUBLE_EQ(d->Slopes[2], 2.0);
  EXPECT_EQ(Count("Error parsing time\n"), 2);
  CloseDeviceDB(list);
}

}  // namespace

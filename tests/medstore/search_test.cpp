// Searches by name and by mask: selection, copies, id arrays and their release.
#include <array>
#include <functional>

#include "medstore_test_util.h"

using namespace medstore_test;

namespace {

class SearchTest : public ScratchTest {};

int PrefixCompare(const char* pattern, const char* name) {
  return std::strncmp(pattern, name, std::strlen(pattern)) == 0 && name[0] != 0 ? 1 : 0;
}

TEST_F(SearchTest, DoctorsByFamilyName) {
  std::string db = MakeDb("DB_doc");
  const char* families[] = {"Petrov", "petrova", "Pestov", "Ivanov"};
  for (int i = 0; i < 4; ++i)
    Write("DB_doc/" + std::to_string(i + 1) + "/DoctorData",
          std::string("FIO: ") + families[i] + " A B\r\nidFIO: " + std::to_string(i + 1) + "\r\n");
  doctor_list* list = InitDoctorDB(C(db), Capture);
  struct Case {
    std::string text;
    std::vector<int> ids;
  };
  const std::vector<Case> cases = {
      {"Pe", {1, 3}}, {"", {1, 2, 3, 4}}, {"Petrov", {1}}, {std::string(64, 'P'), {}}};
  for (auto c : cases) {
    SCOPED_TRACE(c.text);
    doctor_list* result = nullptr;
    int* ids = nullptr;
    int count = -1;
    ASSERT_EQ(GetDoctors(C(c.text), &result, &ids, &count, list), 0);
    ASSERT_EQ(count, static_cast<int>(c.ids.size()));
    EXPECT_EQ(std::vector<int>(ids, ids + count), c.ids);
    EXPECT_EQ(Size(result), count);
    EXPECT_EQ(result->path, nullptr);
    if (count) {
      EXPECT_NE(result->head, GetDoctorByID(c.ids[0], list));  // copies
    }
    EXPECT_EQ(GetDoctors(nullptr, &result, &ids, &count, list), 0);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ids, nullptr);
  }
  // With a compare callback the callback decides.
  SetAddDoctorData(1, reinterpret_cast<void*>(&PrefixCompare), 4, list);
  std::string pe = "pe";
  int count = 0;
  ASSERT_EQ(GetDoctors(C(pe), nullptr, nullptr, &count, list), 0);
  EXPECT_EQ(count, 1);
  CloseDoctorDB(list);
}

TEST_F(SearchTest, NullDatabaseAndReleaseCalls) {
  operation_search_mask mask{};
  operation_list* result = reinterpret_cast<operation_list*>(0x1);
  int* ids = reinterpret_cast<int*>(0x2);
  int count = 77;
  EXPECT_EQ(GetOperationsExt(&mask, &result, &ids, &count, nullptr), 1);
  EXPECT_EQ(count, 77);
  EXPECT_EQ(result, reinterpret_cast<operation_list*>(0x1));
  EXPECT_EQ(GetOperationsExt(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(GetPushID(5, nullptr, nullptr, &count, nullptr), 1);
  EXPECT_EQ(GetPatients(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

void WriteOperation(ScratchTest& t, int id, const char* time, int organ, const char* diagnoses,
                    int type = 0) {
  t.Write(
      "DB_op/" + std::to_string(id) + "/OperationData",
      "ID: " + std::to_string(id) + "\r\nTime: " + time +
          "\r\nFIO_patient: Petrov Petr Petrovich\r\nidFIO_patient: " + std::to_string(id * 10) +
          "\r\nidFIO_doctor: 3\r\nTypeMechReceptor: " + std::to_string(type) +
          "\r\nidOrgan: " + std::to_string(organ) + "\r\nidDiagnosis: " + diagnoses + "\r\n");
}

TEST_F(SearchTest, OperationsByMask) {
  std::string db = MakeDb("DB_op");
  WriteOperation(*this, 1, "2020 3 1 10 0 0", 5, "7 8");
  WriteOperation(*this, 2, "2020 3 1 9 59 59", 5, "9", 1);
  WriteOperation(*this, 3, "2019 12 31 23 0 0", 6, "7");
  operation_list* list = InitOperationDB(C(db), Capture);
  ASSERT_EQ(Size(list), 3);

  auto run = [&](operation_search_mask m) {
    m.size = sizeof m;
    m.version = 3;
    int* ids = nullptr;
    int count = -1;
    EXPECT_EQ(GetOperationsExt(&m, nullptr, &ids, &count, list), 0);
    std::vector<int> out(ids, ids + count);
    GetOperationsExt(nullptr, nullptr, &ids, nullptr, list);
    return out;
  };
  auto at = [](operation_search_mask m, std::initializer_list<int16_t> from,
               std::initializer_list<int16_t> to) {
    m.use_time = 1;
    std::copy(from.begin(), from.end(), m.time_from);
    std::copy(to.begin(), to.end(), m.time_to);
    return m;
  };
  operation_search_mask none{};
  EXPECT_EQ(sizeof none, 716u);
  EXPECT_EQ(run(none), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(run(at(none, {2020, 3, 1, 10, 0, 0}, {2020, 3, 1, 10, 0, 0})), std::vector<int>{1});
  EXPECT_EQ(run(at(none, {2020, 3, 1, 10, 0, 0}, {2020, 3, 1, 9, 59, 59})), std::vector<int>{});
  EXPECT_EQ(run(at(none, {2019, 1, 1, 0, 0, 0}, {2020, 3, 1, 9, 59, 59})),
            (std::vector<int>{2, 3}));

  operation_search_mask organs{};
  organs.use_organs = 1;
  EXPECT_EQ(run(organs), std::vector<int>{});  // no organ given: nothing selected
  organs.organ_count = 50;                     // clamped to 10
  organs.organs[9] = 5;
  EXPECT_EQ(run(organs), (std::vector<int>{1, 2}));
  organs.use_diagnoses = 1;
  organs.diagnoses[9][0] = 8;
  EXPECT_EQ(run(organs), std::vector<int>{1});

  operation_search_mask ids{};
  ids.use_patient_id = 1;
  ids.patient_id = 30;
  EXPECT_EQ(run(ids), std::vector<int>{3});
  ids.use_doctor_id = 1;
  ids.doctor_id = 4;
  EXPECT_EQ(run(ids), std::vector<int>{});
  operation_search_mask type{};
  type.use_type = 1;
  EXPECT_EQ(run(type), std::vector<int>{2});
  operation_search_mask fio{};
  fio.use_fio = 1;
  SetNames(fio.fio, "Petrov", "Petr", "Petrovich");
  EXPECT_EQ(run(fio), (std::vector<int>{1, 2, 3}));
  fio.fio[2][0] = 'X';
  EXPECT_EQ(run(fio), std::vector<int>{});
  CloseOperationDB(list);
}

TEST_F(SearchTest, PatientsByMask) {
  std::string db = MakeDb("DB");
  Write("DB/1/UserData",
        "FIO: Ivanov Ivan Ivanovich\r\nidFIO: 1\r\nUserNumber: 5\r\nUserCard: C1\r\nSex: M\r\n"
        "Birthday: 1970 5 3\r\nNidOrgans: 2\r\nidOrgan: 3 8\r\nidDiagnosis: 4; 9 10;\r\n");
  Write("DB/2/UserData",
        "FIO: Petrova Anna Petrovna\r\nidFIO: 2\r\nUserNumber: 6\r\nSex: F\r\n"
        "Birthday: 1970 5 4\r\nNidOrgans: 1\r\nidOrgan: 8\r\nidDiagnosis: 11;\r\n");
  const std::string k64(64, 'K');
  Write("DB/3/UserData", "FIO: Sidorov Sidor Sidorovich\r\nidFIO: 3\r\nUserCard: " + k64 +
                             "-A\r\nBirthday: 1980 1 1\r\n");
  user_list* list = InitUserDB(C(db), Capture);
  auto run = [&](user_search_mask m) {
    user_list* result = nullptr;
    int* ids = nullptr;
    int count = -1;
    EXPECT_EQ(GetPatientsExt(&m, &result, &ids, &count, list), 0);
    std::vector<int> out(ids, ids + count);
    EXPECT_EQ(Size(result), count);
    GetPatientsExt(nullptr, &result, &ids, nullptr, list);
    return out;
  };
  auto born = [](std::array<int, 3> from, std::array<int, 3> to) {
    return [=](user_search_mask& m) {
      m.use_birthday = 1;
      std::copy(from.begin(), from.end(), m.birthday_from);
      std::copy(to.begin(), to.end(), m.birthday_to);
    };
  };
  auto card = [](std::string text) {
    return [=](user_search_mask& m) {
      m.use_user_card = 1;
      std::strncpy(m.user_card, text.c_str(), sizeof m.user_card - 1);
    };
  };
  struct Case {
    const char* name;
    std::function<void(user_search_mask&)> set;
    std::vector<int> ids;
  };
  const std::vector<Case> cases = {
      {"all-zero mask", [](user_search_mask&) {}, {1, 2, 3}},
      {"sex", [](user_search_mask& m) { m.sex = 2; }, {2}},
      {"born on the lower bound", born({1970, 5, 4}, {1971, 0, 0}), {2}},
      {"born on the upper bound", born({1960, 1, 1}, {1970, 5, 3}), {1}},
      {"born on both bounds", born({1970, 5, 4}, {1970, 5, 4}), {2}},
      {"bounds by month and day", born({1970, 5, 3}, {1970, 5, 3}), {1}},
      {"born a day after the upper bound", born({1960, 1, 1}, {1970, 5, 2}), {}},
      {"organ",
       [](user_search_mask& m) { m.use_organs = 1, m.organ_count = 1, m.organs[0] = 8; },
       {1, 2}},
      {"organ and diagnosis",
       [](user_search_mask& m) {
         m.use_organs = 1, m.organ_count = 1, m.organs[0] = 8;
         m.use_diagnoses = 1, m.diagnoses[0][0] = 10;
       },
       {1}},
      {"card and number",
       [&](user_search_mask& m) {
         card("C1")(m);
         m.use_user_number = 1, m.user_number = 5;
       },
       {1}},
      {"card of another patient", card("C2"), {}},
      {"card equal in its first 64 characters", card(k64 + "-B"), {3}},
      {"card differing within 64 characters", card(std::string(63, 'K') + "X-A"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    user_search_mask m{};
    c.set(m);
    EXPECT_EQ(run(m), c.ids);
  }
  std::string prefix = "Petr";
  int count = 0;
  ASSERT_EQ(GetPatients(C(prefix), nullptr, nullptr, &count, list), 0);
  EXPECT_EQ(count, 1);
  CloseUserDB(list);
}

TEST_F(SearchTest, PushesOfAnOperationAreIndependentCopies) {
  std::string db = MakeDb("DB_push");
  for (int id : {4, 5, 6})
    Write("DB_push/" + std::to_string(id) + "/PushData",
          "ID: " + std::to_string(id) + "\r\nOperationID: " + (id == 5 ? "2" : "1") +
              "\r\nHeadNum: 1\r\nNPress: 1\r\nPress: " + std::to_string(id) +
              " time: 0 0 0 0 0 0 0;\r\nLabels: { 0:0:c; }\r\n");
  push_list* list = InitPushDB(C(db), Capture);
  push_list* result = nullptr;
  int* ids = nullptr;
  int count = 0;
  ASSERT_EQ(GetPushID(1, &result, &ids, &count, list), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(ids[0], 4);
  EXPECT_EQ(ids[1], 6);
  ASSERT_NE(result->head->Press, GetPushByID(1, 4, list)->Press);
  result->head->Press[0].Values[0] = 99;
  result->head->Labels[0].Comment[0] = 'x';
  EXPECT_EQ(GetPushByID(1, 4, list)->Press[0].Values[0], 4);
  EXPECT_STREQ(GetPushByID(1, 4, list)->Labels[0].Comment, "c");
  EXPECT_EQ(GetPushID(0, &result, &ids, &count, list), 0);
  EXPECT_EQ(result, nullptr);
  ASSERT_EQ(GetPushID(3, &result, &ids, &count, list), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(result->head, nullptr);
  GetPushID(0, &result, &ids, &count, list);
  ClosePushDB(list);
}

}  // namespace

// The operation lists driven as a person would (automation scripts inside the modal runs): the
// local list filtered with its row numbers kept, an edited row text that changes nothing of
// what is loaded or deleted, many operations deleted under the progress window with a failed
// one kept and logged; the stationary list from a database, its deletes and failed deletes,
// missing databases; the progress window's time line; KCD_Ask1's answers. Each dialog leaves a
// picture for a person to look at.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QWidget>
#include <fstream>
#include <map>
#include <set>

#include "medstore/medstore.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "records/kcd_operation_lists.h"
#include "tests/recording/log_capture.h"
#include "tests/records/scripted_dialogs.h"
#include "tests/ui/ui_env.h"

namespace {

namespace fs = std::filesystem;

class OperationLists : public ScriptedDialogs {
 protected:
  void SetUp() override { RegisterOperationListsAutomation(); }

  // The rows of list 1004 in a dump (UTF-8).
  static std::vector<std::string> Rows(const std::string& json) {
    std::vector<std::string> rows;
    const size_t at = json.find("{\"id\":1004,");
    if (at == std::string::npos) return rows;
    const size_t items = json.find("\"items\":[", at) + 9;
    const size_t end = json.find("]", items);
    for (size_t p = items; p < end;) {
      const size_t q = json.find('"', p);
      if (q == std::string::npos || q >= end) break;
      const size_t r = json.find('"', q + 1);
      rows.push_back(json.substr(q + 1, r - q - 1));
      p = r + 1;
    }
    return rows;
  }
  fs::path Operations() const { return host_.roots().data() / "OPERATIONS"; }

  // Local operation folders with their descriptions, read through the reader below.
  void Local(const std::string& name, int organ, int diagnosis, const char* hospital, int pushes,
             const char* family) {
    fs::create_directories(Operations() / name);
    records::LocalOperationInfo info;
    info.description.organId = organ;
    info.description.diagnosisIndex = diagnosis;
    info.description.hospital = hospital;
    info.description.familyName = Utf8ToCp1251(family);
    info.pushCount = pushes;
    infos_[name] = info;
  }
  records::LocalOperationReader Reader() {
    return [this](const Text1251& name) {
      auto it = infos_.find(name);
      return it == infos_.end() ? records::LocalOperationInfo{} : it->second;
    };
  }
  // Removes the folder, except those named in failing_.
  OperationFolderRemover Remover() {
    return [this](const Text1251& name) {
      removeCalls_.push_back(name);
      for (ui::Dialog* d : ui::OpenDialogs())
        if (d->TemplateId() == kProgressDialogId) shownItems_.push_back(d->ItemText(1002));
      if (failing_.count(name)) return -1;
      std::error_code ec;
      return fs::remove_all(Operations() / name, ec) > 0 ? 0 : -1;
    };
  }

  TestHost host_;
  std::map<Text1251, records::LocalOperationInfo> infos_;
  std::vector<Text1251> removeCalls_;
  std::vector<Text1251> shownItems_;  // the progress window's current item at each removal
  std::set<Text1251> failing_;
};

TEST_F(OperationLists, LocalRowsFilterKeepingTheirNumbersAndTheStoredNameIsLoaded) {
  host_.hospitals.names = {"", "Первая"_cp, "Вторая"_cp};
  Local("2024.03.01_10-20", 1, 2, "Первая"_cp, 3, "Иванова");
  Local("2024.03.02_11-00", 2, 1, "Вторая"_cp, 0, "Петров");
  Local("2024.03.03_12-00", 1, 1, "Вторая"_cp, 1, "Сидоров");
  Local("GL_2024.01.01_01-01-01", 1, 1, "", 1, "Копия");
  KCD_ListWithNumberOperationsLocal list(host_, records::kRecordedOperations, Reader(), Remover());
  const int answer = Run("dump " + Dump("all.json") + "\n" + Snapshot("local_operations.png") +
                             "select 1005 1\ndump " + Dump("org1.json") + "\nselect 1006 1\n" +
                             "dump " + Dump("org1d1.json") + "\nselect 1005 0\nselect 1007 2\n" +
                             "dump " + Dump("h2.json") + "\nselect 1004 1\ntext 1001 ..\\..\n" +
                             "dump " + Dump("edited.json") + "\nmenu 32798\n",
                         [&] { return list.DoModal(); });
  EXPECT_EQ(Rows(Read(Dump("all.json"))),
            (std::vector<std::string>{"1: 2024.03.03_12-00 (:   Сидоров; org1) 1 нажатие",
                                      "2: 2024.03.02_11-00 (:   Петров; org2)  ",
                                      "3: 2024.03.01_10-20 (:   Иванова; org1) 3 нажатия"}));
  const std::string org1 = Read(Dump("org1.json"));
  EXPECT_EQ(Rows(org1).size(), 2u);
  EXPECT_EQ(Rows(org1)[1].substr(0, 3), "3: ") << "a shown row keeps its number";
  EXPECT_NE(org1.find("\"org1-d1\""), std::string::npos) << "the diagnoses of the organ";
  EXPECT_EQ(Rows(Read(Dump("org1d1.json"))).size(), 1u);
  const auto h2 = Rows(Read(Dump("h2.json")));
  ASSERT_EQ(h2.size(), 2u);
  EXPECT_EQ(h2[0].substr(0, 3), "1: ");
  EXPECT_EQ(h2[1].substr(0, 3), "2: ");
  EXPECT_EQ(Rows(Read(Dump("edited.json")))[1], "2: ..\\\\..") << "the row shows the edit";

  EXPECT_EQ(answer, kListCopy);
  ASSERT_NE(list.ChosenEntry(), nullptr);
  EXPECT_EQ(list.ChosenEntry()->folder, "2024.03.02_11-00") << "the stored name, not the row";
  EXPECT_EQ(list.ChosenEntry()->text, "..\\..");
}

TEST_F(OperationLists, CopiedOperationsAreTheOnlyRowsOfKindOne) {
  Local("2024.03.01_10-20", 0, 0, "", 0, "A");
  Local("GL_2024.01.01_01-01-01", 0, 0, "", 2, "B");
  KCD_ListWithNumberOperationsLocal list(host_, records::kCopiedOperations, Reader(), Remover());
  EXPECT_EQ(Run("dump " + Dump("gl.json") + "\nclick 1\n", [&] { return list.DoModal(); }),
            kListLoad);
  EXPECT_EQ(Rows(Read(Dump("gl.json"))),
            (std::vector<std::string>{"1: GL_2024.01.01_01-01-01 (:   B; ) 2 нажатия"}));
  EXPECT_EQ(list.ChosenEntry(), nullptr) << "no row was chosen";
}

TEST_F(OperationLists, ManyAreDeletedByTheirStoredNamesAndAFailedOneStaysListedAndLogged) {
  for (int i = 1; i <= 5; ++i) Local("2024.03.0" + std::to_string(i) + "_10-00", 0, 0, "", 0, "P");
  failing_.insert("2024.03.03_10-00");
  LogCapture log;
  KCD_ListWithNumberOperationsLocal list(host_, records::kRecordedOperations, Reader(), Remover());
  // Rows: 1: 03.05, 2: 03.04, 3: 03.03, 4: 03.02, 5: 03.01. The second row's text is edited
  // into a path that would leave the folder; only its stored name is used.
  Run("select 1004 1\ntext 1001 ..\\..\nselect-rows 1004 0 1 2 3\nmenu 32797\nanswer OK\n"
      "wait 300\ndump " +
          Dump("after.json") + "\n" + Snapshot("local_operations_deleted.png") + "click 2\n",
      [&] { return list.DoModal(); });
  const auto boxes = ui::MessageBoxHistory();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text,
            "Стереть  записи операций:\n2024.03.05_10-00 (:   P; )  \n...\n"
            "2024.03.02_10-00 (:   P; )  \n (всего 4 операции)?"_cp);
  EXPECT_EQ(removeCalls_, (std::vector<Text1251>{"2024.03.05_10-00", "2024.03.04_10-00",
                                                 "2024.03.03_10-00", "2024.03.02_10-00"}));
  EXPECT_EQ(shownItems_, (std::vector<Text1251>{"2024.03.05_10-00", "..\\..", "2024.03.03_10-00",
                                                "2024.03.02_10-00"}))
      << "each row's text up to its last \"(\"";
  EXPECT_EQ(Rows(Read(Dump("after.json"))),
            (std::vector<std::string>{"3: 2024.03.03_10-00 (:   P; )  ",
                                      "5: 2024.03.01_10-00 (:   P; )  "}));
  EXPECT_TRUE(log.Has("Не удается уничтожить операцию 2024.03.03_10-00"_cp));
  const std::string after = Read(Dump("after.json"));
  const size_t edit = after.find("{\"id\":1001,");
  ASSERT_NE(edit, std::string::npos);
  EXPECT_EQ(after.substr(edit, after.find('}', edit) - edit).find("2024.03.05"), std::string::npos)
      << "the edit names no deleted row";
  EXPECT_TRUE(fs::exists(Operations() / "2024.03.03_10-00"));
  EXPECT_TRUE(fs::exists(Operations() / "2024.03.01_10-00"));
  EXPECT_FALSE(fs::exists(Operations() / "2024.03.04_10-00"));
  EXPECT_TRUE(fs::exists(host_.roots().data())) << "nothing above the folder went";
}

TEST_F(OperationLists, CancellingTheQuestionDeletesNothing) {
  Local("2024.03.01_10-00", 0, 0, "", 0, "P");
  KCD_ListWithNumberOperationsLocal list(host_, records::kRecordedOperations, Reader(), Remover());
  Run("select 1004 0\nmenu 32797\nanswer Cancel\nclick 2\n", [&] { return list.DoModal(); });
  EXPECT_EQ(ui::MessageBoxHistory().back().text,
            "Стереть запись операции:\n2024.03.01_10-00 (:   P; )  ?"_cp);
  EXPECT_TRUE(removeCalls_.empty());
}

class StationaryLists : public OperationLists {
 protected:
  void SetUp() override {
    OperationLists::SetUp();
    fs::create_directories(host_.roots().database() / "DB_op");
    fs::create_directories(host_.roots().database() / "DB_push");
    std::string path = "c:\\TacmonData\\DB_op";
    operations_ = InitOperationDB(path.data(), nullptr);
    path = "c:\\TacmonData\\DB_push";
    pushes_ = InitPushDB(path.data(), nullptr);
    ASSERT_TRUE(operations_ && pushes_);
    for (int day = 1; day <= 3; ++day) {
      operation_item op{};
      op.size = sizeof op;
      op.version = 3;
      const int16_t t[6] = {2024, 5, static_cast<int16_t>(day), 9, 30, 0};
      std::copy(t, t + 6, op.Time);
      std::snprintf(op.FIO_patient[2], 64, "Family%d", day);
      op.idOrgan = day;
      ASSERT_EQ(AddOperation(&op, operations_), 0);
    }
  }
  void TearDown() override {
    CloseOperationDB(operations_);
    ClosePushDB(pushes_);
  }
  fs::path Record(int id) const { return host_.roots().database() / "DB_op" / std::to_string(id); }

  operation_list* operations_ = nullptr;
  push_list* pushes_ = nullptr;
};

int FailingRemover(const char*) { return -1; }

TEST_F(StationaryLists, RowsAreDeletedAFailedOneStaysAndTheChosenIdIsReported) {
  LogCapture log;
  KCD_ListWithNumberOperationsGlobal list(host_, operations_, pushes_);
  const int answer = Run("dump " + Dump("all.json") + "\n" + Snapshot("stationary_operations.png") +
                             "select 1004 0\nmenu 32797\nanswer OK\nwait 200\ndump " +
                             Dump("one.json") + "\nselect 1004 1\nmenu 32796\n",
                         [&] { return list.DoModal(); });
  EXPECT_EQ(Rows(Read(Dump("all.json"))),
            (std::vector<std::string>{"1: 2024.05.03_09-30-00 (:   Family3; organ3)",
                                      "2: 2024.05.02_09-30-00 (:   Family2; org2)",
                                      "3: 2024.05.01_09-30-00 (:   Family1; org1)"}));
  EXPECT_EQ(Rows(Read(Dump("one.json"))),
            (std::vector<std::string>{"2: 2024.05.02_09-30-00 (:   Family2; org2)",
                                      "3: 2024.05.01_09-30-00 (:   Family1; org1)"}));
  EXPECT_FALSE(fs::exists(Record(3) / "OperationData"));
  EXPECT_EQ(GetOperationByID(3, operations_), nullptr);
  EXPECT_EQ(answer, kListLoad);
  EXPECT_EQ(list.ChosenOperation(), 1);

  // The remover of the database fails: the row and the record stay, the failure is logged.
  SetAddOperationData(2, reinterpret_cast<void*>(&FailingRemover), 4, operations_);
  KCD_ListWithNumberOperationsGlobal again(host_, operations_, pushes_);
  Run("select 1004 0\nmenu 32797\nanswer OK\nwait 200\ndump " + Dump("kept.json") + "\nclick 2\n",
      [&] { return again.DoModal(); });
  EXPECT_EQ(Rows(Read(Dump("kept.json"))).size(), 2u);
  EXPECT_TRUE(log.Has("Не удается уничтожить операцию 2024.05.02_09-30-00"_cp));
}

TEST_F(StationaryLists, AMissingDatabaseClosesTheListWithItsMessage) {
  user_list* patients = host_.patients;
  doctor_list* surgeons = host_.surgeons;
  struct Case {
    bool operations, patients, pushes, surgeons;
    const char* message;
  } cases[] = {
      {false, true, true, true, "Стационарная БД операций не открыта"},
      {true, false, true, true, "Стационарная БД пациентов не открыта"},
      {true, true, false, true, "Стационарная БД нажатий механорецептора не открыта"},
      {true, true, true, false, "Стационарная БД врачей не открыта"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    host_.patients = c.patients ? patients : nullptr;
    host_.surgeons = c.surgeons ? surgeons : nullptr;
    KCD_ListWithNumberOperationsGlobal list(host_, c.operations ? operations_ : nullptr,
                                            c.pushes ? pushes_ : nullptr);
    EXPECT_EQ(list.DoModal(), ui::IDCANCEL) << c.message;
    EXPECT_TRUE(log.Has(Utf8ToCp1251(c.message))) << c.message;
  }
  host_.patients = patients;
  host_.surgeons = surgeons;
}

TEST_F(OperationLists, ProgressShowsTheItemAndTheTimeLineAndAsksBeforeAborting) {
  long elapsed = 0;
  CKProgress2 progress;
  progress.elapsedSeconds = [&] { return elapsed; };
  ASSERT_TRUE(progress.Open(nullptr, "Удаление операций"_cp, 0, 10));
  EXPECT_EQ(progress.Caption(), "Удаление операций"_cp);
  EXPECT_EQ(progress.Opacity(), 142);
  EXPECT_TRUE(progress.Step(0, "first"));
  EXPECT_EQ(progress.ItemText(1003), "") << "no line before a second has passed";
  elapsed = 4;
  EXPECT_TRUE(progress.Step(2, "2024.03.01_10-20"));
  EXPECT_EQ(progress.ItemText(1002), "2024.03.01_10-20");
  EXPECT_EQ(progress.ItemText(1003),
            "Времени прошло: 04сек.;  осталось: 16сек.;  полное время работы: 20сек."_cp);
  EXPECT_EQ(progress.ProgressItem(1129).GetPos(), 2);
  fs::create_directories(TACMON_RECORDS_SNAPSHOTS);
  progress.Widget()->grab().save(QString(TACMON_RECORDS_SNAPSHOTS) + "/progress.png");

  // "Прервать" asks first; Cancel goes on, OK stops at the next step (once).
  const std::string path = (host_.roots().base() / "abort.tacmon").string();
  std::ofstream(path) << "activate 158\nclick 1\nanswer Cancel\nactivate 158\nclick 1\nanswer OK\n";
  ASSERT_TRUE(ui::automation::Start(path));
  ASSERT_TRUE(uitest::Pump([] { return !ui::automation::Running(); }, 5000));
  EXPECT_FALSE(progress.Step(3, "x"));
  EXPECT_TRUE(progress.Step(4, "x"));
  progress.Close();
  EXPECT_FALSE(progress.HasWindow());
}

TEST_F(OperationLists, Ask1AnswersLoadAgainOpenTheLocalCopyOrCancel) {
  const std::pair<const char*, int> cases[] = {
      {"click 1000", 101}, {"click 1001", 102}, {"click 2", ui::IDCANCEL}};
  bool first = true;
  for (const auto& [click, answer] : cases) {
    KCD_Ask1 ask;
    EXPECT_EQ(Run((first ? Snapshot("ask1.png") : std::string()) + click + "\n",
                  [&] { return ask.DoModal(); }),
              answer)
        << click;
    first = false;
  }
}

}  // namespace

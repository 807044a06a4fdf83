// Opening databases, id assignment, Add/Edit/Del with their messages, the high-water mark,
// shared folders, additional files and the list helpers.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "medstore_test_util.h"

using namespace medstore_test;

namespace {

class DatabaseTest : public ScratchTest {};

user_item Patient(const char* family, int id = 0) {
  user_item u = Blank<user_item>();
  SetNames(u.FIO, family, "A", "B");
  u.idFIO = id;
  return u;
}

std::string PatientFile(int id, const char* family = "F") {
  return std::string("FIO: ") + family + " A B\r\nidFIO: " + std::to_string(id) + "\r\n";
}

TEST_F(DatabaseTest, OpeningEmptyAndMissingFolders) {
  std::string db = MakeDb("DB");
  user_list* list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->head, nullptr);
  EXPECT_EQ(list->last_id, 0);
  EXPECT_STREQ(list->path, db.c_str());
  EXPECT_TRUE(Messages().empty());
  CloseUserDB(list);

  std::string missing = "c:\\TacmonData\\Nowhere";
  EXPECT_EQ(InitUserDB(C(missing), Capture), nullptr);
  EXPECT_EQ(InitOperationDB(C(missing), Capture), nullptr);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Warning: problem with opening user database dir\n",
                                      "Warning: problem with opening operation database dir\n"}));
  CloseUserDB(nullptr);
}

TEST_F(DatabaseTest, OnlyDecimalFoldersWithMatchingIdsAreRead) {
  std::string db = MakeDb("DB");
  Write("DB/12a/UserData", PatientFile(12));
  Write("DB/notes.txt", "x");
  std::filesystem::create_directories(Host("DB/12"));
  Write("DB/7/UserData", PatientFile(8));  // id mismatch
  Write("DB/3/UserData", PatientFile(3, "Three"));
  Write("DB/20/UserData", "FIO: Twenty A B\nidFIO: 20\n");  // LF only
  user_list* list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Warning: ID mismatch\n",
                                                  "Warning: failed to open user file\n"}));
  ASSERT_EQ(Size(list), 2);
  EXPECT_EQ(list->head->idFIO, 3);  // ids ascending
  EXPECT_EQ(list->tail->idFIO, 20);
  EXPECT_EQ(list->tail->prev, list->head);
  EXPECT_EQ(list->last_id, 20);
  EXPECT_EQ(GetPatientByID(8, list), nullptr);
  EXPECT_TRUE(Exists("DB/7/UserData"));  // left untouched
  CloseUserDB(list);

  // The dropped record still raised last_id.
  std::filesystem::remove_all(Host("DB/20"));
  list = InitUserDB(C(db), Capture);
  EXPECT_EQ(list->last_id, 8);
  CloseUserDB(list);
}

// Only regular files of a bounded size are read: a FIFO would block the opening, a link to
// /dev/zero or a huge file would fill the memory.
TEST_F(DatabaseTest, RecordsAreReadOnlyFromRegularFiles) {
  std::string db = MakeDb("DB");
  Write("DB/1/UserData", PatientFile(1));
  std::filesystem::create_directories(Host("DB/2"));
  ASSERT_EQ(mkfifo(Host("DB/2/UserData").c_str(), 0666), 0);
  std::filesystem::create_directories(Host("DB/3"));
  std::filesystem::create_symlink("/dev/zero", Host("DB/3/UserData"));
  ASSERT_EQ(mkfifo(Host("DB/4").c_str(), 0666), 0);
  Write("DB/5/UserData", PatientFile(5));
  std::filesystem::resize_file(Host("DB/5/UserData"), (uint64_t(256) << 20) + 1);  // sparse
  Write("DB/6/UserData", PatientFile(6));
  user_list* list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Count("Warning: failed to open user file\n"), 4);
  EXPECT_EQ(Messages().size(), 4u);
  ASSERT_EQ(Size(list), 2);
  EXPECT_EQ(list->head->idFIO, 1);
  EXPECT_EQ(list->tail->idFIO, 6);
  CloseUserDB(list);
}

// An id mark that exists but cannot be used is reported, never read as 0 in silence, and is
// replaced by the next change.
TEST_F(DatabaseTest, UnusableIdMarkIsReportedAndReplaced) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> make;
  };
  auto text = [](std::string t) {
    return [t](const std::string& path) { std::ofstream(path, std::ios::binary) << t; };
  };
  const std::vector<Case> cases = {
      {"empty", text("")},
      {"not a number", text("x12\r\n")},
      {"negative", text("-5\r\n")},
      {"a FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0666); }},
      {"a link to /dev/zero",
       [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Host("DB_op"));
    std::string db = MakeDb("DB_op");
    Write("DB_op/7/OperationData", "ID: 7\r\n");
    c.make(Host("DB_op/medstore_last_id"));
    Messages().clear();
    operation_list* list = InitOperationDB(C(db), Capture);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: failed to read the last id file\n"});
    EXPECT_EQ(list->last_id, 7);
    operation_item o = Blank<operation_item>();
    ASSERT_EQ(AddOperation(&o, list), 0);
    EXPECT_EQ(o.ID, 8);
    EXPECT_EQ(Messages().size(), 1u);  // reported once
    EXPECT_FALSE(std::filesystem::is_symlink(Host("DB_op/medstore_last_id")));
    EXPECT_EQ(Read("DB_op/medstore_last_id"), "8\r\n");
    CloseOperationDB(list);
  }
}

TEST_F(DatabaseTest, DatabasePathsResolveLikeWindows) {
  MakeDb("DB_op");
  Write("DB_op/5/operationdata", "ID: 5\r\n");  // record file in another letter case
  std::string path = "C:/TACMONDATA\\db_OP. ";
  operation_list* list = InitOperationDB(C(path), Capture);
  ASSERT_NE(list, nullptr);
  ASSERT_NE(GetOperationByID(5, list), nullptr);
  EXPECT_EQ(GetOperationByID(5, list)->files->head, nullptr);
  operation_item o = Blank<operation_item>();
  o.ID = 5;
  o.idOrgan = 9;
  ASSERT_EQ(EditOperation(5, &o, list), 0);
  EXPECT_EQ(Read("DB_op/5/operationdata").substr(0, 7), "ID: 5\r\n");
  EXPECT_FALSE(Exists("DB_op/5/OperationData"));
  CloseOperationDB(list);

  std::string host = Host("DB_op");
  list = InitOperationDB(C(host), Capture);  // a plain host path passes through
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(GetOperationByID(5, list)->idOrgan, 9);
  CloseOperationDB(list);
}

TEST_F(DatabaseTest, CyrillicNamesAreUtf8OnDiskAndCp1251Inside) {
  std::filesystem::create_directories(Host("\u0411\u0430\u0437\u0430"));  // "Baza" in Cyrillic
  Write("\u0411\u0430\u0437\u0430/4/DoctorData", "FIO: a b c\r\nidFIO: 4\r\n");
  Write("\u0411\u0430\u0437\u0430/4/scan_\u0444\u043e\u0442\u043e.png", "");
  Write("\u0411\u0430\u0437\u0430/4/\u0444\u043e\u0442\u043e.png", "");  // not a Latin letter
  std::string path = "c:\\TacmonData\\\xc1\xe0\xe7\xe0";  // CP1251, other letter case
  path[path.size() - 3] = '\xc0';                         // a capital "A"
  doctor_list* list = InitDoctorDB(C(path), Capture);
  ASSERT_NE(list, nullptr);
  const doctor_item* d = GetDoctorByID(4, list);
  ASSERT_NE(d, nullptr);
  ASSERT_NE(d->files->head, nullptr);
  EXPECT_STREQ(d->files->head->name, "4/scan_\xf4\xee\xf2\xee.png");
  EXPECT_EQ(d->files->head->next, nullptr);
  CloseDoctorDB(list);
}

TEST_F(DatabaseTest, DumpsFollowTheirFormat) {
  std::string db = MakeDb("DB_doc");
  Write("DB_doc/2/DoctorData", "FIO: Sidorov Semen Semenovich\r\nidFIO: 2\r\n");
  Write("DB_doc/2/cv.txt", "");
  doctor_list* list = InitDoctorDB(C(db), Capture);
  testing::internal::CaptureStdout();
  print_doctor_list(list);
  print_file_list(list->head->files);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Doctor number 2:\n"
            "Name: Sidorov Semen Semenovich\n"
            "Additional files:\n"
            "2/cv.txt\n"
            "2/cv.txt\n");
  CloseDoctorDB(list);
}

TEST_F(DatabaseTest, AdditionalFilesAreListedNewestFirst) {
  std::string db = MakeDb("DB_op");
  Write("DB_op/7/OperationData", "ID: 7\r\n");
  Write("DB_op/7/a.png", "");
  Write("DB_op/7/b.txt", "");
  Write("DB_op/7/.hidden", "");
  Write("DB_op/7/_x", "");
  std::filesystem::create_directories(Host("DB_op/7/9sub"));
  operation_list* list = InitOperationDB(C(db), Capture);
  const operation_item* o = GetOperationByID(7, list);
  ASSERT_NE(o, nullptr);
  std::vector<std::string> names;
  for (const file_item* f = o->files->head; f; f = f->next) names.push_back(f->name);
  EXPECT_EQ(names, (std::vector<std::string>{"7/b.txt", "7/a.png", "7/9sub"}));

  file_list* clone = nullptr;
  ASSERT_EQ(clone_file_list(o->files, &clone), 0);
  EXPECT_STREQ(clone->head->name, "7/9sub");  // a clone comes out reversed
  destroy_file_list(clone);
  ASSERT_EQ(clone_file_list(nullptr, &clone), 0);
  EXPECT_EQ(clone->head, nullptr);
  destroy_file_list(clone);
  CloseOperationDB(list);
}

TEST_F(DatabaseTest, AddAssignsTheNextIdAndRefusesDuplicates) {
  std::string db = MakeDb("DB");
  Write("DB/41/UserData", PatientFile(41));
  user_list* list = InitUserDB(C(db), Capture);
  user_item u = Patient("New");
  ASSERT_EQ(AddPatient(&u, list), 0);
  EXPECT_EQ(u.idFIO, 42);
  EXPECT_EQ(list->last_id, 42);
  EXPECT_EQ(list->tail->idFIO, 42);
  EXPECT_NE(list->tail, &u);  // the list holds a copy
  EXPECT_EQ(Read("DB/42/UserData").substr(0, 16), "FIO: New A B\r\nid");
  EXPECT_EQ(AddPatient(&u, list), 1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"User already exists\n"});
  EXPECT_EQ(Size(list), 2);

  // An explicit id is used as it is and raises last_id.
  user_item e = Patient("Explicit", 500);
  ASSERT_EQ(AddPatient(&e, list), 0);
  EXPECT_EQ(list->last_id, 500);
  user_item n = Patient("Next");
  ASSERT_EQ(AddPatient(&n, list), 0);
  EXPECT_EQ(n.idFIO, 501);
  CloseUserDB(list);
}

TEST_F(DatabaseTest, IdLimit) {
  std::string db = MakeDb("DB_doc");
  doctor_list* list = InitDoctorDB(C(db), Capture);
  list->last_id = 1000000;
  doctor_item d = Blank<doctor_item>();
  ASSERT_EQ(AddDoctor(&d, list), 0);
  EXPECT_EQ(d.idFIO, 1000001);
  doctor_item d2 = Blank<doctor_item>();
  EXPECT_EQ(AddDoctor(&d2, list), 1);
  EXPECT_EQ(d2.idFIO, 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Database is too large\n"});
  CloseDoctorDB(list);
}

// No id beyond the limit is handed out automatically, so such ids never move the id mark: a
// record with one, once deleted, leaves the database as it was. Ids up to the limit never come
// back, and a mark beyond the limit left by an earlier version is reported and ignored.
TEST_F(DatabaseTest, IdMarkNeverRefusesNewRecordsForGood) {
  struct Case {
    const char* name;
    int explicitId;                     // added with this id (0: none)
    bool deleted;                       // and deleted again
    const char* markBefore;             // mark file before the first opening (nullptr: none)
    int nextId;                         // id 0 gets after reopening; 0: refused
    std::vector<std::string> messages;  // on reopening and adding
  };
  const std::vector<Case> cases = {
      {"explicit id far beyond the limit", 2000000, true, nullptr, 4, {}},
      {"explicit id just beyond the limit", 1000001, true, nullptr, 4, {}},
      {"explicit id at the limit", 1000000, true, nullptr, 1000001, {}},
      {"record beyond the limit still there",
       2000000,
       false,
       nullptr,
       0,
       {"Database is too large\n"}},
      {"mark beyond the limit from an earlier version",
       0,
       false,
       "2000000\r\n",
       4,
       {"Warning: last id 2000000 is beyond the id limit, ignored\n"}},
      {"mark at the largest automatic id", 0, false, "1000001\r\n", 0, {"Database is too large\n"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = "DB_doc" + std::to_string(++n);
    std::string db = MakeDb(name);
    for (int id : {1, 2, 3})
      Write(name + "/" + std::to_string(id) + "/DoctorData",
            "FIO: a b c\r\nidFIO: " + std::to_string(id) + "\r\n");
    if (c.markBefore) Write(name + "/medstore_last_id", c.markBefore);
    Messages().clear();
    doctor_list* list = InitDoctorDB(C(db), Capture);
    ASSERT_NE(list, nullptr);
    if (c.explicitId) {
      doctor_item d = Blank<doctor_item>();
      d.idFIO = c.explicitId;
      ASSERT_EQ(AddDoctor(&d, list), 0);
      if (c.deleted) ASSERT_EQ(DelDoctor(c.explicitId, list), 0);
    }
    CloseDoctorDB(list);

    Messages().clear();
    list = InitDoctorDB(C(db), Capture);
    doctor_item d = Blank<doctor_item>();
    EXPECT_EQ(AddDoctor(&d, list), c.nextId ? 0 : 1);
    EXPECT_EQ(d.idFIO, c.nextId);
    EXPECT_EQ(Messages(), c.messages);
    if (c.nextId) EXPECT_EQ(Read(name + "/medstore_last_id"), std::to_string(c.nextId) + "\r\n");
    CloseDoctorDB(list);
  }
}

TEST_F(DatabaseTest, IdsOfDeletedRecordsAreNotReusedAfterReopen) {
  std::string db = MakeDb("DB_op");
  operation_list* list = InitOperationDB(C(db), Capture);
  for (int i = 0; i < 3; ++i) {
    operation_item o = Blank<operation_item>();
    ASSERT_EQ(AddOperation(&o, list), 0);
  }
  ASSERT_EQ(DelOperation(3, list), 0);
  CloseOperationDB(list);
  EXPECT_FALSE(Exists("DB_op/3"));  // the folder was left empty

  list = InitOperationDB(C(db), Capture);
  EXPECT_TRUE(Messages().empty());  // the mark file is not taken for a record
  EXPECT_EQ(Size(list), 2);
  operation_item o = Blank<operation_item>();
  ASSERT_EQ(AddOperation(&o, list), 0);
  EXPECT_EQ(o.ID, 4);
  CloseOperationDB(list);

  // A database without a mark yet (written by an older version): deleting its newest record
  // still keeps that id from coming back.
  std::string old = MakeDb("DB_old");
  Write("DB_old/9/OperationData", "ID: 9\r\n");
  list = InitOperationDB(C(old), Capture);
  ASSERT_EQ(DelOperation(9, list), 0);
  CloseOperationDB(list);
  list = InitOperationDB(C(old), Capture);
  EXPECT_EQ(list->last_id, 9);
  CloseOperationDB(list);
}

TEST_F(DatabaseTest, SharedFolderNeverOverwritesAnotherWorkstationsRecord) {
  std::string db = MakeDb("DB");
  user_list* mine = InitUserDB(C(db), Capture);
  user_list* theirs = InitUserDB(C(db), Capture);
  user_item a = Patient("Theirs");
  ASSERT_EQ(AddPatient(&a, theirs), 0);
  EXPECT_EQ(a.idFIO, 1);
  std::filesystem::create_directories(Host("DB/2"));  // claimed, record not yet written
  user_item b = Patient("Mine");
  ASSERT_EQ(AddPatient(&b, mine), 0);
  EXPECT_EQ(b.idFIO, 3);
  EXPECT_EQ(Read("DB/1/UserData").substr(0, 17), "FIO: Theirs A B\r\n");
  EXPECT_FALSE(Exists("DB/2/UserData"));
  // An id taken and deleted by the other workstation is not handed out either.
  ASSERT_EQ(DelPatient(1, theirs), 0);
  user_item c = Patient("Later");
  ASSERT_EQ(AddPatient(&c, theirs), 0);
  EXPECT_EQ(c.idFIO, 4);
  CloseUserDB(mine);
  CloseUserDB(theirs);
}

TEST_F(DatabaseTest, TwoWorkstationsAddingAtOnceKeepEveryRecord) {
  std::string db = MakeDb("DB_op");
  const int kEach = 150;
  std::vector<pid_t> children;
  for (int w = 1; w <= 2; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      operation_list* list = InitOperationDB(C(db), nullptr);
      int failed = 0;
      for (int i = 0; i < kEach; ++i) {
        operation_item o = Blank<operation_item>();
        o.idFIO_patient = w;  // who wrote it
        o.idOrgan = i;        // and in which order
        failed += AddOperation(&o, list) != 0;
      }
      CloseOperationDB(list);
      _exit(failed);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  operation_list* list = InitOperationDB(C(db), Capture);
  EXPECT_TRUE(Messages().empty());
  std::set<std::pair<int, int>> written;
  for (const operation_item* o = list->head; o; o = o->next)
    written.insert({o->idFIO_patient, o->idOrgan});
  EXPECT_EQ(Size(list), 2 * kEach);
  EXPECT_EQ(written.size(), 2u * kEach);  // nobody's record was overwritten
  EXPECT_EQ(Read("DB_op/medstore_last_id"), "300\r\n");
  CloseOperationDB(list);
}

// A workstation that opened the shared folder earlier knows an old mark; its explicit add and
// its edit must still keep the mark that another workstation raised meanwhile.
TEST_F(DatabaseTest, ExplicitAddAndEditNeverLowerAnotherWorkstationsMark) {
  std::string db = MakeDb("DB_op");
  Write("DB_op/80/OperationData", "ID: 80\r\n");
  std::filesystem::create_directories(Host("DB_op/40"));  // claimed, record not yet written
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t late = fork();
  ASSERT_GE(late, 0);
  if (late == 0) {
    // Two handles opened before the other workstation adds anything.
    operation_list* adding = InitOperationDB(C(db), nullptr);
    operation_list* editing = InitOperationDB(C(db), nullptr);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(9);
    auto mark = [&] {
      std::ifstream in(Host("DB_op/medstore_last_id"), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    int failed = 0;
    operation_item o = Blank<operation_item>();
    o.ID = 40;
    if (AddOperation(&o, adding) != 0) failed |= 1;
    if (mark() != "230\r\n") failed |= 2;
    operation_item e = *GetOperationByID(80, editing);
    e.files = nullptr;
    e.idOrgan = 5;
    if (EditOperation(80, &e, editing) != 0) failed |= 4;
    if (mark() != "230\r\n") failed |= 8;
    CloseOperationDB(adding);
    CloseOperationDB(editing);
    _exit(failed);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  pid_t early = fork();
  ASSERT_GE(early, 0);
  if (early == 0) {
    operation_list* list = InitOperationDB(C(db), nullptr);
    int failed = 0;
    for (int i = 0; i < 150; ++i) {
      operation_item o = Blank<operation_item>();
      failed += AddOperation(&o, list) != 0;
    }
    CloseOperationDB(list);
    _exit(failed);
  }
  int status = 0;
  waitpid(early, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Read("DB_op/medstore_last_id"), "230\r\n");  // ids 81..230
  ASSERT_EQ(write(go[1], &byte, 1), 1);
  waitpid(late, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);  // bits: add failed, mark lowered, edit failed, lowered
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);

  operation_list* list = InitOperationDB(C(db), Capture);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Size(list), 152);
  EXPECT_EQ(GetOperationByID(80, list)->idOrgan, 5);
  operation_item next = Blank<operation_item>();
  ASSERT_EQ(AddOperation(&next, list), 0);
  EXPECT_EQ(next.ID, 231);
  CloseOperationDB(list);
}

TEST_F(DatabaseTest, ListsWithoutPathKeepRecordsInMemoryOnly) {
  std::string db = MakeDb("DB");
  Write("DB/1/UserData", PatientFile(1));
  user_list* list = InitUserDB(C(db), Capture);
  user_list* result = nullptr;
  int* ids = nullptr;
  int count = 0;
  std::string all;
  ASSERT_EQ(GetPatients(C(all), &result, &ids, &count, list), 0);
  ASSERT_EQ(count, 1);
  user_item u = Patient("Temp");
  EXPECT_EQ(AddPatient(&u, result), 1);  // no report callback: messages dropped
  EXPECT_EQ(u.idFIO, 2);
  EXPECT_EQ(Size(result), 2);
  EXPECT_FALSE(Exists("DB/2"));

  user_list* made = nullptr;
  ASSERT_EQ(create_user_list(&made), 0);
  made->report = Capture;
  user_item t = Patient("Made");
  EXPECT_EQ(AddPatient(&t, made), 1);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Warning: database path is not initialized properly\n",
                                      "Warning: The patient was added temporarily only\n"}));
  destroy_user_list(made);
  GetPatients(nullptr, &result, &ids, &count, list);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(ids, nullptr);
  CloseUserDB(list);
}

TEST_F(DatabaseTest, EditReplacesTheRecordAndMovesItToTheTail) {
  std::string db = MakeDb("DB");
  Write("DB/1/UserData", PatientFile(1, "One"));
  Write("DB/2/UserData", PatientFile(2, "Two"));
  Write("DB/1/scan.png", "");
  user_list* list = InitUserDB(C(db), Capture);

  user_item wrong = Patient("X", 2);
  EXPECT_EQ(EditPatient(1, &wrong, list), 1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: ID mismatch\n"});
  EXPECT_STREQ(GetPatientByID(1, list)->FIO[0], "One");

  // The list's own item can be handed back.
  user_item* own = GetPatientByID(1, list);
  std::strcpy(own->FIO[0], "Uno");
  ASSERT_EQ(EditPatient(1, own, list), 0);
  const user_item* edited = GetPatientByID(1, list);
  EXPECT_STREQ(edited->FIO[0], "Uno");
  EXPECT_EQ(list->tail, edited);
  EXPECT_EQ(list->head->idFIO, 2);
  EXPECT_STREQ(edited->files->head->name, "1/scan.png");
  EXPECT_EQ(Read("DB/1/UserData").substr(0, 14), "FIO: Uno A B\r\n");
  EXPECT_TRUE(Exists("DB/1/scan.png"));

  // A missing record is reported and then added.
  Messages().clear();
  user_item fresh = Patient("Fresh", 9);
  ASSERT_EQ(EditPatient(9, &fresh, list), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: patient not found\n"});
  EXPECT_TRUE(Exists("DB/9/UserData"));
  EXPECT_EQ(list->last_id, 9);
  CloseUserDB(list);
}

TEST_F(DatabaseTest, FailedEditKeepsTheOldRecord) {
  std::string db = MakeDb("DB");
  Write("DB/1/UserData", PatientFile(1, "Old"));
  user_list* list = InitUserDB(C(db), Capture);
  std::string big(4096, 'n');
  user_item u = Patient("New", 1);
  u.Notes = big.data();

  // Files larger than the limit cannot be written, not even by root.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int rc = EditPatient(1, &u, list);
  setrlimit(RLIMIT_FSIZE, &old);

  EXPECT_EQ(rc, 1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: failed to create database file\n"});
  EXPECT_STREQ(GetPatientByID(1, list)->FIO[0], "Old");
  EXPECT_EQ(Read("DB/1/UserData"), PatientFile(1, "Old"));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(Host("DB/1")))
    left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"UserData"});  // no temp file left behind
  CloseUserDB(list);
}

// Whatever stands in the way, the message says which step failed, the result is 1 and an
// added item stays in the list.
TEST_F(DatabaseTest, WritesThatFailSayWhichStep) {
  struct Case {
    const char* name;
    int id;     // 0: the next id
    bool edit;  // Edit instead of Add
    std::string inTheWay;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a file named as the record folder", 5, false, "DB/5",
       "Warning: failed to create database subdirectory\n"},
      {"a file named as the next record folder", 0, false, "DB/3",
       "Warning: failed to create database subdirectory\n"},
      {"a file named as the folder of an edited record", 7, true, "DB/7",
       "Warning: failed to create database subdirectory\n"},
      {"a folder named as the record file", 6, false, "DB/6/UserData/x",
       "Warning: failed to create database file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Host("DB"));
    std::string db = MakeDb("DB");
    Write("DB/2/UserData", PatientFile(2));
    Write(c.inTheWay, "x");
    user_list* list = InitUserDB(C(db), Capture);
    Messages().clear();
    user_item u = Patient("New", c.id);
    EXPECT_EQ(c.edit ? EditPatient(c.id, &u, list) : AddPatient(&u, list), 1);
    EXPECT_EQ(Messages().back(), c.message);
    int id = c.id ? c.id : 3;
    EXPECT_EQ(u.idFIO, id);
    EXPECT_EQ(GetPatientByID(id, list) != nullptr, !c.edit);  // a failed Edit adds nothing
    EXPECT_EQ(Read(c.inTheWay), "x");
    CloseUserDB(list);
  }
}

int g_removed = 0;
std::string g_removedPath;
int RemoveOk(const char* path) {
  ++g_removed;
  g_removedPath = path;
  return 0;
}
int RemoveFails(const char*) { return 5; }

TEST_F(DatabaseTest, DeleteRemovesTheRecordFileOrCallsTheRemover) {
  std::string db = MakeDb("DB_op");
  for (int id : {1, 2, 3})
    Write("DB_op/" + std::to_string(id) + "/OperationData", "ID: " + std::to_string(id) + "\r\n");
  Write("DB_op/1/photo.jpg", "");
  operation_list* list = InitOperationDB(C(db), Capture);

  EXPECT_EQ(DelOperation(77, list), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: operation not found\n"});

  ASSERT_EQ(DelOperation(1, list), 0);  // without a remover: the record file only
  EXPECT_FALSE(Exists("DB_op/1/OperationData"));
  EXPECT_TRUE(Exists("DB_op/1/photo.jpg"));

  ASSERT_EQ(SetAddOperationData(2, reinterpret_cast<void*>(&RemoveOk), 4, list), 0);
  ASSERT_EQ(DelOperation(2, list), 0);
  EXPECT_EQ(g_removed, 1);
  EXPECT_EQ(g_removedPath, db + "/2");

  Messages().clear();
  SetAddOperationData(2, reinterpret_cast<void*>(&RemoveFails), 4, list);
  EXPECT_EQ(DelOperation(3, list), 1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: failed to delete operation file\n"});
  EXPECT_EQ(GetOperationByID(3, list), nullptr);
  EXPECT_EQ(list->head, nullptr);
  EXPECT_EQ(list->tail, nullptr);
  EXPECT_EQ(SetAddOperationData(7, nullptr, 4, list), 1);
  CloseOperationDB(list);
}

TEST_F(DatabaseTest, IndexFollowsEveryChange) {
  std::string db = MakeDb("DB_push");
  push_list* list = InitPushDB(C(db), Capture);
  const int n = 300;
  for (int i = 0; i < n; ++i) {
    push_item p = Blank<push_item>();
    p.OperationID = 1 + i % 3;
    p.HeadNum = 19;
    ASSERT_EQ(AddPush(&p, list), 0);
  }
  for (int id = 2; id <= n; id += 2) ASSERT_EQ(DelPush(id, list), 0);
  for (int id = 1; id <= n; id += 6) {
    push_item p = *GetPushByID(0, id, list);
    p.OperationID = 9;
    p.files = nullptr;
    ASSERT_EQ(EditPush(id, &p, list), 0);
  }
  for (int id = 1; id <= n; ++id) {
    push_item* p = GetPushByID(0, id, list);
    if (id % 2 == 0) {
      EXPECT_EQ(p, nullptr) << id;
      continue;
    }
    ASSERT_NE(p, nullptr) << id;
    EXPECT_EQ(p->ID, id);
    int op = id % 6 == 1 ? 9 : 1 + (id - 1) % 3;
    EXPECT_EQ(p->OperationID, op) << id;
    EXPECT_EQ(GetPushByID(op, id, list), p);
  }
  int count = 0;
  int* ids = nullptr;
  ASSERT_EQ(GetPushID(9, nullptr, &ids, &count, list), 0);
  EXPECT_EQ(count, 50);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 7);
  GetPushID(0, nullptr, &ids, &count, list);
  ClosePushDB(list);
}

TEST_F(DatabaseTest, ListHelpersKeepTheFirstOfEqualIds) {
  doctor_list* list = nullptr;
  ASSERT_EQ(create_doctor_list(&list), 0);
  doctor_item* a = static_cast<doctor_item*>(calloc(1, sizeof(doctor_item)));
  doctor_item* b = static_cast<doctor_item*>(calloc(1, sizeof(doctor_item)));
  a->idFIO = b->idFIO = 4;
  EXPECT_EQ(add_item_to_doctor_list(list, a), 0);
  EXPECT_EQ(GetDoctorByID(4, list), a);
  EXPECT_EQ(add_item_to_doctor_list(list, b), 0);
  EXPECT_EQ(GetDoctorByID(4, list), a);
  remove_item_from_doctor_list(list, a);
  EXPECT_EQ(GetDoctorByID(4, list), b);
  EXPECT_EQ(list->head, b);
  remove_item_from_doctor_list(list, b);
  EXPECT_EQ(GetDoctorByID(4, list), nullptr);
  EXPECT_EQ(list->head, nullptr);

  file_list* files = nullptr;
  ASSERT_EQ(create_file_list(&files), 0);
  for (const char* n : {"1/a", "1/b"}) {
    file_item* f = static_cast<file_item*>(calloc(1, sizeof(file_item)));
    f->name = strdup(n);
    add_item_to_file_list(files, f);
  }
  EXPECT_STREQ(files->head->name, "1/b");
  destroy_file_list(files);
  destroy_doctor_list(list);
}

}  // namespace

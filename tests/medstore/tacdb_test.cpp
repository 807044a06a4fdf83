// tacdb on scratch databases: what it prints and its exit status.
#include <sys/wait.h>

#include <cstdio>

#include "medstore_test_util.h"

using namespace medstore_test;

namespace {

struct ToolRun {
  int status;
  std::string out;
};

ToolRun Tacdb(const std::string& args) {
  std::string cmd = std::string(TACDB_PATH) + " " + args + " 2>&1";
  ToolRun r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class TacdbTest : public ScratchTest {};

TEST_F(TacdbTest, ListsShowsAndChecksAFolder) {
  MakeDb("DB_op");
  Write("DB_op/1/OperationData",
        "ID: 1\r\nTime: 2020 3 1 10 0 0\r\nidFIO_patient: 5\r\nidOrgan: 2\r\n"
        "Organ: Liver\r\n");
  ToolRun list = Tacdb("list 'c:\\TacmonData\\DB_op'");
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_EQ(list.out, "1\t2020-03-01 10:00:00\tpatient 5   \tsurgeon 0\torgan 2 Liver\n");

  ToolRun show = Tacdb("show " + Host("DB_op") + " 1");
  EXPECT_EQ(show.status, 0);
  EXPECT_NE(show.out.find("Organ: 2 Liver\n"), std::string::npos) << show.out;
  EXPECT_EQ(Tacdb("show " + Host("DB_op") + " 2").status, 1);

  ToolRun clean = Tacdb("check " + Host("DB_op"));
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_NE(clean.out.find("no problems"), std::string::npos);

  Write("DB_op/2/OperationData", "ID: 3\r\nTime: 2020\r\n");  // copied in, broken
  ToolRun broken = Tacdb("check " + Host("DB_op"));
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.out.find("  Warning: ID mismatch\n"), std::string::npos) << broken.out;
  EXPECT_NE(broken.out.find("  Error parsing time\n"), std::string::npos);
  EXPECT_NE(broken.out.find("1 record folders were left out"), std::string::npos);
}

TEST_F(TacdbTest, ChecksReferencesAcrossADataRoot) {
  MakeDb("DB");
  MakeDb("DB_doc");
  Write("DB_op/1/OperationData", "ID: 1\r\nidFIO_patient: 5\r\n");
  Write("DB_push/2/PushData", "ID: 2\r\nOperationID: 1\r\n");
  Write("DB_push/3/PushData", "ID: 3\r\nOperationID: 8\r\n");
  ToolRun r = Tacdb("check 'c:\\TacmonData'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("operation 1: patient 5 not found"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("push 3: operation 8 not found"), std::string::npos);
  EXPECT_EQ(r.out.find("push 2:"), std::string::npos);
}

TEST_F(TacdbTest, ErrorsAreClear) {
  EXPECT_EQ(Tacdb("").status, 2);
  EXPECT_EQ(Tacdb("frobnicate x").status, 2);
  ToolRun missing = Tacdb("list " + Host("nowhere"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("no such folder"), std::string::npos);
  MakeDb("misc");
  ToolRun unknown = Tacdb("list " + Host("misc"));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("give --kind"), std::string::npos);
  EXPECT_EQ(Tacdb("--kind surgeon list " + Host("misc")).status, 0);
}

}  // namespace

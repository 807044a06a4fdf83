#include "params/parameter_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/report.h"
#include "support/scratch_roots.h"

namespace {

std::vector<std::string> g_logged;
void Capture(const char* text) { g_logged.emplace_back(text); }

class ParameterStore : public ::testing::Test {
 protected:
  void SetUp() override {
    g_logged.clear();
    previous_ = SetLogSink(&Capture);
  }
  void TearDown() override { SetLogSink(previous_); }
  std::filesystem::path File(const char* set) { return roots_.data() / "pars" / (std::string(set) + ".par"); }
  void Write(const char* set, const std::string& bytes) { WriteBytes(File(set), bytes); }
  std::string Read(const char* set) { return ReadBytes(File(set)); }

  ScratchRoots roots_;
  LogSink previous_ = nullptr;
};

TEST_F(ParameterStore, LoadsIntAndDoubleAndSavesSixDigits) {
  Write("A", "d x\r\n5\r\nl y\r\n0.123456789\r\n");
  ParameterSet set;
  LoadPars("A", &set);
  int32_t x = 0;
  double y = 0;
  EXPECT_EQ(GetPar("x", 'd', &x, &set), 0);
  EXPECT_EQ(GetPar("y", 'l', &y, &set), 0);
  EXPECT_EQ(x, 5);
  EXPECT_DOUBLE_EQ(y, 0.123456789);
  EXPECT_TRUE(set.modified);
  EXPECT_EQ(SavePars(&set), 0);
  EXPECT_FALSE(set.modified);
  EXPECT_EQ(Read("A"), "d x\r\n5\r\nl y\r\n0.123457\r\n");
}

TEST_F(ParameterStore, PlainLfFilesLoadToo) {
  Write("A", "d x\n7\ns name\nhello world\n");
  ParameterSet set;
  LoadPars("A", &set);
  int32_t x = 0;
  Text1251 name;
  EXPECT_EQ(GetPar("x", x, set), 0);
  EXPECT_EQ(GetPar("name", name, set), 0);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(name, "hello world");
}

TEST_F(ParameterStore, EveryKindSurvivesLoadAndSave) {
  const std::string file =
      "d i\r\n-3\r\nC c\r\n12\r\nf f\r\n1.500000\r\nl l\r\n2.5\r\ns s\r\nтекст\r\n"
      "T t\r\nttt\r\nr r\r\n1 2 3 4\r\nP p\r\n5 6\r\nF dd\r\n0.25 -1.5\r\nV v\r\n3.25 9\r\n"
      "D long\r\nlong text\r\nL l2\r\nmore\r\n";
  Write("K", file);
  ParameterSet set;
  LoadPars("K", &set);
  EXPECT_EQ(set.count, 12);
  EXPECT_EQ(SavePars(&set), 0);
  EXPECT_EQ(Read("K"), file);
}

TEST_F(ParameterStore, KindEBecomesDOnSave) {
  Write("E", "e n\r\n42\r\n");
  ParameterSet set;
  LoadPars("E", &set);
  FreePars(&set);  // loaded and unchanged: still rewritten
  EXPECT_EQ(Read("E"), "d n\r\n42\r\n");
  EXPECT_TRUE(set.name.empty());
  EXPECT_EQ(set.count, 0);
}

TEST_F(ParameterStore, MultiLineTextRoundTrips) {
  ParameterSet set;
  LoadPars("T", &set);
  const char* text = "first\r\nsecond\nthird";
  EXPECT_EQ(SetPar("note", &set, 's', text), 0);
  EXPECT_EQ(SavePars(&set), 0);
  EXPECT_EQ(Read("T"), "s note\r\nfirst\x03\x02second\x02third\r\n");
  ParameterSet again;
  LoadPars("T", &again);
  char out[256];
  EXPECT_EQ(GetPar("note", 's', out, &again), 0);
  EXPECT_STREQ(out, text);
}

TEST_F(ParameterStore, EmptyLineEndsTheFile) {
  Write("A", "d a\r\n1\r\n\r\nd b\r\n2\r\n");
  ParameterSet set;
  LoadPars("A", &set);
  int32_t v = 0;
  EXPECT_EQ(GetPar("a", 'd', &v, &set), 0);
  EXPECT_EQ(GetPar("b", 'd', &v, &set), -1);
  SavePars(&set);
  EXPECT_EQ(Read("A"), "d a\r\n1\r\n");
}

TEST_F(ParameterStore, UnknownKindStopsLoadingWithMessage) {
  Write("A", "d a\r\n1\r\nx key\r\nzzz\r\nd b\r\n2\r\n");
  ParameterSet set;
  LoadPars("A", &set);
  EXPECT_EQ(set.count, 1);
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_EQ(g_logged[0], "(96350923)Can't restore data (no type)");
}

TEST_F(ParameterStore, DuplicateKeyKeepsTheLaterValue) {
  Write("A", "d a\r\n1\r\nd a\r\n2\r\n");
  ParameterSet set;
  LoadPars("A", &set);
  int32_t v = 0;
  GetPar("a", 'd', &v, &set);
  EXPECT_EQ(v, 2);
  SavePars(&set);
  EXPECT_EQ(Read("A"), "d a\r\n2\r\n");
}

TEST_F(ParameterStore, ValueThatDoesNotScanIsNotStored) {
  Write("A", "d a\r\nnot a number\r\nd b\r\n3\r\n");
  ParameterSet set;
  LoadPars("A", &set);
  int32_t v = 99;
  EXPECT_EQ(GetPar("a", 'd', &v, &set), -1);
  EXPECT_EQ(v, 99);
  SavePars(&set);
  EXPECT_EQ(Read("A"), "d b\r\n3\r\n");
}

TEST_F(ParameterStore, MissingFileAndMissingKeyLeaveDefaults) {
  ParameterSet set;
  LoadPars("Nothing", &set);
  int32_t v = 17;
  EXPECT_EQ(GetPar("x", 'd', &v, &set), -1);
  EXPECT_EQ(v, 17);
  EXPECT_TRUE(g_logged.empty());
  EXPECT_TRUE(std::filesystem::is_directory(roots_.data() / "pars"));
}

TEST_F(ParameterStore, NoNameIsReported) {
  ParameterSet set;
  LoadPars("", &set);
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_EQ(g_logged[0], "(443509232)Can't load data (no name)");
  EXPECT_EQ(SavePars(&set), -1);
  EXPECT_EQ(SavePars(nullptr), -1);
}

TEST_F(ParameterStore, SetParRejectsOtherKindsAndTakesNewKind) {
  ParameterSet set;
  LoadPars("S", &set);
  int32_t i = 4;
  double d = 1.25;
  EXPECT_EQ(SetPar("k", &set, 'x', &i), -1);
  EXPECT_EQ(set.count, 0);
  EXPECT_EQ(SetPar("k", &set, 'd', &i), 0);
  EXPECT_EQ(SetPar("k", &set, 'l', &d), 0);
  EXPECT_EQ(set.count, 1);
  SavePars(&set);
  EXPECT_EQ(Read("S"), "l k\r\n1.25\r\n");
}

TEST_F(ParameterStore, TextsAreCutTo255Bytes) {
  ParameterSet set;
  LoadPars("S", &set);
  std::string big(400, 'a');
  SetPar("t", &set, 's', big.c_str());
  char out[256];
  GetPar("t", 's', out, &set);
  EXPECT_EQ(std::string(out), std::string(255, 'a'));
}

TEST_F(ParameterStore, UnchangedSetIsNotWritten) {
  ParameterSet set;
  LoadPars("U", &set);
  EXPECT_EQ(SavePars(&set), 0);
  EXPECT_EQ(Read("U"), "");  // nothing set: an empty file
  std::filesystem::remove(File("U"));
  EXPECT_EQ(SavePars(&set), 0);  // clean now: no file touched
  EXPECT_FALSE(std::filesystem::exists(File("U")));
}

TEST_F(ParameterStore, FullDiskIsAFailureAndKeepsTheOldFile) {
  Write("W", "d a\r\n1\r\n");
  ParameterSet set;
  LoadPars("W", &set);
  int32_t v = 2;
  SetPar("a", &set, 'd', &v);
  SetPar("long", set, Text1251(200, 'z'));
  // A file size limit makes writes fail like a full disk does, also for root.
  struct rlimit old;
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit tiny = old;
  tiny.rlim_cur = 16;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  int rc = SavePars(&set);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(rc, -1);
  EXPECT_TRUE(set.modified);
  EXPECT_EQ(Read("W"), "d a\r\n1\r\n");
  EXPECT_EQ(SavePars(&set), 0);  // tried again later
  EXPECT_EQ(Read("W").substr(0, 16), "d a\r\n2\r\ns long\r\n");
}

// A FIFO or a link to /dev/zero in place of a parameter file would hang the start or fill the
// memory: it is reported and the set starts empty, as without a file.
TEST_F(ParameterStore, SpecialFileInPlaceOfTheSetIsReportedAndSkipped) {
  ::alarm(60);  // a blocking open ends the test instead of hanging it
  std::filesystem::create_directories(File("F").parent_path());
  ASSERT_EQ(::mkfifo(File("F").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", File("Z"));
  for (const char* name : {"F", "Z"}) {
    SCOPED_TRACE(name);
    g_logged.clear();
    ParameterSet set;
    LoadPars(name, &set);
    EXPECT_EQ(set.count, 0);
    ASSERT_EQ(g_logged.size(), 1u);
    EXPECT_EQ(g_logged[0], std::string("File 'c:\\Tacmon\\pars\\") + name +
                               ".par' is not a regular file; not opened");
  }
  ::alarm(0);
}

TEST_F(ParameterStore, OversizedSetIsReportedAndSkipped) {
  Write("H", "d x\r\n5\r\n");
  std::filesystem::resize_file(File("H"), kParFileMaxBytes + 1);  // sparse: no disk used
  ParameterSet set;
  LoadPars("H", &set);
  EXPECT_EQ(set.count, 0);
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_NE(g_logged[0].find("'c:\\Tacmon\\pars\\H.par' is larger than"), std::string::npos);
}

}  // namespace

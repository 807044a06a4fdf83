// tacmon from start to end: the usage message of "/?" and friends, the first start on empty
// roots (directory tree and default enumeration files), a second start that changes nothing,
// and scripts that fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e/tacmon_run.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::RunResult;
using e2e::TacmonRun;

constexpr const char* kUsageJson =
    R"({"caption":"","text":"Call:\nMechTacmon \n   or in expert mode:\nMechTacmon /p /t /k\n)"
    R"(   p - for extended main window\n   t - for extended receptor test window\n)"
    R"(   k - for output data for mechanic receptor test device (into message window)\n",)"
    R"("answer":""})";

constexpr const char* kUsageText =
    "Call:\nMechTacmon \n   or in expert mode:\nMechTacmon /p /t /k\n"
    "   p - for extended main window\n   t - for extended receptor test window\n"
    "   k - for output data for mechanic receptor test device (into message window)\n";

TEST_F(TacmonRun, HelpSwitchesShowTheUsageAndCreateNothing) {
  for (const char* sw : {"/?", "/h", "-help"}) {
    RunResult r = Run("usage.tacmon", {sw});
    EXPECT_EQ(r.status, 0) << sw << ": " << r.err;
    std::string json = ReadFile(dir_ / "usage.json");
    EXPECT_NE(json.find(kUsageJson), std::string::npos) << sw << ": " << json;
    // The usage box is the only window: no main window was created.
    EXPECT_EQ(json.find("KCDMain"), std::string::npos) << sw;
    EXPECT_NE(r.err.find(kUsageText), std::string::npos) << sw << ": " << r.err;
    EXPECT_FALSE(fs::exists(Root())) << sw;
    EXPECT_FALSE(fs::exists(Data())) << sw;
    fs::remove(dir_ / "usage.json");
  }
}

TEST_F(TacmonRun, FirstStartCreatesTheTreeAndTheDefaultEnumerations) {
  RunResult r = Run("plain_start.tacmon");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* d :
       {"data", "data/DB", "data/DB_doc", "data/DB_op", "data/DB_push", "root", "root/ArchiveDB",
        "root/Logs", "root/DB", "root/OPERATIONS", "root/ENUMS", "root/DVP", "root/ENUMS/ORGAN"})
    EXPECT_TRUE(fs::is_directory(dir_ / d)) << d;
  const std::pair<const char*, const char*> files[] = {
      {"organs.txt", "1 org1\r\n2 org2\r\n3 organ3\r\n4 organ4\r\n5 other\r\n"},
      {"1.txt", "other\r\norg1-d1\r\norg1-d2\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n"},
      {"2.txt", "other\r\norg2-d1\r\norg2-d2\r\norg2-d3\r\n"},
      {"3.txt",
       "other\r\norg3-d1\r\norg3-d2\r\norg3-d3\r\norg3-d4\r\norg3-d5\r\norg3-d6\r\norg3-d7\r\n"
       "org3-d8\r\n"},
      {"4.txt",
       "other\r\norg4-d1\r\norg4-d2\r\norg4-d3\r\norg4-d4\r\norg4-d5\r\norg_4-d1\r\norg_4-d2\r\n"
       "org_4-d3\r\norg_4-d4\r\norg_4-d5\r\n"},
      {"5.txt",
       "other\r\norg5-d1\r\norg5-d2\r\norg5-d3\r\norg5-d4\r\norg5-d5\r\norg5-d6\r\norg5-d7\r\n"},
  };
  for (const auto& [name, text] : files)
    EXPECT_EQ(ReadFile(Root() / "ENUMS" / "ORGAN" / name), text) << name;
  size_t enumFiles = 0;
  for (const auto& e : fs::directory_iterator(Root() / "ENUMS" / "ORGAN")) {
    (void)e;
    ++enumFiles;
  }
  EXPECT_EQ(enumFiles, 6u);

  std::string json = ReadFile(dir_ / "main.json");
  EXPECT_NE(
      json.find(
          R"({"class":"KCDMain","template":142,"caption":"Механорецептор","visible":true,"active":true,"modal":true)"),
      std::string::npos)
      << json;
  EXPECT_NE(json.find(R"({"id":1,"kind":"button","text":"Выйти","visible":true,"enabled":true)"),
            std::string::npos);
  EXPECT_TRUE(fs::file_size(dir_ / "main.png") > 100);
}

TEST_F(TacmonRun, SecondStartChangesNothing) {
  ASSERT_EQ(Run("plain_start.tacmon").status, 0);
  auto before = Tree();
  ASSERT_FALSE(before.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a rewrite would show in mtimes
  RunResult r = Run("plain_start.tacmon", {"/p", "/k"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto after = Tree();
  EXPECT_EQ(before, after);
}

TEST_F(TacmonRun, ADeletedOrganListBringsBackAllSixDefaults) {
  ASSERT_EQ(Run("plain_start.tacmon").status, 0);
  fs::path organ = Root() / "ENUMS" / "ORGAN";
  std::ofstream(organ / "1.txt", std::ios::binary) << "edited\r\n";
  ASSERT_EQ(Run("plain_start.tacmon").status, 0);
  EXPECT_EQ(ReadFile(organ / "1.txt"), "edited\r\n");  // the organ list is there: kept
  fs::remove(organ / "organs.txt");
  ASSERT_EQ(Run("plain_start.tacmon").status, 0);
  EXPECT_EQ(ReadFile(organ / "1.txt"),
            "other\r\norg1-d1\r\norg1-d2\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n");
  EXPECT_TRUE(fs::exists(organ / "organs.txt"));
}

TEST_F(TacmonRun, WindowsAddTheirCommandsToTheProgram) {
  const std::string push = std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh";
  RunResult r = Run("viewer " + push + "\ndump viewer.json\nquit\n");
  if (r.err.find("unknown command 'viewer'") != std::string::npos)
    GTEST_SKIP() << "tacmon is built without the push viewer";
  EXPECT_EQ(r.status, 0) << r.err;
  std::string json = ReadFile(dir_ / "viewer.json");
  EXPECT_NE(json.find(R"({"class":"CtacmonDlg","template":102,)"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("class":"KCDMain")"), std::string::npos);
}

TEST_F(TacmonRun, ADatabaseThatCannotOpenIsReportedAndTheHubGoesOn) {
  fs::create_directories(Data());
  std::ofstream(Data() / "DB") << "not a folder";  // the patients' database cannot open
  RunResult r = Run("answer OK\nwait 20\ndump hub.json\nclick 1\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string json = ReadFile(dir_ / "hub.json");
  EXPECT_NE(
      json.find(
          R"({"caption":"","text":"Не удается инициализировать базу данных пациентов","answer":"OK"})"),
      std::string::npos)
      << json;
  EXPECT_EQ(json.find("Не удается инициализировать базу данных нажатий"), std::string::npos);
  EXPECT_NE(
      json.find(R"("class":"KCDMain","template":142,"caption":"Механорецептор","visible":true)"),
      std::string::npos);
}

// FIFOs and links to /dev/zero in place of the files read at the start (the hub's parameter
// set, the message log and its window place, the font record) are refused without waiting on
// them: the hub comes up and the run ends normally.
TEST_F(TacmonRun, SpecialFilesInTheDataFoldersNeverHangTheStart) {
  for (const char* d : {"pars", "Logs"}) fs::create_directories(Root() / d);
  ASSERT_EQ(mkfifo((Root() / "pars" / "KCDMain.par").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((Root() / "Logs" / "LogFile2.log").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", Root() / "Logs" / "logplace.bin");
  fs::create_symlink("/dev/zero", Root() / "pars" / "DefaultLogFont.bin");
  RunResult r = Run("wait 10\ndump hub.json\nclick 1\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadFile(dir_ / "hub.json").find(R"("class":"KCDMain","template":142)"),
            std::string::npos);
  EXPECT_NE(r.err.find("log file 'c:\\Tacmon\\Logs\\LogFile2.log' is not a regular file"),
            std::string::npos)
      << r.err;
}

TEST_F(TacmonRun, QuitEndsTheRunNormally) {
  RunResult r = Run("wait 10\nquit\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(Root() / "ENUMS" / "ORGAN" / "organs.txt"));
}

TEST_F(TacmonRun, AFailingScriptLineEndsTheRunWithItsLineNumber) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"wait 10\nfrobnicate now\nclick 1\n", ":2: unknown command 'frobnicate'"},
      {"click 4242\n", ":1: no control 4242 in window 142"},
  };
  for (const auto& c : cases) {
    RunResult r = Run(c.script);
    EXPECT_EQ(r.status, 1) << c.script;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.script << " -> " << r.err;
  }
}

}  // namespace

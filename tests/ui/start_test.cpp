// The command line switches and the directory bootstrap's default files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/main/app_start.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

struct SwitchCase {
  std::vector<const char*> args;
  int usages;
  bool usageShown, extendedMain, extendedTest, testerMessages;
};

TEST(CommandLine, SwitchTable) {
  const SwitchCase cases[] = {
      {{"/?"}, 1, true, false, false, false},
      {{"/h"}, 1, true, false, false, false},
      {{"-help"}, 1, true, false, false, false},
      {{"/H"}, 1, true, false, false, false},
      {{"/?", "/h"}, 2, true, false, false, false},  // one usage per help switch
      {{"/??"}, 0, false, false, false, false},
      {{"/p"}, 0, false, true, false, false},
      {{"/P"}, 0, false, true, false, false},
      {{"/px"}, 0, false, false, false, false},
      {{"/Px"}, 0, false, true, false, false},
      {{"/Print"}, 0, false, true, false, false},
      {{"/p", "/k"}, 0, false, true, false, true},
      {{"-t"}, 0, false, false, true, false},
      {{"/Tx", "/Kx"}, 0, false, false, true, true},
      {{"/tk"}, 0, false, false, false, false},
      {{"/\"p\""}, 0, false, true, false, false},  // the letter p between double quotes
      {{"/\"?\""}, 1, true, false, false, false},
      {{"/\""}, 0, false, false, false, false},    // a lone quote: nothing, and no underflow
      {{"/\"\""}, 0, false, false, false, false},  // empty after its quotes
      {{"/"}, 0, false, false, false, false},
      {{"p", "h", "file.txt"}, 0, false, false, false, false},  // not switches
  };
  for (const auto& c : cases) {
    StartValues v;
    int usages = 0;
    CMyCommandLineInfo info(v, [&] { ++usages; });
    std::vector<const char*> argv = {"tacmon"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    info.ParseCommandLine(int(argv.size()), argv.data());
    std::string what = c.args.empty() ? "" : c.args[0];
    EXPECT_EQ(usages, c.usages) << what;
    EXPECT_EQ(v.usageShown, c.usageShown) << what;
    EXPECT_EQ(v.extendedMainWindow, c.extendedMain) << what;
    EXPECT_EQ(v.extendedTestWindow, c.extendedTest) << what;
    EXPECT_EQ(v.testerMessages, c.testerMessages) << what;
  }
}

TEST(CommandLine, UsageTextNamesTheProgramTwice) {
  EXPECT_EQ(UsageText(),
            "Call:\nMechTacmon \n   or in expert mode:\nMechTacmon /p /t /k\n"
            "   p - for extended main window\n"
            "   t - for extended receptor test window\n"
            "   k - for output data for mechanic receptor test device (into message window)\n");
}

class Bootstrap : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bootstrapXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TACMON_ROOT", (dir_ + "/root").c_str(), 1);
    setenv("TACMON_DATA", (dir_ + "/data").c_str(), 1);
    winpath::ReloadRoots();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const std::string& rel) {
    std::string s;
    EXPECT_TRUE(ReadWholeFile(dir_ + "/root/ENUMS/ORGAN/" + rel, s)) << rel;
    return s;
  }
  std::string dir_;
};

TEST_F(Bootstrap, CreatesTheTreeAndTheDefaultEnumerationsOnce) {
  CreateDatabaseFolders();
  CreateDataTree();
  for (const char* d :
       {"data/DB", "data/DB_doc", "data/DB_op", "data/DB_push", "root/ArchiveDB", "root/Logs",
        "root/DB", "root/OPERATIONS", "root/ENUMS", "root/DVP", "root/ENUMS/ORGAN"})
    EXPECT_TRUE(fs::is_directory(dir_ + "/" + d)) << d;
  EXPECT_EQ(WriteDefaultEnumerations(), 6);
  EXPECT_EQ(Read("organs.txt"), "1 org1\r\n2 org2\r\n3 organ3\r\n4 organ4\r\n5 other\r\n");
  EXPECT_EQ(Read("1.txt"), "other\r\norg1-d1\r\norg1-d2\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n");
  EXPECT_EQ(Read("4.txt"),
            "other\r\norg4-d1\r\norg4-d2\r\norg4-d3\r\norg4-d4\r\norg4-d5\r\norg_4-d1\r\n"
            "org_4-d2\r\norg_4-d3\r\norg_4-d4\r\norg_4-d5\r\n");

  // With the organ list present an edited diagnosis file stays.
  ASSERT_EQ(WriteWholeFile("c:\\Tacmon\\ENUMS\\ORGAN\\1.txt", "edited\r\n"), 0);
  EXPECT_EQ(WriteDefaultEnumerations(), 0);
  EXPECT_EQ(Read("1.txt"), "edited\r\n");

  // Without it all six are written again, replacing the edits.
  ASSERT_TRUE(fsw::RemoveFile("c:\\Tacmon\\ENUMS\\ORGAN\\organs.txt"));
  EXPECT_EQ(WriteDefaultEnumerations(), 6);
  EXPECT_EQ(Read("1.txt"), "other\r\norg1-d1\r\norg1-d2\r\norg1-d3\r\norg1-d4\r\norg1-d5\r\n");
}

TEST_F(Bootstrap, AMissingOrganFolderSkipsTheFilesQuietly) {
  // No tree: the files cannot be opened and are skipped.
  EXPECT_EQ(WriteDefaultEnumerations(), 0);
  EXPECT_FALSE(fs::exists(dir_ + "/root/ENUMS"));
}

}  // namespace

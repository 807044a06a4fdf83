// The operation lists with the real program: an operation recorded on tacprobe (a pty linked as
// COM3) and operation folders made from it are listed by the hub's buttons 1005 and 1011 with
// filters, loaded into the operation window, copied into the stationary database and back
// ("GL_...", "_v2"), and deleted many at a time; a row text edited into "..\.." deletes nothing
// outside "OPERATIONS\", a link inside a folder is never followed, and a folder that cannot be
// deleted stays listed with its message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "e2e/sim_process.h"
#include "platform/cp1251.h"
#include "recording/operation_files.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;

// Makes a file immutable (or mutable again): even root cannot remove it or its folder then.
bool SetImmutable(const fs::path& file, bool on) {
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

class OperationListsE2E : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    WriteSettingsFile(e2e::SettingsText({
        {"l DtShowVideo", "0.05"},
        {"d NumCOMPort", "3"},
        {"d NumDevice", "5"},
        {"d set_use_MechDisplay", "0"},
        {"d set_autoconnect", "0"},
        {"d SetAutoRecord", "0"},
        {"d set_use_db_autosave", "0"},
        {"d receptor_data_format", "1"},
        {"d set_output_all_data_into_text_file", "0"},
    }));
    InstallProbePassport();
  }
  void TearDown() override {
    if (!immutable_.empty()) SetImmutable(immutable_, false);
    if (!readOnly_.empty()) fs::permissions(readOnly_, fs::perms::owner_all);
    SimRun::TearDown();
  }

  // "/p": the hub's extended buttons.
  void RunOk(const std::string& script) { SimRun::RunOk(script, {"/p"}); }
  fs::path Ops() const { return Root() / "OPERATIONS"; }
  std::vector<std::string> Folders() const {
    std::vector<std::string> out;
    for (const fs::path& f : Operations()) out.push_back(f.filename());
    return out;
  }
  static size_t Pushes(const fs::path& folder) { return e2e::Files(folder, ".psh").size(); }
  // The rows of list 1004 of the list dialog dumped into file.
  std::vector<std::string> Rows(const char* file, const char* dialog) const {
    return e2e::Controls(ReadFile(dir_ / file), dialog).at(1004).items;
  }
  // A copy of the recorded operation under another name, described anew.
  void CopyOperation(const fs::path& from, const std::string& name, int organ, const char* family) {
    fs::copy(from, Ops() / name, fs::copy_options::recursive);
    OperationDescription d;
    d.familyName = Utf8ToCp1251(family);
    d.organId = organ;
    d.cardNumber = "K" + std::to_string(organ);
    ASSERT_EQ(recording::WritePatientFile(d, "c:\\Tacmon\\OPERATIONS\\" + name + "\\patient.bin"),
              0);
  }

  fs::path immutable_;
  fs::path readOnly_;
};

TEST_F(OperationListsE2E, RecordedOperationsAreListedLoadedCopiedBothWaysAndDeleted) {
  // 1. One operation with one push, recorded from the simulated probe.
  StartProbe("rest:600");
  RunOk(
      "click 1000\ntext 1001 Иванова\ntext 1002 Анна\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 2000\nclick 1010\nwait 1800\nclick 1011\nwait 300\n"
      "click 1013\nwait 300\nactivate 143\nclick 1\nanswer OK\nwait 200\nclick 1\n");
  StopProbe();
  ASSERT_EQ(Folders().size(), 1u);
  const std::string recorded = Folders()[0];
  ASSERT_EQ(Pushes(Ops() / recorded), 1u) << Log();

  // Folders made from it: two more recorded ones, one copied from the stationary database, one
  // holding a link to a folder outside, one that cannot be deleted.
  CopyOperation(Ops() / recorded, "2020.01.02_10-00", 1, "Петров");
  CopyOperation(Ops() / recorded, "2020.01.01_10-00", 2, "Сидоров");
  CopyOperation(Ops() / recorded, "GL_2020.02.02_02-02-02", 3, "Копия");
  fs::create_directories(dir_ / "outside");
  std::ofstream(dir_ / "outside" / "keep.txt") << "stays";
  fs::create_directories(Ops() / "2019.05.05_05-05");
  fs::create_directory_symlink(dir_ / "outside", Ops() / "2019.05.05_05-05" / "link");
  fs::create_directories(Ops() / "2019.04.04_04-04");
  std::ofstream(Ops() / "2019.04.04_04-04" / "pinned.psh") << "x";
  if (geteuid() == 0) {
    if (!SetImmutable(Ops() / "2019.04.04_04-04" / "pinned.psh", true))
      GTEST_SKIP() << "no way to make a folder undeletable here";
    immutable_ = Ops() / "2019.04.04_04-04" / "pinned.psh";
  } else {
    fs::permissions(Ops() / "2019.04.04_04-04", fs::perms::owner_read | fs::perms::owner_exec);
    readOnly_ = Ops() / "2019.04.04_04-04";
  }

  // 2. The lists of both kinds, one filtered by an organ.
  RunOk(
      "click 1005\nwait 200\ndump local.json\nselect 1005 1\ndump org1.json\nclick 2\n"
      "click 1011\nwait 200\ndump copied.json\nclick 2\nclick 1\n");
  const auto local = Rows("local.json", "KCD_ListWithNumberOperationsLocal");
  ASSERT_EQ(local.size(), 5u);
  EXPECT_EQ(local[0], "1: " + recorded + " (: Анна  Иванова; ) 1 нажатие");
  EXPECT_EQ(local[1], "2: 2020.01.02_10-00 (K1:   Петров; org1) 1 нажатие");
  EXPECT_EQ(local[2], "3: 2020.01.01_10-00 (K2:   Сидоров; org2) 1 нажатие");
  EXPECT_EQ(local[3], "4: 2019.05.05_05-05 (:   ; )  ");
  EXPECT_EQ(local[4], "5: 2019.04.04_04-04 (:   ; ) 1 нажатие");
  EXPECT_EQ(Rows("org1.json", "KCD_ListWithNumberOperationsLocal"),
            (std::vector<std::string>{"2: 2020.01.02_10-00 (K1:   Петров; org1) 1 нажатие"}));
  EXPECT_EQ(
      Rows("copied.json", "KCD_ListWithNumberOperationsLocal"),
      (std::vector<std::string>{"1: GL_2020.02.02_02-02-02 (K3:   Копия; organ3) 1 нажатие"}));

  // 3. Loaded into the operation window; the recorded one copied into the stationary database.
  RunOk(
      "click 1005\nselect 1004 1\nclick 1\nwait 500\nactivate 143\ndump window.json\nclick 1\n"
      "wait 200\nsave-local-operation ..\nwait 300\n"
      "click 1005\nselect 1004 0\nmenu 32798\nwait 800\nclick 1\n");
  EXPECT_NE(ReadFile(dir_ / "window.json").find("Запись операции <2020.01.02_10-00>"),
            std::string::npos);
  EXPECT_NE(Log().find("Недопустимое имя папки операции: .."), std::string::npos) << Log();
  EXPECT_FALSE(fs::exists(Data() / "DB_op" / "2")) << "the refused name added nothing";
  const std::string op = ReadFile(Data() / "DB_op" / "1" / "OperationData");
  EXPECT_NE(op.find(Utf8ToCp1251("Иванова")), std::string::npos) << Log();
  EXPECT_NE(Log().find("Операция " + recorded +
                       " занесена в стационарную базу данных (ID=1), "
                       "нажатий: 1 из 1"),
            std::string::npos)
      << Log();

  // 4. The stationary list: copied into the local database twice ("GL_...", then "_v2").
  RunOk(
      "click 1006\nwait 200\ndump stationary.json\nselect 1004 0\nmenu 32798\nwait 500\n"
      "activate 143\nclick 1\nwait 200\nclick 1006\nselect 1004 0\nclick 1\nwait 300\n"
      "click 1000\nwait 500\nactivate 143\nclick 1\nwait 200\nclick 1\n");
  const auto stationary = Rows("stationary.json", "KCD_ListWithNumberOperationsGlobal");
  ASSERT_EQ(stationary.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      stationary[0], std::regex(R"(1: \d{4}\.\d\d\.\d\d_\d\d-\d\d-\d\d \(: Анна  Иванова; \))")))
      << stationary[0];
  std::vector<std::string> gl;
  for (const std::string& f : Folders())
    if (f.rfind("GL_", 0) == 0 && f != "GL_2020.02.02_02-02-02") gl.push_back(f);
  ASSERT_EQ(gl.size(), 2u) << Log();
  EXPECT_EQ(gl[1], gl[0] + "_v2");
  EXPECT_EQ(Pushes(Ops() / gl[0]), 1u);
  EXPECT_EQ(Pushes(Ops() / gl[1]), 1u);

  // 5. Deleting: a row edited into "..\.." removes only its own folder (not the link's
  // target); then four at once, the pinned one stays listed with its message; then the
  // stationary operation.
  RunOk(
      "click 1005\nwait 200\nselect 1004 3\ntext 1001 ..\\..\nmenu 32797\nanswer OK\nwait 300\n"
      "dump crafted.json\nselect-rows 1004 0 1 2 3\nmenu 32797\nanswer OK\nwait 500\n"
      "dump many.json\nclick 2\nclick 1006\nselect 1004 0\nmenu 32797\nanswer OK\nwait 300\n"
      "dump stationary_after.json\nclick 2\nclick 1\n");
  EXPECT_EQ(Rows("crafted.json", "KCD_ListWithNumberOperationsLocal").size(), 4u);
  EXPECT_EQ(ReadFile(dir_ / "outside" / "keep.txt"), "stays") << "the link was not followed";
  EXPECT_TRUE(fs::exists(Root() / "pars" / "KCDMain.par"));
  EXPECT_TRUE(fs::exists(Data() / "DB_op"));
  EXPECT_EQ(Rows("many.json", "KCD_ListWithNumberOperationsLocal"),
            (std::vector<std::string>{"5: 2019.04.04_04-04 (:   ; ) 1 нажатие"}));
  EXPECT_NE(Log().find("Не удается уничтожить операцию 2019.04.04_04-04"), std::string::npos)
      << Log();
  std::vector<std::string> left;
  for (const std::string& f : Folders())
    if (f.rfind("GL_", 0) != 0) left.push_back(f);
  EXPECT_EQ(left, (std::vector<std::string>{"2019.04.04_04-04"}));
  EXPECT_TRUE(Rows("stationary_after.json", "KCD_ListWithNumberOperationsGlobal").empty());
  EXPECT_FALSE(fs::exists(Data() / "DB_op" / "1"));
}

}  // namespace

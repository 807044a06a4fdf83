// The message window in the running program, driven by the automation: messages reported
// from a script reach the window's list (seen in the dump), the warnings switch and a corner
// button work, and the docking file is written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "tests/support/scratch_roots.h"

namespace {

std::string BinDir() {
  const char* env = std::getenv("TACMON_BIN");
  return env && *env ? env : TACMON_BIN_DIR;
}

int RunTacmon(const std::filesystem::path& script) {
  const std::string bin = BinDir() + "/tacmon";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TACMON_SCRIPT", script.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) ::setenv("XDG_RUNTIME_DIR", "/tmp", 1);
    ::execl(bin.c_str(), bin.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The "items" of control id in window 131 of a dump.
std::string ListOf(const std::string& dump) {
  const size_t w = dump.find("\"template\":131");
  if (w == std::string::npos) return "";
  const size_t c = dump.find("\"id\":1004", w);
  const size_t i = dump.find("\"items\":[", c);
  if (c == std::string::npos || i == std::string::npos) return "";
  // Items are quoted texts; the array ends at the first ']' outside quotes.
  bool quoted = false;
  for (size_t k = i + 9; k < dump.size(); ++k) {
    if (dump[k] == '\\')
      ++k;
    else if (dump[k] == '"')
      quoted = !quoted;
    else if (dump[k] == ']' && !quoted)
      return dump.substr(i + 9, k - i - 9);
  }
  return "";
}

}  // namespace

TEST(MessageWindowProgram, ScriptedRunShowsTheLogInTheWindow) {
  if (!std::filesystem::exists(std::filesystem::path(BinDir()) / "tacmon"))
    GTEST_SKIP() << "tacmon is not built";
  ScratchRoots roots;
  const auto dir = roots.base();
  WriteBytes(dir / "script.txt",
             "wait 200\n"
             "log-message MechReceptor: Can't connect\n"
             "log-message \x04quiet one\n"
             "message-window 5\n"
             "wait 300\n"
             "activate 131\n"
             "dump " +
                 (dir / "d1.json").string() +
                 "\n"
                 "click 124\n"
                 "wait 200\n"
                 "dump " +
                 (dir / "d2.json").string() +
                 "\n"
                 "click 1\n"
                 "wait 200\n"
                 "quit\n");
  ASSERT_EQ(RunTacmon(dir / "script.txt"), 0);
  const std::regex stamp(R"(  \[date=\d+\.\d+;time=\d+\.\d+\.\d+\])");
  const std::string list = std::regex_replace(ListOf(ReadBytes(dir / "d1.json")), stamp, "  [S]");
  // Newest first: the two messages of the script, then what the hub logged at its start.
  EXPECT_EQ(list.rfind("\"quiet one  [S]\",\"MechReceptor: Can't connect  [S]\",", 0), 0u) << list;
  EXPECT_NE(ReadBytes(dir / "d1.json").find("\"class\":\"CKD_MessageBox\""), std::string::npos);
  EXPECT_EQ(ReadBytes(roots.data() / "Logs" / "logplace.bin"), "301\r\n4\r\n");
  const std::string log = ReadBytes(roots.data() / "Logs" / "LogFile2.log");
  EXPECT_NE(log.find("MechReceptor: Can't connect  [date="), std::string::npos);
}

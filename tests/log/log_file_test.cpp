// The log file writer: CR LF lines, the cut to the newest 9999 lines, and changes made by
// others between two messages.
#include "app/log/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/log/log_format.h"
#include "tests/support/scratch_roots.h"

using msglog::LogFileWriter;

namespace {

std::string Lines(int from, int to) {  // "L<from>\r\n" .. "L<to-1>\r\n"
  std::string s;
  for (int i = from; i < to; ++i) s += "L" + std::to_string(i) + "\r\n";
  return s;
}

}  // namespace

TEST(LogFile, AppendsCrLfLinesAndCreatesTheFile) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "Logs");
  LogFileWriter w;
  w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
  EXPECT_EQ(w.LineCount(), 0);
  ASSERT_EQ(w.AppendLines("B  [s]\nA\n"), 0);
  ASSERT_EQ(w.AppendLines("C\n"), 0);
  EXPECT_EQ(ReadBytes(roots.data() / "Logs" / "LogFile2.log"), "B  [s]\r\nA\r\nC\r\n");
  EXPECT_EQ(w.LineCount(), 3);
}

TEST(LogFile, MoreThan10000LinesAreCutToTheNewest9999BeforeTheNextMessage) {
  ScratchRoots roots;
  const auto host = roots.data() / "Logs" / "LogFile2.log";
  struct Case {
    int linesBefore;
    std::string after;  // expected file after one appended line "new"
  } cases[] = {
      {10000, Lines(0, 10000) + "new\r\n"},  // not more than 10000: no cut
      {10001, Lines(2, 10001) + "new\r\n"},  // newest 9999, then the message
      {10500, Lines(501, 10500) + "new\r\n"},
  };
  for (const auto& c : cases) {
    WriteBytes(host, Lines(0, c.linesBefore));
    LogFileWriter w;
    w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
    ASSERT_EQ(w.AppendLines("new\n"), 0);
    EXPECT_EQ(ReadBytes(host), c.after) << c.linesBefore;
    EXPECT_FALSE(std::filesystem::exists(host.string() + "__"));
  }
}

TEST(LogFile, SteadyStateKeepsTheFileAtItsLimit) {
  ScratchRoots roots;
  const auto host = roots.data() / "Logs" / "LogFile2.log";
  WriteBytes(host, Lines(0, 9990));
  LogFileWriter w;
  w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
  for (int i = 9990; i < 10040; ++i) ASSERT_EQ(w.AppendLines("L" + std::to_string(i) + "\n"), 0);
  // After every cut the file holds 9999 + 1 lines, then grows to 10001 before the next cut.
  std::string bytes = ReadBytes(host);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 10000);
  EXPECT_EQ(bytes, Lines(40, 10040));
  EXPECT_EQ(w.LineCount(), 10000);
}

TEST(LogFile, ChangesByOthersAreNoticed) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "Logs");
  const auto host = roots.data() / "Logs" / "LogFile2.log";
  LogFileWriter w;
  w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
  ASSERT_EQ(w.AppendLines("first\n"), 0);
  // Someone else rewrites the file with 10001 lines: the next message cuts it.
  WriteBytes(host, Lines(0, 10001));
  ASSERT_EQ(w.AppendLines("new\n"), 0);
  EXPECT_EQ(ReadBytes(host), Lines(2, 10001) + "new\r\n");
  // Deleted: it starts again empty.
  std::filesystem::remove(host);
  ASSERT_EQ(w.AppendLines("again\n"), 0);
  EXPECT_EQ(ReadBytes(host), "again\r\n");
}

TEST(LogFile, PartialLastLineIsKeptByTheCut) {
  ScratchRoots roots;
  const auto host = roots.data() / "Logs" / "LogFile2.log";
  WriteBytes(host, Lines(0, 10001) + "tail");
  LogFileWriter w;
  w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
  ASSERT_EQ(w.AppendLines("new\n"), 0);
  EXPECT_EQ(ReadBytes(host), Lines(2, 10001) + "tailnew\r\n");
}

TEST(LogFile, ReadPiecesSplitsLongLinesAt1022Bytes) {
  ScratchRoots roots;
  const auto host = roots.data() / "Logs" / "LogFile2.log";
  WriteBytes(host, "short\r\n" + std::string(1030, 'x') + "\r\nend\r\n");
  LogFileWriter w;
  w.SetPath("c:\\Tacmon\\Logs\\LogFile2.log");
  std::vector<Text1251> pieces;
  ASSERT_TRUE(w.ReadPieces(pieces));
  EXPECT_EQ(pieces,
            (std::vector<Text1251>{"short", std::string(1022, 'x'), std::string(8, 'x'), "end"}));
  w.SetPath("c:\\Tacmon\\Logs\\missing.log");
  EXPECT_FALSE(w.ReadPieces(pieces));
}

// A FIFO or a link to /dev/zero in place of the log file would block every message or read
// without end: the writer refuses it at once, says so once on standard error (the log cannot
// report into itself) and the messages stay out of the file.
TEST(LogFile, SpecialFileInPlaceOfTheLogIsRefusedAtOnce) {
  ScratchRoots roots;
  ::alarm(60);  // a blocking open ends the test instead of hanging it
  const auto logs = roots.data() / "Logs";
  std::filesystem::create_directories(logs);
  ASSERT_EQ(::mkfifo((logs / "fifo.log").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", logs / "zero.log");
  std::filesystem::create_symlink("/dev/zero", logs / "logplace.bin");
  for (const char* name : {"fifo.log", "zero.log"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string("c:\\Tacmon\\Logs\\") + name;
    testing::internal::CaptureStderr();
    LogFileWriter w;
    w.SetPath(path);
    EXPECT_EQ(w.AppendLines("A\n"), -1);
    EXPECT_EQ(w.AppendRaw("B\n"), -1);
    EXPECT_EQ(w.LineCount(), -1);
    std::vector<Text1251> pieces;
    EXPECT_FALSE(w.ReadPieces(pieces));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "tacmon: log file '" + path + "' is not a regular file; messages stay out of it\n");
  }
  EXPECT_EQ(msglog::ReadLogPlace("c:\\Tacmon\\Logs\\logplace.bin"), 0);
  ::alarm(0);
}

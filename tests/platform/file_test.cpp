#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/report.h"
#include "support/scratch_roots.h"

TEST(TextMode, WritesCrLfAndReadsBothLineEnds) {
  ScratchRoots roots;
  {
    File f("c:\\Tacmon\\t.txt", "w");
    ASSERT_TRUE(f);
    f.Printf("a %d\n", 1);
    f.Puts("b\n\nc");
    EXPECT_EQ(f.Close(), 0);
  }
  EXPECT_EQ(ReadBytes(roots.data() / "t.txt"), "a 1\r\nb\r\n\r\nc");
  WriteBytes(roots.data() / "mixed.txt", "one\r\ntwo\nthree\rfour\r\n");
  File f("c:\\Tacmon\\mixed.txt", "rt");
  std::string line;
  std::vector<std::string> lines;
  while (f.GetLine(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three\rfour"}));
}

TEST(TextMode, GetsKeepsTheLineEndLikeFgets) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "g.txt", "abcdef\r\nxy\r\n");
  File f("c:\\Tacmon\\g.txt", "r");
  char buf[5];
  ASSERT_TRUE(f.Gets(buf, sizeof buf));
  EXPECT_STREQ(buf, "abcd");
  ASSERT_TRUE(f.Gets(buf, sizeof buf));
  EXPECT_STREQ(buf, "ef\n");
  ASSERT_TRUE(f.Gets(buf, sizeof buf));
  EXPECT_STREQ(buf, "xy\n");
  EXPECT_EQ(f.Gets(buf, sizeof buf), nullptr);
}

TEST(BinaryMode, BytesPassUnchanged) {
  ScratchRoots roots;
  std::string bytes("\r\n\n\r\0\x1a", 6);
  ASSERT_EQ(WriteWholeFile("c:\\Tacmon\\b.bin", bytes), 0);
  std::string back;
  ASSERT_TRUE(ReadWholeFile("c:\\Tacmon\\b.bin", back));
  EXPECT_EQ(back, bytes);
}

TEST(SafeWrite, ReplacesOnlyOnCommit) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "p.par", "old");
  {
    SafeFile f("c:\\Tacmon\\p.par", "w");
    ASSERT_TRUE(f);
    f.Puts("new\n");
    EXPECT_EQ(ReadBytes(roots.data() / "p.par"), "old");
    // No commit: abandoned.
  }
  EXPECT_EQ(ReadBytes(roots.data() / "p.par"), "old");
  {
    SafeFile f("c:\\Tacmon\\p.par", "w");
    f.Puts("new\n");
    EXPECT_EQ(f.Commit(), 0);
  }
  EXPECT_EQ(ReadBytes(roots.data() / "p.par"), "new\r\n");
  // No temporary files are left behind.
  int n = 0;
  for (auto& e : std::filesystem::directory_iterator(roots.data())) n += e.is_regular_file();
  EXPECT_EQ(n, 1);
}

TEST(SafeWrite, FailedWriteReportsAndKeepsOldFile) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "p.bin", "old");
  struct rlimit old, tiny;
  ::getrlimit(RLIMIT_FSIZE, &old);
  tiny = old;
  tiny.rlim_cur = 100;
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  int rc = WriteWholeFile("c:\\Tacmon\\p.bin", std::string(10000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(ReadBytes(roots.data() / "p.bin"), "old");
}

TEST(SafeWrite, MissingFolderFailsToOpen) {
  ScratchRoots roots;
  SafeFile f("c:\\Tacmon\\nope\\x.par", "w");
  EXPECT_FALSE(f);
  EXPECT_EQ(f.Commit(), -1);
}

TEST(TextMode, AFolderIsNoFile) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "DVP" / "x.dvp");
  File f("c:\\Tacmon\\DVP\\x.dvp", "rt");
  EXPECT_FALSE(f);
  std::string out;
  EXPECT_FALSE(ReadWholeFile("c:\\Tacmon\\DVP\\x.dvp", out, true));
  EXPECT_FALSE(ReadWholeFile("c:\\Tacmon\\DVP\\x.dvp", out, false));
}

namespace {
std::vector<std::string> g_reports;
void CaptureReport(const char* text) { g_reports.emplace_back(text); }
}  // namespace

// A FIFO or a link to a device in place of a data file is refused at once by every mode (a plain
// open would wait for a writer or read without end) and reported, unless the opener is quiet.
TEST(RegularFilesOnly, FifoAndDeviceAreRefusedAtOnceAndReported) {
  ScratchRoots roots;
  ::alarm(60);  // a blocking open ends the test instead of hanging it
  ASSERT_EQ(::mkfifo((roots.data() / "fifo.par").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", roots.data() / "zero.par");
  LogSink previous = SetLogSink(&CaptureReport);
  for (const char* name : {"fifo.par", "zero.par"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string("c:\\Tacmon\\") + name;
    for (const char* mode : {"r", "rb", "rt", "r+", "w", "wb", "a"}) {
      g_reports.clear();
      File f;
      EXPECT_FALSE(f.Open(path, mode)) << mode;
      EXPECT_EQ(g_reports,
                std::vector<std::string>{"File '" + path + "' is not a regular file; not opened"})
          << mode;
    }
    File quiet;
    EXPECT_FALSE(quiet.Open(path, "r", kReadLimit, /*quiet=*/true));
    EXPECT_TRUE(quiet.Refused());
    std::string out = "stale";
    g_reports.clear();
    EXPECT_FALSE(ReadWholeFile(path, out, /*textMode=*/true, kReadLimit, /*quiet=*/true));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(g_reports.empty());
  }
  File missing;
  EXPECT_FALSE(missing.Open("c:\\Tacmon\\none.par", "r"));
  EXPECT_FALSE(missing.Refused());
  SetLogSink(previous);
  ::alarm(0);
}

TEST(RegularFilesOnly, ReadsAreBoundedWritesAreNot) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "big.bin", std::string(1000, 'x'));
  const char* path = "c:\\Tacmon\\big.bin";
  LogSink previous = SetLogSink(&CaptureReport);
  g_reports.clear();
  std::string out;
  EXPECT_TRUE(ReadWholeFile(path, out, false, 1000));
  EXPECT_EQ(out.size(), 1000u);
  for (bool text : {false, true}) {
    EXPECT_FALSE(ReadWholeFile(path, out, text, 999));
    EXPECT_TRUE(out.empty());
  }
  File f;
  EXPECT_FALSE(f.Open(path, "r+", 999));
  EXPECT_EQ(g_reports, std::vector<std::string>(
                           3, "File 'c:\\Tacmon\\big.bin' is larger than 999 bytes; not read"));
  EXPECT_TRUE(f.Open(path, "ab", 999));
  EXPECT_EQ(f.Size(), 1000);
  SetLogSink(previous);
}

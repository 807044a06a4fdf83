#include "platform/file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

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

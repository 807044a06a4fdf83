#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/scratch_roots.h"

namespace fs = std::filesystem;

TEST(Paths, ComponentsFollowWindowsRules) {
  struct Case {
    const char* in;
    std::vector<Text1251> out;
  } cases[] = {
      {"enums\\ReceptorInitStrings.txt ", {"enums", "ReceptorInitStrings.txt"}},
      {"a/b\\\\c", {"a", "b", "c"}},
      {"dir.. \\file.", {"dir", "file"}},
      {"..\\x", {"..", "x"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(winpath::Components(c.in), c.out) << c.in;
}

TEST(Paths, RootsMapInAnyCaseAndSeparator) {
  ScratchRoots roots;
  EXPECT_EQ(winpath::Resolve("c:\\Tacmon\\pars\\x.par"), roots.data() / "pars" / "x.par");
  EXPECT_EQ(winpath::Resolve("C:/TACMON/pars/x.par"), roots.data() / "pars" / "x.par");
  EXPECT_EQ(winpath::Resolve("c:\\TacmonData\\DB_op"), roots.database() / "DB_op");
  EXPECT_EQ(winpath::Resolve("C:\\tacmondata"), roots.database());
  // A longer name that merely starts like a root is not the root.
  EXPECT_NE(winpath::Resolve("c:\\TacmonX\\a"), roots.data() / "a");
  EXPECT_EQ(winpath::PortsFolder(), roots.ports());
}

TEST(Paths, ExistingComponentsMatchIgnoringCase) {
  ScratchRoots roots;
  ASSERT_TRUE(fsw::MakeDirectories("c:\\Tacmon\\ENUMS\\ORGAN"));
  EXPECT_EQ(winpath::Resolve("c:\\Tacmon\\enums\\organ\\organs.txt"),
            roots.data() / "ENUMS" / "ORGAN" / "organs.txt");
  // New components are created as spelled.
  EXPECT_EQ(winpath::Resolve("c:\\Tacmon\\enums\\New\\a.txt"),
            roots.data() / "ENUMS" / "New" / "a.txt");
}

TEST(Paths, CyrillicNamesAreUtf8OnDisk) {
  ScratchRoots roots;
  Text1251 name = Text1251("c:\\Tacmon\\OPERATIONS\\") + "Иванов"_cp;
  ASSERT_TRUE(fsw::MakeDirectories(name));
  EXPECT_TRUE(fs::is_directory(roots.data() / "OPERATIONS" / "Иванов"));
  EXPECT_TRUE(fsw::IsDirectory(Text1251("c:\\Tacmon\\operations\\") + "иВАНОВ"_cp));
  auto list = fsw::ListDirectory("c:\\Tacmon\\OPERATIONS\\*");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "Иванов"_cp);
}

TEST(Paths, TrailingBlankNamesTheFileWithout) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "enums" / "ReceptorInitStrings.txt", "x");
  EXPECT_TRUE(fsw::FileExists("c:\\Tacmon\\enums\\ReceptorInitStrings.txt "));
}

TEST(Paths, WildcardsMatchIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.dvp", "Probe7.DVP", true}, {"*.dvp", "a.dvp.bak", false}, {"??.txt", "ab.txt", true},
      {"??.txt", "abc.txt", false},  {"*", "", true},                {"*.*", "noext", true},
      {"a*b*c", "axxbyyc", true},    {"a*b*c", "axxbyy", false},    {"*.psh", "12-00-01.psh", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(winpath::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(Paths, ListingFiltersAndSorts) {
  ScratchRoots roots;
  WriteBytes(roots.data() / "DVP" / "b.dvp", "1");
  WriteBytes(roots.data() / "DVP" / "A.DVP", "22");
  WriteBytes(roots.data() / "DVP" / "c.bin", "3");
  fs::create_directories(roots.data() / "DVP" / "tmp");
  auto list = fsw::ListDirectory("c:\\Tacmon\\dvp\\*.dvp");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "A.DVP");
  EXPECT_EQ(list[0].size, 2);
  EXPECT_EQ(list[1].name, "b.dvp");
  auto all = fsw::ListDirectory("c:\\Tacmon\\DVP\\*");
  EXPECT_EQ(all.size(), 4u);
  EXPECT_TRUE(fsw::ListDirectory("c:\\Tacmon\\missing\\*").empty());
}

TEST(Paths, RemoveTreeNeverFollowsLinks) {
  ScratchRoots roots;
  WriteBytes(roots.base() / "outside" / "keep.txt", "precious");
  WriteBytes(roots.data() / "OPERATIONS" / "op1" / "a.psh", "x");
  fs::create_directory_symlink(roots.base() / "outside", roots.data() / "OPERATIONS" / "op1" / "link");
  EXPECT_TRUE(fsw::RemoveTree("c:\\Tacmon\\operations\\OP1"));
  EXPECT_FALSE(fs::exists(roots.data() / "OPERATIONS" / "op1"));
  EXPECT_EQ(ReadBytes(roots.base() / "outside" / "keep.txt"), "precious");
}

TEST(Paths, FileOperations) {
  ScratchRoots roots;
  EXPECT_TRUE(fsw::MakeDirectory("c:\\Tacmon\\Logs"));
  EXPECT_FALSE(fsw::MakeDirectory("c:\\Tacmon\\logs"));  // exists already (any case)
  WriteBytes(roots.data() / "Logs" / "a.txt", "abc");
  EXPECT_TRUE(fsw::CopyFileTo("c:\\Tacmon\\Logs\\a.txt", "c:\\Tacmon\\Logs\\b.txt", true));
  EXPECT_FALSE(fsw::CopyFileTo("c:\\Tacmon\\Logs\\a.txt", "c:\\Tacmon\\Logs\\b.txt", true));
  EXPECT_TRUE(fsw::CopyFileTo("c:\\Tacmon\\Logs\\a.txt", "c:\\Tacmon\\Logs\\b.txt", false));
  EXPECT_EQ(fsw::FileSize("c:\\Tacmon\\Logs\\B.txt"), 3);
  EXPECT_TRUE(fsw::MoveFileTo("c:\\Tacmon\\Logs\\b.txt", "c:\\Tacmon\\Logs\\c.txt"));
  EXPECT_TRUE(fsw::RemoveFile("c:\\Tacmon\\Logs\\C.TXT"));
  EXPECT_FALSE(fsw::FileExists("c:\\Tacmon\\Logs\\c.txt"));
  EXPECT_EQ(fsw::FileSize("c:\\Tacmon\\Logs\\c.txt"), -1);
  EXPECT_FALSE(fsw::RemoveFile("c:\\Tacmon\\Logs"));  // not a file
}

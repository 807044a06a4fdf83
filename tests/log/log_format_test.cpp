// Formats and list arithmetic of the message log: stamps, reversed lines, control characters,
// the list budget, the reload filter with folding, the detail box, corners.
#include "app/log/log_format.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/scratch_roots.h"

using namespace msglog;

namespace {

std::tm Time(int mon, int day, int h, int m, int s) {
  std::tm t{};
  t.tm_mon = mon - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return t;
}

}  // namespace

TEST(LogFormat, StampAndHeaderUsePlainDecimals) {
  std::tm t = Time(7, 20, 18, 5, 52);
  EXPECT_EQ(FormatStamp(&t), "  [date=7.20;time=18.5.52]");
  EXPECT_EQ(FormatStartHeader(&t), "====----<< Date=7.20; Time=18.5.52>>----===");
  std::tm midnight = Time(1, 1, 0, 0, 0);
  EXPECT_EQ(FormatStamp(&midnight), "  [date=1.1;time=0.0.0]");
  EXPECT_EQ(FormatStamp(nullptr), "  [date=0.0;time=-1.-1.-1]");
}

TEST(LogFormat, FileLinesAreReversedAndFilteredByControlCodes) {
  struct Case {
    const char* stamped;
    const char* file;
    int lines;
  } cases[] = {
      {"A\nB  [s]", "B  [s]\nA\n", 2},
      {"one  [s]", "one  [s]\n", 1},
      {"\x02hidden  [s]", "", 0},             // bit 2: not written
      {"\x04quiet  [s]", "quiet  [s]\n", 1},  // bit 4 only: written
      {"\x06"
       "both  [s]",
       "", 0},
      {"\x01"
       "A\n\x02"
       "B\nC  [s]",
       "C  [s]\nA\n", 2},  // per line
      {"A\n  [s]", "  [s]\nA\n", 2},
      {"  [s]", "  [s]\n", 1},
      {"\x08"
       "eight  [s]",
       "\x08"
       "eight  [s]\n",
       1},  // 8 is not a control code
  };
  for (const auto& c : cases) {
    int n = -1;
    EXPECT_EQ(FileLinesOf(c.stamped, &n), c.file) << c.stamped;
    EXPECT_EQ(n, c.lines) << c.stamped;
  }
}

TEST(LogFormat, EntryLinesGoOnTopInNaturalOrder) {
  MessageList list;
  EXPECT_FALSE(InsertEntry(list, "old"));
  EXPECT_FALSE(InsertEntry(list,
                           "A\n\x03"
                           "B  [s]"));
  EXPECT_TRUE(InsertEntry(list,
                          "\x04"
                          "quiet"));
  EXPECT_TRUE(InsertEntry(list,
                          "\x05"
                          "also quiet"));
  EXPECT_FALSE(InsertEntry(list, "\x02shown, not filed"));
  std::vector<Text1251> got(list.lines.begin(), list.lines.end());
  EXPECT_EQ(got, (std::vector<Text1251>{"shown, not filed", "also quiet", "quiet", "A", "B  [s]",
                                        "old"}));
  EXPECT_EQ(list.insertedCount, 6);
}

TEST(LogFormat, ListIsCutToItsNewestThousandLinesAfterTwoThousand) {
  MessageList list;
  for (int i = 0; i < 2000; ++i) InsertEntry(list, std::to_string(i));
  EXPECT_EQ(list.lines.size(), 2000u);
  EXPECT_EQ(list.insertedCount, 2000);
  InsertEntry(list, "next");
  ASSERT_EQ(list.lines.size(), 1000u);
  EXPECT_EQ(list.lines.front(), "next");
  EXPECT_EQ(list.lines.back(), "1001");
  EXPECT_EQ(list.insertedCount, 1000);
  // The next cut comes after 1000 further lines.
  for (int i = 0; i < 1000; ++i) InsertEntry(list, "x");
  EXPECT_EQ(list.lines.size(), 2000u);
  InsertEntry(list, "y");
  EXPECT_EQ(list.lines.size(), 1000u);
}

TEST(LogFormat, WarningLinesAreRecognised) {
  const Text1251 warn = "Предупреждение"_cp;
  struct Case {
    Text1251 line;
    bool warning;
  } cases[] = {
      {warn + ": x", true},  {" " + warn, true}, {"  " + warn, false}, {"WARNING", true},
      {"warn: x", true},     {"wArN", true},     {"War", false},       {"", false},
      {"[date=1.1]", false}, {"x Warn", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWarningLine(c.line), c.warning) << c.line;
}

TEST(LogFormat, ReloadFoldsRepeatsAndFiltersWarnings) {
  using V = std::vector<Text1251>;
  const Text1251 warn = Text1251("Предупреждение"_cp) + " 1";
  struct Case {
    const char* name;
    V file;  // top of the file first
    bool showWarnings;
    V list;  // top of the list first
  } cases[] = {
      {"newest on top", {"a", "b", "c"}, false, {"c", "b", "a"}},
      // Repeats fold only once the window of ten lines overflows, so a run at the very start
      // of a short file stays as it is.
      {"ten identical lines alone", V(10, "same"), false, V(10, "same")},
      {"alternating pair alone",
       {"A", "B", "A", "B", "A", "B", "A", "B"},
       false,
       {"B", "A", "B", "A", "B", "A", "B", "A"}},
      {"ten identical after others",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
        "r", "r", "r", "r", "r", "r", "r", "r", "r", "r"},
       false,
       {"r", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"}},
      {"alternating pair after others",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
        "A", "B", "A", "B", "A", "B", "A", "B", "A", "B"},
       false,
       {"B", "A", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"}},
      {"period three after others",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "x", "y", "z", "x", "y", "z", "x", "y",
        "z"},
       false,
       {"z", "y", "x", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"}},
      {"period six is kept",
       {"1", "2", "3", "4", "5", "6", "1", "2", "3", "4", "5", "6"},
       false,
       {"6", "5", "4", "3", "2", "1", "6", "5", "4", "3", "2", "1"}},
      {"warning and its [ line hidden", {"a", warn, "[details]", "b"}, false, {"b", "a"}},
      {"warning and its space-[ line hidden", {"a", "Warn x", " [d]", "b"}, false, {"b", "a"}},
      {"line after a warning kept untested", {"Warn 1", "Warn 2", "Warn 3"}, false, {"Warn 2"}},
      {"warnings shown", {"a", warn, "[details]", "b"}, true, {"b", "[details]", warn, "a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReloadList(c.file, c.showWarnings), c.list) << c.name;
}

TEST(LogFormat, ReloadConsidersOnlyTheLast250Lines) {
  std::vector<Text1251> file;
  for (int i = 0; i < 400; ++i) file.push_back(std::to_string(i));
  auto list = ReloadList(file, false);
  ASSERT_EQ(list.size(), 250u);
  EXPECT_EQ(list.front(), "399");
  EXPECT_EQ(list.back(), "150");
}

TEST(LogFormat, DetailTextBreaksAfterSeparatorsAndInsideWideTokens) {
  auto chars = [](std::string_view s) { return static_cast<int>(s.size()); };
  struct Case {
    const char* text;
    int width;
    const char* wrapped;
  } cases[] = {
      {"short text", 20, "short text"},
      {"alpha beta gamma", 11, "alpha beta \r\ngamma"},
      {"alpha   beta", 7, "alpha  \r\nbeta"},  // blanks after the break dropped
      {"[date=7.20;time=18.5.52]", 12, "[date=7.20;\r\ntime=18.5.\r\n52]"},
      {"c:\\Tacmon\\Logs\\x.log", 10, "c:\\Tacmon\\\r\nLogs\\x.log"},
      {"abcdefghijklmnop", 5, "abcde\r\nfghij\r\nklmno\r\np"},  // a token wider than the box
      {"ab verylongtokenhere cd", 6, "ab \r\nverylo\r\nngtoke\r\nnhere \r\ncd"},
      {"x", 0, "x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WrapDetailText(c.text, c.width, chars), c.wrapped) << c.text;
}

TEST(LogFormat, OpacitySteps) {
  struct Case {
    int current, code, thumb, result;
  } cases[] = {
      {171, 2, 0, 131},   {171, 3, 0, 211}, {60, 2, 0, 50},     {240, 3, 0, 255},
      {171, 5, 256, 255}, {171, 4, 10, 50}, {171, 5, 100, 100}, {171, 8, 0, 171},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OpacityAfterScroll(c.current, c.code, c.thumb), c.result) << c.code << " " << c.thumb;
}

TEST(LogFormat, WindowIsPlacedOnTheChosenCorner) {
  const Rect work{0, 0, 1920, 1040};
  const Rect win{300, 200, 800, 600};  // 500 x 400
  struct Case {
    int corner;
    Rect placed;
  } cases[] = {
      {0, win},
      {1, {0, 0, 500, 400}},
      {2, {1420, 0, 1920, 400}},
      {3, {0, 640, 500, 1040}},
      {4, {1420, 640, 1920, 1040}},
      {7, win},
  };
  for (const auto& c : cases) EXPECT_EQ(PlaceInCorner(work, win, c.corner), c.placed) << c.corner;
}

TEST(LogFormat, LogPlaceFile) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "Logs");
  const char* path = "c:\\Tacmon\\Logs\\logplace.bin";
  EXPECT_EQ(ReadLogPlace(path), 0);  // missing
  ASSERT_EQ(WriteLogPlace(path, 3), 0);
  EXPECT_EQ(ReadBytes(roots.data() / "Logs" / "logplace.bin"), "301\r\n3\r\n");
  EXPECT_EQ(ReadLogPlace(path), 3);
  struct Case {
    const char* bytes;
    int corner;
  } cases[] = {
      {"301\n4\n", 4}, {"301\r\n1\r\n", 1}, {"300\n2\n", 0}, {"301\n5\n", 0},
      {"301\n0\n", 0}, {"301", 0},          {"", 0},
  };
  for (const auto& c : cases) {
    WriteBytes(roots.data() / "Logs" / "logplace.bin", c.bytes);
    EXPECT_EQ(ReadLogPlace(path), c.corner) << c.bytes;
  }
}

// Description files of pushes: the bytes written, the versions read, damaged lengths and the
// failures of writing.
#include "recording/push_entry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/recording/log_capture.h"
#include "tests/support/scratch_roots.h"

namespace {

using recording::PushEntry;

std::string Le32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}
std::string Le64(int64_t v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

TEST(DescriptionFile, NameReplacesTheLastThreeCharacters) {
  EXPECT_EQ(recording::DescriptionFileName("c:\\Tacmon\\OPERATIONS\\op\\10-00-00.psh"),
            "c:\\Tacmon\\OPERATIONS\\op\\10-00-00.dsc");
  EXPECT_EQ(recording::DescriptionFileName("x\\10-00-00_2.psh"), "x\\10-00-00_2.dsc");
}

TEST(DescriptionFile, TwoLineCommentIsStoredWithBytesOneAndTwoAndReadBack) {
  ScratchRoots roots;
  PushEntry e;
  e.fileName = "c:\\Tacmon\\OPERATIONS\\op\\10-00-00.psh";
  e.number = 3;
  e.present = 0;
  e.startTime = 1700000000;
  e.endTime = 1700000042;
  e.comment = "first\r\nsecond";
  e.reservedTime = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  e.reservedWord = -7;
  std::filesystem::create_directories(roots.data() / "OPERATIONS" / "op");
  ASSERT_EQ(recording::WriteDescription(e), 0);

  std::string expected =
      Le32(393) + Le32(3) + Le32(0) + Le64(1700000000) + Le64(1700000042) + Le32(13) +
      std::string("first\x01\x02second", 13) + std::string(1, '\0') +
      std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e", 14) + Le32(-7);
  EXPECT_EQ(ReadBytes(roots.data() / "OPERATIONS" / "op" / "10-00-00.dsc"), expected);

  PushEntry back;
  back.fileName = e.fileName;
  ASSERT_EQ(recording::ReadDescription(back), 0);
  EXPECT_EQ(back.comment, "first\r\nsecond");
  EXPECT_EQ(back.number, 3);
  EXPECT_EQ(back.present, 0);
  EXPECT_EQ(back.startTime, 1700000000);
  EXPECT_EQ(back.endTime, 1700000042);
  EXPECT_EQ(back.reservedTime, e.reservedTime);
  EXPECT_EQ(back.reservedWord, -7);
}

TEST(DescriptionFile, EmptyCommentHasNoCommentBytes) {
  PushEntry e;
  e.number = 0;
  std::string bytes = recording::EncodeDescription(e);
  EXPECT_EQ(bytes.size(), 4u + 4 + 4 + 8 + 8 + 4 + 14 + 4);
}

// What each version carries; fields a version lacks keep their values.
TEST(DescriptionFile, VersionsReadWhatTheyCarry) {
  const std::string head = Le32(5) + Le32(1) + Le64(100) + Le64(160);
  const std::string comment = Le32(2) + std::string("ab\0", 3);
  const std::string reserved = std::string(14, 'r') + Le32(9);
  struct Case {
    int32_t version;
    std::string rest;
    int result;
    int number;
    const char* comment;
    int32_t word;
  } cases[] = {
      {391, head, 0, 5, "kept", 0},
      {392, head + comment, 0, 5, "ab", 0},
      {393, head + comment + reserved, 0, 5, "ab", 9},
      {390, head + comment + reserved, -2, -1, "kept", 0},
      {394, head + comment + reserved, -2, -1, "kept", 0},
  };
  for (const Case& c : cases) {
    LogCapture log;
    PushEntry e;
    e.comment = "kept";
    int r = recording::ParseDescription(e, Le32(c.version) + c.rest, "x.dsc");
    EXPECT_EQ(r, c.result) << c.version;
    EXPECT_EQ(e.number, c.number) << c.version;
    EXPECT_EQ(e.comment, c.comment) << c.version;
    EXPECT_EQ(e.reservedWord, c.word) << c.version;
    EXPECT_EQ(log.Has("Incorrect version of file x.dsc"), c.result == -2) << c.version;
  }
}

// A comment length that runs past the end of the file is refused, not read beyond the bytes.
TEST(DescriptionFile, CommentLengthIsCheckedAgainstTheBytesLeft) {
  const std::string head = Le32(393) + Le32(5) + Le32(1) + Le64(100) + Le64(160);
  for (int32_t n : {4, 1000, 0x7fffffff, -1}) {
    PushEntry e;
    e.comment = "kept";
    EXPECT_EQ(recording::ParseDescription(e, head + Le32(n) + std::string("abc\0", 4), "x"), -3)
        << n;
    EXPECT_EQ(e.comment, "kept") << n;
    EXPECT_EQ(e.number, 5) << n;  // what came before stays read
  }
  PushEntry e;
  EXPECT_EQ(recording::ParseDescription(e, head.substr(0, 10), "x"), -3);
}

TEST(DescriptionFile, WriteFailuresAreLogged) {
  ScratchRoots roots;
  LogCapture log;
  PushEntry noName;
  EXPECT_EQ(recording::WriteDescription(noName), -1);
  EXPECT_TRUE(log.Has("(2029274)"));
  PushEntry noFolder;
  noFolder.fileName = "c:\\Tacmon\\missing\\folder\\10-00-00.psh";
  EXPECT_EQ(recording::WriteDescription(noFolder), -1);
  EXPECT_TRUE(log.Has("(2028274)"));
}

TEST(DescriptionFile, ThumbnailLine) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  PushEntry e;
  EXPECT_EQ(recording::ThumbnailLine(e), "-1)0:0:0-0:0:0 (0)");
  e.number = 4;
  e.startTime = 3600 * 10 + 60 * 5 + 7;
  e.endTime = e.startTime + 75;
  EXPECT_EQ(recording::ThumbnailLine(e), "4)10:5:7-10:6:22 (75)");
}

}  // namespace

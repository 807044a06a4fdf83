// A recording that the program never closed: the marker beside the stream, what a crash leaves
// on disk, and keeping the interrupted push in its operation folder.
#include "acquisition/push_recovery.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>

#include "platform/file.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using PushRecovery = LoggedScratchRoot;

constexpr const char* kFolder = "c:\\Tacmon\\OPERATIONS\\2026-12-11_05-10";

SensorFrame Frame(int i) {
  SensorFrame f;
  f.index = i;
  for (int s = 0; s < kSensorCount; ++s) f.values[s] = 1000 + 100 * i + s;
  f.captureTime = f.storedTime = {2026, 12, 11, 5, 10, static_cast<int16_t>(i), 0};
  return f;
}

// A recording of frames frames, left open as a killed program leaves it (every record handed
// to the system, nothing closed), the Push going out of scope aside.
void RecordAndAbandon(int frames, bool dump) {
  Push p = CreatePush();
  ASSERT_EQ(OpenOperationPushStream(p, kFolder, dump), 0);
  DevicePassport pass;
  pass.deviceNumber = 33;
  ASSERT_EQ(WriteStreamPassport(p, pass), 0);
  for (int i = 0; i < frames; ++i) {
    ASSERT_EQ(AppendStreamFrame(p, Frame(i)), 0);
    if (dump) ASSERT_EQ(AppendStreamTextDump(p, TextDumpFrame{}), 0);
  }
  p.stream.markerName.clear();  // as if the process had died: nothing of ours runs any more
}

// Gives the stream file the local time hh:mm:ss of today.
void Touch(const std::filesystem::path& file, int h, int m, int s) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  tm.tm_hour = h;
  tm.tm_min = m;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  utimbuf times{};
  times.actime = times.modtime = std::mktime(&tm);
  ASSERT_EQ(utime(file.c_str(), &times), 0);
}

TEST_F(PushRecovery, MarkerLivesWhileTheStreamIsOpenAndFramesReachTheFileAtOnce) {
  std::filesystem::create_directories(Host("OPERATIONS/2026-12-11_05-10"));
  Push p = CreatePush();
  ASSERT_EQ(OpenOperationPushStream(p, kFolder), 0);
  const auto marker = Host("pars/tmpSavedData.op");
  ASSERT_TRUE(std::filesystem::exists(marker));
  std::string text = Slurp(marker);
  EXPECT_NE(text.find("folder="s + kFolder + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("start=20"), std::string::npos) << text;
  ASSERT_EQ(WriteStreamPassport(p, DevicePassport{}), 0);
  ASSERT_EQ(AppendStreamFrame(p, Frame(0)), 0);
  ASSERT_EQ(AppendStreamFrame(p, Frame(1)), 0);
  // Still open: what a reader (or a crash) finds on disk is every frame appended so far.
  Push onDisk;
  ASSERT_EQ(ReadPushFile(onDisk, kStreamFile), 0);
  EXPECT_EQ(onDisk.FrameCount(), 2);

  EXPECT_FALSE(ClosePushStream(p, kFolder, FrameTime::Now()).fileName.empty());
  EXPECT_FALSE(std::filesystem::exists(marker)) << "a cleanly closed push leaves no marker";
  EXPECT_EQ(RecoverInterruptedPush().outcome, InterruptedPush::Outcome::kNone);
  EXPECT_TRUE(InterruptedPushMessage(InterruptedPush{}).empty());

  // A plain stream over the same file never inherits a stale marker.
  Spit(marker, "folder=c:\\x\r\n");
  ASSERT_EQ(OpenPushStream(p), 0);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(PushRecovery, InterruptedStreamIsKeptCutToWholeFramesUnderItsTimeBesideOthers) {
  const auto stream = Host("pars/tmpSavedData.bin");
  struct Case {
    const char* what;
    int frames;
    size_t tail;        // bytes of a frame cut short
    bool folderExists;  // the operation folder was removed meanwhile
    bool samePush;      // a push of the same second is already there
    bool dump;
  } cases[] = {
      {"whole frames", 3, 0, true, false, false},
      {"cut mid-frame", 3, 150, true, false, true},
      {"folder gone", 2, 10, false, false, false},
      {"same second", 1, 199, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Host("OPERATIONS"));
    if (c.folderExists) std::filesystem::create_directories(Host("OPERATIONS/2026-12-11_05-10"));
    RecordAndAbandon(c.frames, c.dump);
    if (c.tail) {
      Spit(stream, Slurp(stream) + std::string(c.tail, '\x5a'));
    }
    Touch(stream, 10, 20, 30);
    if (c.samePush) Spit(Host("OPERATIONS/2026-12-11_05-10/10-20-30.psh"), "earlier");

    InterruptedPush r = RecoverInterruptedPush();
    ASSERT_EQ(r.outcome, InterruptedPush::Outcome::kKept);
    EXPECT_EQ(r.operationFolder, kFolder);
    EXPECT_EQ(r.frames, c.frames);
    EXPECT_EQ(r.cutBytes, static_cast<int64_t>(c.tail));
    EXPECT_EQ(r.pushFile,
              std::string(kFolder) + (c.samePush ? "\\10-20-30_2.psh" : "\\10-20-30.psh"));
    if (c.samePush) EXPECT_EQ(Slurp(Host("OPERATIONS/2026-12-11_05-10/10-20-30.psh")), "earlier");
    EXPECT_FALSE(std::filesystem::exists(Host("pars/tmpSavedData.op")));

    Push back;
    PushFileInfo info;
    ASSERT_EQ(ReadPushFile(back, r.pushFile, &info), 0);
    EXPECT_EQ(info.trailingBytes, 0);
    EXPECT_TRUE(info.passportBlock);
    EXPECT_EQ(back.passport.deviceNumber, 33);
    ASSERT_EQ(back.FrameCount(), c.frames);
    EXPECT_EQ(back.frames.back().values[5], Frame(c.frames - 1).values[5]);
    EXPECT_EQ(std::filesystem::exists(Host("OPERATIONS/2026-12-11_05-10/10-20-30.txt")), c.dump);

    Text1251 msg = Cp1251ToUtf8(InterruptedPushMessage(r));
    EXPECT_NE(msg.find("была прервана"), std::string::npos) << msg;
    EXPECT_NE(msg.find("(" + std::to_string(c.frames) + ")"), std::string::npos) << msg;
    // Done once: the next start finds nothing more.
    EXPECT_EQ(RecoverInterruptedPush().outcome, InterruptedPush::Outcome::kNone);
  }
}

TEST_F(PushRecovery, StreamWithoutAWholeFrameIsReportedAndNothingIsWritten) {
  std::filesystem::create_directories(Host("OPERATIONS/2026-12-11_05-10"));
  const auto stream = Host("pars/tmpSavedData.bin");
  struct Case {
    const char* what;
    int keep;  // bytes of the recording left; -1: the stream file is missing
  } cases[] = {{"version only", 4}, {"passport block cut short", 60}, {"no stream file", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordAndAbandon(0, false);
    if (c.keep < 0)
      std::filesystem::remove(stream);
    else
      Spit(stream, Slurp(stream).substr(0, static_cast<size_t>(c.keep)));
    InterruptedPush r = RecoverInterruptedPush();
    EXPECT_EQ(r.outcome, InterruptedPush::Outcome::kNoFrames);
    EXPECT_EQ(r.frames, 0);
    EXPECT_TRUE(r.pushFile.empty());
    EXPECT_TRUE(std::filesystem::is_empty(Host("OPERATIONS/2026-12-11_05-10")));
    EXPECT_FALSE(std::filesystem::exists(Host("pars/tmpSavedData.op")));
    EXPECT_NE(Cp1251ToUtf8(InterruptedPushMessage(r)).find("до первого кадра"), std::string::npos);
  }
}

TEST_F(PushRecovery, FailedCopyKeepsStreamAndMarkerForTheNextStart) {
  RecordAndAbandon(2, false);
  // The folder's place is taken by a file: the push cannot be put there.
  Spit(Host("OPERATIONS/2026-12-11_05-10"), "not a folder");
  InterruptedPush r = RecoverInterruptedPush();
  EXPECT_EQ(r.outcome, InterruptedPush::Outcome::kFailed);
  EXPECT_TRUE(std::filesystem::exists(Host("pars/tmpSavedData.op")));
  EXPECT_NE(Cp1251ToUtf8(InterruptedPushMessage(r)).find("tmpSavedData.bin"), std::string::npos);
  std::filesystem::remove(Host("OPERATIONS/2026-12-11_05-10"));
  EXPECT_EQ(RecoverInterruptedPush().outcome, InterruptedPush::Outcome::kKept);
}

}  // namespace

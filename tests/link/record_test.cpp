// tacpush record against tacprobe: a push file with the zero point, the passport block and one
// frame per display period of the simulator's values; Ctrl-C keeps what was recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "acquisition/push_file.h"
#include "acquisition/push_recovery.h"
#include "link_test_support.h"
#include "support/scratch_roots.h"

namespace {

TEST(TacpushRecord, ThreeSecondsGiveSixtyFramesOfTheProbesValues) {
  ScratchRoots roots;
  ProbeProcess probe(
      {"--com", "5", "--direct", "--format", "1", "--noise", "0", "--script", "rest:60"},
      (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(5)) << probe.Output();
  std::string out = (roots.base() / "r.psh").string();
  ProbeProcess record({"record", out, "--seconds", "3", "--port", "5", "--device", "5", "--id",
                       "0a1b2c3d4e5f", "--quiet"},
                      (roots.base() / "record.txt").string(), "tacpush");
  ASSERT_EQ(record.Wait(20000), 0) << record.Output();
  EXPECT_NE(record.Output().find("recording:"), std::string::npos) << "a progress line";

  Push push;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(push, out, &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_NEAR(push.FrameCount(), 60, 4);
  ASSERT_GT(push.FrameCount(), 0);
  for (const SensorFrame& f : push.frames) {
    for (int s = 0; s < 19; ++s) ASSERT_EQ(f.values[s], 1000 + 10 * s);
  }
  for (size_t i = 1; i < push.frames.size(); ++i)
    EXPECT_EQ(push.frames[i].index, push.frames[i - 1].index + 1);
  // The zero point: at rest every sensor's calibrated value is 0 in format 1.
  ASSERT_TRUE(push.hasPassport);
  EXPECT_EQ(push.passport.deviceNumber, 5);
  for (int s = 0; s < 19; ++s) EXPECT_DOUBLE_EQ(push.passport.shifts[s], -(1000.0 + 10 * s));
}

TEST(TacpushRecord, APressShowsOnTheDisplayThroughADefaultPassport) {
  ScratchRoots roots;
  for (int format : {0, 1}) {
    SCOPED_TRACE(format);
    ProbeProcess probe({"--com", "7", "--direct", "--format", std::to_string(format)},
                       (roots.base() / "probe.txt").string());
    ASSERT_TRUE(probe.Ready(7)) << probe.Output();
    std::string out = (roots.base() / "press.psh").string();
    ProbeProcess record({"record", out, "--seconds", "3", "--port", "7", "--device", "1", "--id",
                         "0a1b2c3d4e5f", "--quiet"},
                        (roots.base() / "record.txt").string(), "tacpush");
    ASSERT_EQ(record.Wait(20000), 0) << record.Output();
    Push push;
    ASSERT_EQ(ReadPushFile(push, out), 0);
    ASSERT_GT(push.FrameCount(), 40);
    // At rest right after the zero point the map is blank; the press of the default script
    // (rest 2 s, then a press to 0.8) lights the centre over the inclusion.
    double first = DisplayValueWith(push.passport, 9, push.frames.front().values[9], format, 1.0);
    double peak = 0;
    for (const SensorFrame& f : push.frames)
      peak = std::max(peak, DisplayValueWith(push.passport, 9, f.values[9], format, 1.0));
    EXPECT_LT(first, 5);
    EXPECT_GT(peak, 100);
    probe.Stop();
  }
}

TEST(TacpushRecord, AutoconnectFindsTheProbeThroughItsPassport) {
  ScratchRoots roots;
  WritePassportFile("probe9", 9, "00aa00bb00cc", 1, true);
  ProbeProcess probe({"--com", "4", "--format", "1", "--id", "00aa00bb00cc"},
                     (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(4)) << probe.Output();
  std::string out = (roots.base() / "auto.psh").string();
  ProbeProcess record({"record", out, "--seconds", "1", "--auto", "--quiet"},
                      (roots.base() / "record.txt").string(), "tacpush");
  ASSERT_EQ(record.Wait(30000), 0) << record.Output();
  EXPECT_NE(record.Output().find("COM4 (device id=00aa00bb00cc)"), std::string::npos)
      << record.Output();
  Push push;
  ASSERT_EQ(ReadPushFile(push, out), 0);
  EXPECT_NEAR(push.FrameCount(), 20, 3);
  EXPECT_EQ(push.passport.deviceNumber, 9);
}

// The run command's set-up of a fresh data root: the passport that "tacpush passport --new"
// writes for tacprobe's default id is what autoconnect needs to find the simulated probe.
TEST(TacpushRecord, PassportWrittenForTheSimulatedProbeLetsAutoconnectFindIt) {
  ScratchRoots roots;
  ProbeProcess make({"passport", "--new", "c:\\Tacmon\\DVP\\tacprobe.dvp", "--device", "5", "--id",
                     "0a1b2c3d4e5f", "--format", "1", "--autoconnect"},
                    (roots.base() / "passport.txt").string(), "tacpush");
  ASSERT_EQ(make.Wait(10000), 0) << make.Output();
  EXPECT_NE(make.Output().find("autoconnect: 1\n"), std::string::npos) << make.Output();
  ProbeProcess probe({"--com", "3"}, (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(3)) << probe.Output();
  std::string out = (roots.base() / "auto.psh").string();
  ProbeProcess record({"record", out, "--seconds", "1", "--auto", "--quiet"},
                      (roots.base() / "record.txt").string(), "tacpush");
  ASSERT_EQ(record.Wait(30000), 0) << record.Output();
  EXPECT_NE(record.Output().find("COM3 (device id=0a1b2c3d4e5f)"), std::string::npos)
      << record.Output();
  EXPECT_EQ(record.Output().find("using a default one"), std::string::npos);
  Push push;
  ASSERT_EQ(ReadPushFile(push, out), 0);
  EXPECT_EQ(push.passport.deviceNumber, 5);
}

TEST(TacpushRecord, CtrlCStopsCleanlyAndKeepsWhatWasRecorded) {
  ScratchRoots roots;
  ProbeProcess probe({"--com", "6", "--direct", "--format", "0"},
                     (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(6)) << probe.Output();
  std::string out = (roots.base() / "r.psh").string();
  ProbeProcess record({"record", out, "--seconds", "60", "--port", "6", "--device", "2", "--id",
                       "0a1b2c3d4e5f", "--quiet"},
                      (roots.base() / "record.txt").string(), "tacpush");
  ASSERT_TRUE(
      WaitUntil([&] { return record.Output().find("recording:") != std::string::npos; }, 10000))
      << record.Output();
  SleepMs(1000);
  record.Signal(SIGINT);
  ASSERT_EQ(record.Wait(5000), 0) << record.Output();
  EXPECT_NE(record.Output().find("(stopped)"), std::string::npos);
  Push push;
  ASSERT_EQ(ReadPushFile(push, out), 0);
  EXPECT_GT(push.FrameCount(), 10);
  EXPECT_TRUE(push.hasPassport);
}

// A recording killed with SIGKILL, as the workstation records (stream file with its marker):
// the next start keeps it in the operation folder, losing at most the frame being written, and
// the viewer's reader opens it.
TEST(TacpushRecord, KilledRecordingIsKeptByTheNextStart) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "pars");
  ProbeProcess probe({"--com", "6", "--direct", "--format", "1", "--noise", "0"},
                     (roots.base() / "probe.txt").string());
  ASSERT_TRUE(probe.Ready(6)) << probe.Output();
  const char* folder = "c:\\Tacmon\\OPERATIONS\\2026-12-11_05-30";
  ProbeProcess record({"record", kStreamFile, "--operation", folder, "--seconds", "60", "--port",
                       "6", "--device", "2", "--id", "0a1b2c3d4e5f", "--quiet"},
                      (roots.base() / "record.txt").string(), "tacpush");
  ASSERT_TRUE(
      WaitUntil([&] { return record.Output().find("recording:") != std::string::npos; }, 10000))
      << record.Output();
  SleepMs(1500);
  // Stopped first, so that the frames it last reported are known to have been appended.
  record.Signal(SIGSTOP);
  FrameTime stoppedAt = FrameTime::Now();
  std::string out = record.Output();
  size_t at = out.rfind("recording:");
  ASSERT_NE(at, std::string::npos);
  int reported = 0;
  ASSERT_EQ(std::sscanf(out.c_str() + out.find(',', at) + 1, "%d frames", &reported), 1) << out;
  record.Signal(SIGKILL);
  record.Wait(5000);

  InterruptedPush r = RecoverInterruptedPush();
  ASSERT_EQ(r.outcome, InterruptedPush::Outcome::kKept) << Cp1251ToUtf8(InterruptedPushMessage(r));
  EXPECT_EQ(r.operationFolder, folder);
  EXPECT_EQ(r.pushFile.rfind(std::string(folder) + "\\", 0), 0u) << r.pushFile;
  Push push;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(push, r.pushFile, &info), 0);
  EXPECT_EQ(info.trailingBytes, 0);
  EXPECT_TRUE(push.hasPassport);
  EXPECT_EQ(push.FrameCount(), r.frames);
  EXPECT_GE(push.FrameCount(), reported) << "every frame reported as recorded is kept";
  // The last frame kept is at most one display period (50 ms) older than the stop, with some
  // room for the scheduler on a busy machine.
  int64_t lag = stoppedAt.ToMilliseconds() - push.frames.back().captureTime.ToMilliseconds();
  EXPECT_GE(lag, 0);
  EXPECT_LE(lag, 50 + 100);
  for (size_t i = 1; i < push.frames.size(); ++i)
    ASSERT_EQ(push.frames[i].index, push.frames[i - 1].index + 1) << "no frame missing inside";

  // The viewer's reader takes it too, and the push tool describes it.
  Push viewer;
  EXPECT_EQ(ReadViewerPushFile(viewer, r.pushFile), 0);
  EXPECT_EQ(viewer.FrameCount(), push.FrameCount());
  ProbeProcess info2({"info", r.pushFile}, (roots.base() / "info.txt").string(), "tacpush");
  EXPECT_EQ(info2.Wait(10000), 0) << info2.Output();
  EXPECT_NE(info2.Output().find("frames: " + std::to_string(push.FrameCount())), std::string::npos)
      << info2.Output();
}

}  // namespace

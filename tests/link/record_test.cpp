// tacpush record against tacprobe: a push file with the zero point, the passport block and one
// frame per display period of the simulator's values; Ctrl-C keeps what was recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "acquisition/push_file.h"
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

}  // namespace

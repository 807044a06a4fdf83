#include "acquisition/push.h"

#include <gtest/gtest.h>

namespace {

Push PushWithValues(const std::vector<std::array<int32_t, kSensorCount>>& rows) {
  Push p = CreatePush();
  AllocateFrames(p, static_cast<int>(rows.size()));
  for (size_t f = 0; f < rows.size(); ++f) p.frames[f].values = rows[f];
  return p;
}

std::array<int32_t, kSensorCount> Row(int base) {
  std::array<int32_t, kSensorCount> r{};
  for (int i = 0; i < kSensorCount; ++i) r[i] = base + i;
  return r;
}

TEST(PushModel, NewPushIsEmptyWithDefaults) {
  Push p = CreatePush();
  EXPECT_EQ(p.FrameCount(), 0);
  EXPECT_EQ(p.sensorCount, 19);
  EXPECT_EQ(p.sensorType, kSensorUnknown);
  EXPECT_TRUE(p.fileName.empty());
  EXPECT_EQ(p.passport.numChannels, 19);
  EXPECT_DOUBLE_EQ(p.passport.slopes[127], 1.0);
  AllocateFrames(p, 3);
  ASSERT_EQ(p.FrameCount(), 3);
  for (const auto& f : p.frames) {
    EXPECT_EQ(f.values, (std::array<int32_t, kSensorCount>{}));
    EXPECT_EQ(f.aux, (std::array<int32_t, kAuxCapacity>{}));
    EXPECT_EQ(f.flags, 0);
    EXPECT_EQ(f.index, 0);
  }
}

TEST(PushModel, SensorTypeTexts) {
  EXPECT_STREQ(SensorTypeText(1), "беспров.версия"_cp);
  EXPECT_STREQ(SensorTypeText(2), "мобильная версия"_cp);
  EXPECT_STREQ(SensorTypeText(0), "???");
  EXPECT_STREQ(SensorTypeText(7), "???");
}

TEST(PushModel, LabelCountsRunOverFrames) {
  Push p = CreatePush();
  AllocateFrames(p, 7);
  p.frames[2].SetLabel(true);
  p.frames[5].SetLabel(true);
  ComputeLabelCounts(p);
  std::vector<int> counts;
  for (const auto& f : p.frames) counts.push_back(f.labelCount);
  EXPECT_EQ(counts, (std::vector<int>{0, 0, 1, 1, 1, 2, 2}));
  // A label on the first frame does not count for the first frame itself.
  p.frames[0].SetLabel(true);
  ComputeLabelCounts(p);
  EXPECT_EQ(p.frames[0].labelCount, 0);
  EXPECT_EQ(p.frames[6].labelCount, 2);
  EXPECT_EQ(p.LabelCount(), 3);
}

TEST(PushModel, CopiesAreDeepAndNeverShareTheStream) {
  Push src = PushWithValues({Row(10), Row(20)});
  src.fileName = "a.psh";
  src.passport.deviceNumber = 42;
  src.startTime = 100;
  src.endTime = 200;
  src.stream.fileName = "pars\\tmpSavedData.bin";
  src.stream.state = PushStream::State::kPassportWritten;

  Push dst = CreatePush();
  dst.stream.fileName = "mine";
  CopyPush(dst, src);
  EXPECT_EQ(dst.FrameCount(), 2);
  EXPECT_EQ(dst.fileName, "a.psh");
  EXPECT_EQ(dst.passport.deviceNumber, 42);
  EXPECT_EQ(dst.endTime, 200);
  EXPECT_EQ(dst.stream.fileName, "mine");
  EXPECT_EQ(dst.stream.state, PushStream::State::kNoFile);

  dst.frames[0].values[0] = -1;
  dst.frames[0].aux[45] = 7;
  EXPECT_EQ(src.frames[0].values[0], 10);
  EXPECT_EQ(src.frames[0].aux[45], 0);

  Push copy(src);  // copy construction: no stream either
  EXPECT_FALSE(copy.stream.IsOpen());
  EXPECT_EQ(copy.stream.state, PushStream::State::kNoFile);

  SensorFrame f;
  CopyFrame(f, src.frames[1]);
  f.values[3] = 0;
  EXPECT_EQ(src.frames[1].values[3], 23);
}

TEST(PushModel, FreePushEmptiesEverything) {
  Push p = PushWithValues({Row(1)});
  p.fileName = "x";
  p.sensorType = kSensorMobile;
  p.currentFrame = 0;
  FreePush(p);
  EXPECT_EQ(p.FrameCount(), 0);
  EXPECT_TRUE(p.fileName.empty());
  EXPECT_EQ(p.sensorType, 0);
}

TEST(PushStatisticsTest, EmptyPushHasDefaultRanges) {
  Push p = CreatePush();
  p.statistics.minValue = 5;  // stale values are reset
  p.statistics.sumMax = 9;
  ComputePushStatistics(p, kAllVisible);
  EXPECT_EQ(p.statistics.minValue, 0);
  EXPECT_EQ(p.statistics.maxValue, 255);
  EXPECT_FLOAT_EQ(p.statistics.normMin, 0);
  EXPECT_FLOAT_EQ(p.statistics.normMax, 1);
  EXPECT_EQ(p.statistics.sumMax, 0);
}

TEST(PushStatisticsTest, RangesOverVisibleSensorsPerSensorOverAll) {
  auto r0 = Row(100), r1 = Row(100), r2 = Row(100);
  r1[0] = 5;     // sensor 1 hidden: its extreme does not reach minValue
  r2[4] = 900;   // sensor 5 visible
  r2[18] = -50;  // sensor 19 hidden
  Push p = PushWithValues({r0, r1, r2});
  Visibility vis = kAllVisible;
  vis[0] = false;
  vis[18] = false;
  ComputePushStatistics(p, vis);
  const auto& s = p.statistics;
  EXPECT_EQ(s.minValue, 101);
  EXPECT_EQ(s.maxValue, 900);
  // Per-sensor extremes whatever the visibility.
  EXPECT_EQ(s.sensorMin[0], 5);
  EXPECT_EQ(s.sensorMax[0], 100);
  EXPECT_EQ(s.sensorMin[18], -50);
  EXPECT_FLOAT_EQ(s.normMin, 101);
  EXPECT_FLOAT_EQ(s.normMax, 900);
  EXPECT_DOUBLE_EQ(s.sensorSum[4], 104 + 104 + 900);
  EXPECT_DOUBLE_EQ(s.sensorSum[0], 0);  // hidden sensors keep no sum
  EXPECT_DOUBLE_EQ(s.sumMin, 3 * 101);
  EXPECT_DOUBLE_EQ(s.sumMax, 104 + 104 + 900);
}

TEST(PushStatisticsTest, NoVisibleSensorGivesZeroSumRange) {
  Push p = PushWithValues({Row(10), Row(30)});
  Visibility none{};
  ComputePushStatistics(p, none);
  EXPECT_EQ(p.statistics.sumMin, 0);
  EXPECT_EQ(p.statistics.sumMax, 0);
  EXPECT_EQ(p.statistics.minValue, 0);
  EXPECT_EQ(p.statistics.maxValue, 255);
  EXPECT_EQ(p.statistics.sensorMin[3], 13);
  EXPECT_EQ(p.statistics.sensorMax[3], 33);
}

TEST(PushStatisticsTest, NormalizesAgainstReferencePush) {
  Push ref = PushWithValues({Row(0), Row(100)});  // sensor i spans i..100+i
  ComputePushStatistics(ref, kAllVisible);
  auto flat = Row(0);
  flat[7] = 7;  // sensor 8 spans 7..107 in the reference
  Push p = PushWithValues({Row(50), Row(100)});
  p.frames[0].values[2] = 2;  // at the reference minimum
  ComputePushStatistics(p, kAllVisible, &ref);
  EXPECT_FLOAT_EQ(p.statistics.normMin, 0.0f);
  EXPECT_FLOAT_EQ(p.statistics.normMax, 1.0f);
  EXPECT_DOUBLE_EQ(p.statistics.sensorSum[5], 0.5 + 1.0);
  // A reference with a flat sensor divides by 1e-10, never by 0.
  Push flatRef = PushWithValues({flat});
  ComputePushStatistics(flatRef, kAllVisible);
  Push q = PushWithValues({flat});
  ComputePushStatistics(q, kAllVisible, &flatRef);
  EXPECT_DOUBLE_EQ(q.statistics.sensorSum[7], 0.0);
}

TEST(PacketImageTest, BytesRoundTripAndShortPackets) {
  uint8_t packet[52] = {'T', 'C', '1', '2'};
  packet[20] = 0xFF;
  packet[21] = 0x7F;
  auto img = PacketImage::FromPacket(packet, sizeof packet, 9);
  EXPECT_EQ(img.words[0], 0x4354);
  EXPECT_EQ(img.words[10], 32767);
  EXPECT_EQ(img.words[26], 0);
  EXPECT_EQ(img.index, 9);
  auto bytes = img.Bytes();
  EXPECT_EQ(bytes[20], 0xFF);
  EXPECT_EQ(bytes[90], 0);
}

TEST(FrameTimeTest, MillisecondsOrderFramesAcrossMidnight) {
  FrameTime a{2024, 3, 1, 23, 59, 59, 900};
  FrameTime b{2024, 3, 2, 0, 0, 0, 100};
  EXPECT_EQ(b.ToMilliseconds() - a.ToMilliseconds(), 200);
}

}  // namespace

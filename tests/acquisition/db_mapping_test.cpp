#include "acquisition/db_mapping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

struct RecordDeleter {
  void operator()(push_item* r) const {
    ReleasePushRecord(*r);
    delete r;
  }
};
using Record = std::unique_ptr<push_item, RecordDeleter>;
Record NewRecord() { return Record(new push_item{}); }

Push SamplePush(int frames) {
  Push p = CreatePush();
  AllocateFrames(p, frames);
  for (int f = 0; f < frames; ++f) {
    auto& fr = p.frames[f];
    for (int s = 0; s < kSensorCount; ++s) fr.values[s] = 100 * f + s - 40000;
    for (int k = 0; k < kAuxWordsInUse; ++k) fr.aux[k] = f * 1000 + k;
    fr.captureTime = {2024, 6, 1, 12, 0, static_cast<int16_t>(f), static_cast<int16_t>(10 * f)};
    fr.storedTime = fr.captureTime;
  }
  p.passport.deviceNumber = 31;
  ParseDeviceId("a1b2c3d4e5f6", p.passport.deviceId);
  return p;
}

TEST(DbMapping, PushRecordFieldsAndLabels) {
  Push p = SamplePush(7);
  p.frames[2].SetLabel(true);
  p.frames[5].SetLabel(true);
  auto rec = NewRecord();
  PushToDatabase(*rec, p, 12, "комментарий"_cp);
  EXPECT_EQ(rec->OperationID, 12);
  EXPECT_EQ(rec->DeviceID, 0);
  EXPECT_STREQ(rec->DeviceIDTxt, "a1b2c3d4e5f6");
  EXPECT_EQ(rec->DT, 10);
  EXPECT_EQ(rec->HeadNum, 19);
  EXPECT_EQ(rec->RawNum, 46);
  EXPECT_EQ(rec->NPress, 7);
  EXPECT_STREQ(rec->Notes, "комментарий"_cp);
  // No start time: the first frame's time stands for it.
  EXPECT_EQ(rec->Time[0], 2024);
  EXPECT_EQ(rec->Press[3].Values[18], 300 + 18 - 40000);
  EXPECT_EQ(rec->Press[3].Time[5], 3);
  EXPECT_EQ(rec->RawPress[3].Values[27], 3027);
  for (int k = 28; k < 46; ++k) EXPECT_EQ(rec->RawPress[3].Values[k], 0);
  ASSERT_EQ(rec->NLabels, 2);
  EXPECT_EQ(rec->Labels[0].ElementaryPush, 2);
  EXPECT_EQ(rec->Labels[1].ElementaryPush, 5);
  EXPECT_EQ(rec->Labels[1].Type, 0);
  EXPECT_STREQ(rec->Labels[1].Comment, "");

  Push back = CreatePush();
  PushFromDatabase(back, *rec);
  ASSERT_EQ(back.FrameCount(), 7);
  for (int f = 0; f < 7; ++f) {
    EXPECT_EQ(back.frames[f].values, p.frames[f].values);
    EXPECT_EQ(back.frames[f].aux, p.frames[f].aux);
    EXPECT_EQ(back.frames[f].captureTime, p.frames[f].captureTime);
    EXPECT_EQ(back.frames[f].HasLabel(), f == 2 || f == 5) << f;
  }
  EXPECT_EQ(back.frames[6].labelCount, 2);
  EXPECT_EQ(back.passport.deviceNumber, 31);
  EXPECT_TRUE(back.hasPassport);
  EXPECT_EQ(back.endTime - back.startTime, 6);
}

TEST(DbMapping, LabelsBeyondTheLastFrameAndShortRecords) {
  Push p = SamplePush(3);
  auto rec = NewRecord();
  PushToDatabase(*rec, p, 1);
  EXPECT_EQ(rec->Notes, nullptr);
  // Hand-made record: a label beyond the last frame, 5 head values, no RawPress.
  std::free(rec->Labels);
  rec->NLabels = 2;
  rec->Labels = static_cast<push_label*>(std::calloc(2, sizeof(push_label)));
  rec->Labels[0].ElementaryPush = 1;
  rec->Labels[1].ElementaryPush = 3;
  rec->HeadNum = 5;
  for (int i = 0; i < 3; ++i) std::free(rec->RawPress[i].Values);
  std::free(rec->RawPress);
  rec->RawPress = nullptr;
  Push back;
  PushFromDatabase(back, *rec);
  ASSERT_EQ(back.FrameCount(), 3);
  EXPECT_EQ(back.LabelCount(), 1);
  EXPECT_TRUE(back.frames[1].HasLabel());
  EXPECT_EQ(back.frames[0].values[4], p.frames[0].values[4]);
  EXPECT_EQ(back.frames[0].values[5], 0);
  EXPECT_EQ(back.frames[0].aux[0], 0);
}

TEST(DbMapping, EmptyRecordGivesEmptyPushEndingAtItsStart) {
  auto rec = NewRecord();
  Push empty = CreatePush();
  empty.startTime = 1700000000;
  PushToDatabase(*rec, empty, 3);
  EXPECT_EQ(rec->NPress, 0);
  EXPECT_EQ(rec->Press, nullptr);
  Push back = SamplePush(4);
  PushFromDatabase(back, *rec);
  EXPECT_EQ(back.FrameCount(), 0);
  EXPECT_EQ(back.startTime, 1700000000);
  EXPECT_EQ(back.endTime, back.startTime);
}

TEST(DbMapping, DeviceDataLayout) {
  DevicePassport p;
  p.headerA = 0x11111111;
  p.numChannels = 19;
  p.deviceNumber = 0x22;
  p.deviceId = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  p.year = 2023;
  p.refSlope = 1.5;
  p.version = 9;
  p.hasMaxValues = 1;
  p.useForAutoconnect = 0;
  p.diameter = 12;
  p.secondButton = 1;
  for (int i = 0; i < kPassportChannels; ++i) {
    p.slopes[i] = 1 + i;
    p.shifts[i] = -i;
    p.nullValues[i] = 2 * i;
    p.rangeHi[i] = 1000 + i;
  }
  std::vector<unsigned char> block(MEDSTORE_DEVICE_DATA_SIZE, 0xCD);
  ASSERT_EQ(PassportToDeviceData(block.data(), p), 0);
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, &block[at], 4);
    return v;
  };
  auto f64 = [&](size_t at) {
    double v;
    std::memcpy(&v, &block[at], 8);
    return v;
  };
  EXPECT_EQ(i32(0), 124);
  EXPECT_EQ(block[4], 0);
  EXPECT_EQ(i32(5), 0x11111111);
  EXPECT_EQ(i32(149), 19);
  EXPECT_EQ(i32(154 + 4), 1000);  // rangeHi[0]
  EXPECT_EQ(i32(1179), 1);        // ok[0]
  EXPECT_EQ(i32(1692), 0x22);
  EXPECT_EQ(block[1697], 0xAA);
  EXPECT_EQ(block[1702], 0xFF);
  EXPECT_EQ(i32(1730), 2023);
  EXPECT_EQ(i32(1755), 1);
  EXPECT_EQ(f64(1760 + 8), 2.0);
  EXPECT_EQ(f64(2785 + 8), -1.0);
  EXPECT_EQ(f64(4835), 1.5);
  EXPECT_EQ(i32(4853), 9);
  EXPECT_EQ(f64(4858 + 8), 2.0);
  EXPECT_EQ(i32(6913), 1);
  EXPECT_EQ(i32(6918), 0);
  EXPECT_EQ(f64(6923), 12.0);
  EXPECT_EQ(i32(6932), 1);
  for (size_t at : {size_t(4), size_t(148), size_t(1178), size_t(1759), size_t(6931)})
    EXPECT_EQ(block[at], 0) << at;
  for (size_t at = 6936; at < block.size(); ++at) ASSERT_EQ(block[at], 0) << at;

  DevicePassport q;
  ASSERT_EQ(PassportFromDeviceData(block.data(), q), 0);
  std::vector<unsigned char> again(MEDSTORE_DEVICE_DATA_SIZE);
  PassportToDeviceData(again.data(), q);
  EXPECT_EQ(again, block);
  EXPECT_EQ(q.diameter, 12);
  EXPECT_EQ(q.year, 2023);

  // An older block (122): autoconnect, diameter and second button keep the receiver's values,
  // null and max values are still read.
  block[0] = 122;
  DevicePassport r;
  r.diameter = 33;
  r.useForAutoconnect = 1;
  r.secondButton = 0;
  PassportFromDeviceData(block.data(), r);
  EXPECT_EQ(r.diameter, 33);
  EXPECT_EQ(r.useForAutoconnect, 1);
  EXPECT_EQ(r.secondButton, 0);
  EXPECT_EQ(r.nullValues[5], 10);
  EXPECT_EQ(r.hasMaxValues, 1);
}

}  // namespace

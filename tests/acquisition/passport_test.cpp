#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "acquisition/device_passport.h"
#include "platform/file.h"
#include "platform/report.h"
#include "test_support.h"

namespace {

using PassportFiles = LoggedScratchRoot;

TEST(ShortNumberTest, Examples) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {1.0, "1."},
      {0.1234, "0.1234"},
      {2.999999, "3."},
      {0.129996, "0.13"},
      {0.100001, "0.1"},
      {-2.999999, "-3."},
      {9.999999, "10."},
      {-0.999999, "-1."},
      {32000.0, "32000."},
      {0.0, "0."},
      {0.5, "0.5"},
      {-0.129997, "-0.13"},
      {12.34, "12.34"},
      {1.000004, "1."},
      {0.000001, "0."},
      // Rounding up only on a last digit of 6 to 9; 5 and below keep their digits.
      {0.129995, "0.129995"},
      {0.129999, "0.13"},
      {2.999995, "2.999995"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortNumber(c.value), c.text) << c.value;
  }
  // Fewer than six decimals are exact values, not rounding noise: written as they are.
  Case exact[] = {{0.02, "0.02"},   {1.01, "1.01"},         {0.104, "0.104"},
                  {0.996, "0.996"}, {-0.99996, "-0.99996"}, {2.5999, "2.5999"}};
  for (const auto& c : exact) EXPECT_EQ(ShortNumber(c.value), c.text) << c.value;
  EXPECT_EQ(ShortNumber(std::nan("")), "nan");
}

TEST(DvpText, ParsesKeysValuesAndTolerance) {
  DevicePassport p;
  ParseDvpText(p,
               "VERSION: 3\n"
               "  device_id :  0A1B2C3D4E5F  \n"
               "Device_Number: 7\n"
               "DATE: 05.11.2021\n"
               "OK: 1, 0 1,,1\n"
               "SLOPES: 2.5, junk, 3.5\n"
               "SHIFTS: -1 -2\n"
               "NULL_VALUES: 10\n"
               "REF_SLOPE: 0.5\n"
               "DIAMETR: 12.5\n"
               "FORMAT: 1\n"
               "SLOPES3: 9 9\n"
               "no colon here\n"
               "EMPTY:   \n"
               ": value without key\n"
               "UNKNOWN: 5\n");
  EXPECT_EQ(p.version, 3);
  EXPECT_EQ(DeviceIdText(p), "0a1b2c3d4e5f");
  EXPECT_EQ(p.deviceNumber, 7);
  EXPECT_EQ(p.day, 5);
  EXPECT_EQ(p.month, 11);
  EXPECT_EQ(p.year, 2021);
  EXPECT_EQ(p.ok[0], 1);
  EXPECT_EQ(p.ok[1], 0);
  EXPECT_EQ(p.ok[2], 1);
  EXPECT_EQ(p.ok[3], 1);
  EXPECT_DOUBLE_EQ(p.slopes[0], 2.5);
  EXPECT_DOUBLE_EQ(p.slopes[1], 3.5);  // the bad token is skipped
  EXPECT_DOUBLE_EQ(p.slopes[2], 1.0);
  EXPECT_DOUBLE_EQ(p.shifts[1], -2);
  EXPECT_EQ(p.hasNullValues, 1);
  EXPECT_EQ(p.hasMaxValues, 0);
  EXPECT_DOUBLE_EQ(p.refSlope, 0.5);
  EXPECT_DOUBLE_EQ(p.diameter, 12.5);
  EXPECT_EQ(p.format, 1);
  EXPECT_DOUBLE_EQ(p.extraSlopes[3][1], 9);
  EXPECT_DOUBLE_EQ(p.slopes[3], 1.0);  // extra sets never touch the main one
}

TEST(DvpText, OkFlagsStoreBitZeroOfEachNumber) {
  struct Case {
    const char* value;
    std::vector<int> ok;
  } cases[] = {
      {"1, 0 1,,1", {1, 0, 1, 1}},
      {"2, -1, 2", {0, 1, 0}},
      {"3 4 -2 x 7", {1, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    DevicePassport p;
    p.ok.fill(9);
    ParseDvpText(p, std::string("OK: ") + c.value + "\n");
    std::vector<int> ok(p.ok.begin(), p.ok.begin() + c.ok.size());
    EXPECT_EQ(ok, c.ok) << c.value;
    EXPECT_EQ(p.ok[c.ok.size()], 9) << c.value;  // slots beyond the list keep their value
  }
}

TEST(DvpText, DeviceIdNeedsExactlyTwelveDigits) {
  for (const char* v : {"0A1B2C3D4E5", "0A1B2C3D4E5F0"}) {
    DevicePassport p;
    ParseDvpText(p, std::string("DEVICE_ID: ") + v + "\n");
    EXPECT_EQ(DeviceIdText(p), "000000000000") << v;
  }
}

TEST(DvpText, ListsNeverPassTheChannelCapacity) {
  std::string line = "SLOPES:";
  for (int i = 0; i < 200; ++i) line += " 2";
  DevicePassport p;
  ParseDvpText(p, line + "\nNUM_CHANNELS: 100000\n");
  EXPECT_EQ(p.numChannels, 100000);  // kept as stored
  EXPECT_EQ(UsedChannels(p), 128);
  EXPECT_DOUBLE_EQ(p.slopes[127], 2);
  // The file carries exactly the 128 stored values, however many channels are claimed.
  std::string text = FormatDvp(p);
  size_t at = text.find("\nSLOPES:");
  ASSERT_NE(at, std::string::npos);
  std::string slopes = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
  std::string expected = "SLOPES:";
  for (int i = 0; i < 128; ++i) expected += i ? ", 2." : " 2.";
  EXPECT_EQ(slopes, expected);
  p.numChannels = -5;
  EXPECT_EQ(UsedChannels(p), 0);
  EXPECT_NE(FormatDvp(p).find("OK:\n"), std::string::npos);
}

TEST_F(PassportFiles, WriteDvpIsByteExact) {
  DevicePassport p;
  p.version = 2;
  p.deviceNumber = 7;
  ParseDeviceId("0A1B2C3D4E5F", p.deviceId);
  p.day = 5;
  p.month = 11;
  p.year = 2021;
  p.numChannels = 3;
  p.ok[1] = 0;
  p.slopes = {1.0, 0.129996, 2.999999};
  p.shifts = {0.0, -12.5, 0.100001};
  p.hasMaxValues = 1;
  p.refShift = -0.5;
  p.format = 1;
  ASSERT_EQ(WriteDvp("c:\\Tacmon\\DVP\\dev7.dvp", p), 0);
  EXPECT_EQ(Slurp(Host("DVP/dev7.dvp")),
            "VERSION: 2\r\n"
            "DEVICE_NUMBER: 7\r\n"
            "DEVICE_ID: 0a1b2c3d4e5f\r\n"
            "DATE: 05.11.2021\r\n"
            "NUM_CHANNELS: 3\r\n"
            "OK: 1, 0, 1\r\n"
            "REF_NUMBER: 1\r\n"
            "MAX_VALUES: 32000., 32000., 32000.\r\n"
            "SLOPES: 1., 0.13, 3.\r\n"
            "SHIFTS: 0., -12.5, 0.1\r\n"
            "NOISE_LEVEL: 1., 1., 1.\r\n"
            "REF_SLOPE: 1.\r\n"
            "REF_SHIFT: -0.5\r\n"
            "DIAMETR: 20\r\n"
            "SET_SECOND_BUTTON: 0\r\n"
            "FORMAT: 1\r\n");
  DevicePassport back;
  ASSERT_EQ(ReadDvp(back, "c:\\Tacmon\\DVP\\dev7.dvp"), 0);
  EXPECT_EQ(back.fileName, "c:\\Tacmon\\DVP\\dev7.dvp");
  EXPECT_EQ(back.deviceNumber, 7);
  EXPECT_EQ(back.ok[1], 0);
  EXPECT_DOUBLE_EQ(back.slopes[1], 0.13);
  EXPECT_DOUBLE_EQ(back.refShift, -0.5);
  EXPECT_EQ(back.hasMaxValues, 1);
}

TEST_F(PassportFiles, MissingFilesAndFailedWrites) {
  DevicePassport p;
  p.deviceNumber = 99;
  EXPECT_EQ(ReadDvp(p, "c:\\Tacmon\\DVP\\none.dvp"), -1);
  EXPECT_EQ(p.deviceNumber, 0);  // defaults
  std::filesystem::create_directories(Host("DVP/folder.dvp"));
  EXPECT_EQ(ReadDvp(p, "c:\\Tacmon\\DVP\\folder.dvp"), -1);  // opens, but cannot be read
  EXPECT_EQ(WriteDvp("c:\\Tacmon\\no_such_folder\\x.dvp", p), -1);
  ASSERT_FALSE(Log().empty());
  EXPECT_NE(Log().back().find("Can't write file"), std::string::npos);
}

TEST(PassportBlock, RoundTripsEveryField) {
  DevicePassport p;
  p.headerA = 5;
  std::snprintf(p.title.data(), p.title.size(), "probe");
  p.numChannels = 19;
  p.rangeLo[3] = -7;
  p.rangeHi[127] = 123;
  p.ok[5] = 0;
  p.deviceNumber = 12;
  p.deviceId = {1, 2, 3, 4, 5, 0xFF};
  p.year = 2022;
  p.hour = 13;
  p.slopes[18] = 1.25;
  p.shifts[0] = -3;
  p.noiseLevel[1] = 4;
  p.refSlope = 2;
  p.refShift = 3;
  p.version = 8;
  p.nullValues[2] = 5;
  p.maxValues[2] = 6;
  p.hasNullValues = 1;
  p.useForAutoconnect = 0;
  p.diameter = 15;
  p.secondButton = 1;
  auto block = EncodePassportBlock(p);
  ASSERT_EQ(block.size(), size_t(kPassportBlockSize));
  EXPECT_EQ(block[0], 124);
  DevicePassport q;
  ASSERT_EQ(DecodePassportBlock(block.data(), block.size(), q), kPassportBlockSize);
  EXPECT_EQ(EncodePassportBlock(q), block);
  EXPECT_EQ(q.hour, 13);
  EXPECT_EQ(q.diameter, 15);
  EXPECT_EQ(q.useForAutoconnect, 0);
}

TEST(PassportBlock, FieldsSitAtTheirOffsets) {
  DevicePassport p;
  p.headerA = 0x0A0A0A0A;
  p.headerC = 0x0C0C0C0C;
  std::snprintf(p.title.data(), p.title.size(), "T");
  p.numChannels = 19;
  p.rangeLo[0] = -3;
  p.rangeHi[127] = 7777;
  p.ok[127] = 0;
  p.deviceNumber = 0x1234;
  p.deviceId = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  p.year = 2024;
  p.second = 59;
  p.refNumber = 3;
  p.slopes[0] = 1.5;
  p.shifts[127] = -2.5;
  p.noiseLevel[1] = 4.5;
  p.refSlope = 0.25;
  p.refShift = -8;
  p.version = 6;
  p.nullValues[0] = 11;
  p.maxValues[127] = 12;
  p.hasNullValues = 1;
  p.hasMaxValues = 1;
  p.useForAutoconnect = 0;
  p.diameter = 17.5;
  p.secondButton = 1;
  auto b = EncodePassportBlock(p);
  ASSERT_EQ(b.size(), 6912u);
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
  };
  auto f64 = [&](size_t at) {
    double v;
    std::memcpy(&v, &b[at], 8);
    return v;
  };
  EXPECT_EQ(i32(0), 124);
  EXPECT_EQ(i32(4), 0x0A0A0A0A);
  EXPECT_EQ(i32(8), 0);
  EXPECT_EQ(i32(12), 0x0C0C0C0C);
  EXPECT_EQ(b[16], 'T');
  EXPECT_EQ(i32(144), 19);
  EXPECT_EQ(i32(148), -3);                  // rangeLo[0]
  EXPECT_EQ(i32(152), 32000);               // rangeHi[0]
  EXPECT_EQ(i32(148 + 8 * 127 + 4), 7777);  // rangeHi[127]
  EXPECT_EQ(i32(1172), 1);                  // ok[0]
  EXPECT_EQ(i32(1172 + 4 * 127), 0);
  EXPECT_EQ(i32(1684), 0x1234);
  EXPECT_EQ(b[1688], 0xAA);
  EXPECT_EQ(b[1693], 0xFF);
  for (size_t at = 1694; at < 1720; ++at) EXPECT_EQ(b[at], 0) << at;
  EXPECT_EQ(i32(1720), 2024);
  EXPECT_EQ(i32(1740), 59);  // second
  EXPECT_EQ(i32(1744), 3);
  EXPECT_EQ(f64(1748), 1.5);
  EXPECT_EQ(f64(2772 + 8 * 127), -2.5);
  EXPECT_EQ(f64(3796 + 8), 4.5);
  EXPECT_EQ(f64(4820), 0.25);
  EXPECT_EQ(f64(4828), -8);
  EXPECT_EQ(i32(4836), 6);
  EXPECT_EQ(f64(4840), 11);
  EXPECT_EQ(f64(5864 + 8 * 127), 12);
  EXPECT_EQ(i32(6888), 1);
  EXPECT_EQ(i32(6892), 1);
  EXPECT_EQ(i32(6896), 0);
  EXPECT_EQ(f64(6900), 17.5);
  EXPECT_EQ(i32(6908), 1);
}

TEST(PassportBlock, OlderVersionsTakeDefaultsForAbsentFields) {
  DevicePassport p;
  p.diameter = 15;
  p.secondButton = 1;
  p.useForAutoconnect = 0;
  p.hasNullValues = 1;
  p.nullValues[0] = 9;
  auto full = EncodePassportBlock(p);
  struct Case {
    int version;
    int size;
    double diameter;
    int useForAutoconnect;
    int hasNull;
  } cases[] = {{120, 4840, 20, 1, 0},
               {121, 6896, 20, 1, 1},
               {122, 6900, 20, 0, 1},
               {123, 6908, 15, 0, 1},
               {124, 6912, 15, 0, 1}};
  for (const auto& c : cases) {
    std::vector<uint8_t> block(full.begin(), full.begin() + c.size);
    block[0] = static_cast<uint8_t>(c.version);
    DevicePassport q;
    ASSERT_EQ(DecodePassportBlock(block.data(), block.size(), q), c.size) << c.version;
    EXPECT_EQ(q.diameter, c.diameter) << c.version;
    EXPECT_EQ(q.useForAutoconnect, c.useForAutoconnect) << c.version;
    EXPECT_EQ(q.hasNullValues, c.hasNull) << c.version;
    EXPECT_EQ(q.secondButton, c.version >= 124 ? 1 : 0);
    block.pop_back();
    EXPECT_EQ(DecodePassportBlock(block.data(), block.size(), q), -2) << c.version;
  }
}

TEST_F(PassportFiles, BlockThroughFilesAndCompanions) {
  DevicePassport p;
  p.deviceNumber = 3;
  p.useForAutoconnect = 0;
  const char* dvp = "c:\\Tacmon\\DVP\\dev3.dvp";
  EXPECT_EQ(CompanionName(dvp, "Add.bin"), "c:\\Tacmon\\DVP\\dev3Add.bin");
  EXPECT_EQ(CompanionName(dvp, "._dvp_"), "c:\\Tacmon\\DVP\\dev3._dvp_");
  ASSERT_EQ(WriteAutoconnectFile(p, dvp), 0);
  EXPECT_EQ(Slurp(Host("DVP/dev3Add.bin")), std::string("\x7c\0\0\0\0\0\0\0", 8));
  ASSERT_EQ(WriteBinaryPassport(p, dvp), 0);
  EXPECT_EQ(std::filesystem::file_size(Host("DVP/dev3.bin")), 6912u);

  File f("c:\\Tacmon\\DVP\\dev3.bin", "rb");
  DevicePassport q;
  EXPECT_EQ(ReadPassportBlock(q, &f), 0);
  EXPECT_EQ(q.deviceNumber, 3);
  EXPECT_EQ(ReadPassportBlock(q, &f), -2);  // nothing more
  EXPECT_EQ(ReadPassportBlock(q, nullptr), -1);

  // An old autoconnect file (version 121) carries no flag.
  Spit(Host("DVP/oldAdd.bin"), std::string("\x79\0\0\0\0\0\0\0", 8));
  File old("c:\\Tacmon\\DVP\\oldAdd.bin", "rb");
  DevicePassport r;
  EXPECT_EQ(ReadAutoconnectFile(&old, r), 0);
  EXPECT_EQ(r.useForAutoconnect, 1);
}

TEST_F(PassportFiles, RegistryLoadsSelectsAndFinds) {
  Spit(Host("DVP/a.dvp"), "DEVICE_NUMBER: 7\r\nDEVICE_ID: 0A1B2C3D4E5F\r\n");
  Spit(Host("DVP/b.dvp"), "DEVICE_NUMBER: 8\r\nDEVICE_ID: 111111111111\r\nFORMAT: 2\r\n");
  Spit(Host("DVP/c.DVP"), "DEVICE_NUMBER: 7\r\n");
  Spit(Host("DVP/bAdd.bin"), std::string("\x7c\0\0\0\0\0\0\0", 8));
  PassportRegistry r;
  std::vector<std::string> shown;
  static std::vector<std::string>* sink;
  sink = &shown;
  r.showMessage = [](const char* t) { sink->emplace_back(t); };
  LoadPassports(r);
  ASSERT_EQ(r.Count(), 3);
  EXPECT_EQ(r.passports[1].useForAutoconnect, 0);
  EXPECT_TRUE(std::filesystem::exists(Host("DVP/a._dvp_")));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0],
            "Некорректные паспорта устройств: устройство с номером 7 встречается дважды"_cp);
  EXPECT_EQ(r.current.deviceNumber, 7);

  EXPECT_EQ(SelectPassport(r, 1), 0);
  EXPECT_EQ(r.current.format, 2);
  EXPECT_EQ(SelectPassport(r, 3), -1);
  EXPECT_EQ(Log().back(), "(823368)Incorrect iPasp=3");
  EXPECT_EQ(SelectSecondPassport(r, 8), 0);
  EXPECT_EQ(r.second.deviceNumber, 8);
  EXPECT_EQ(SelectSecondPassport(r, 9), -1);
  EXPECT_EQ(Log().back(), "(845612)Incorrect Device Number=9");

  ASSERT_NE(FindPassportById(r, "0A1B2C3D4E5F"), nullptr);
  EXPECT_EQ(FindPassportById(r, "0a1b2c3d4e5f")->deviceNumber, 7);
  EXPECT_EQ(FindPassportById(r, "ffffffffffff"), nullptr);

  // Manometer calibration replaces slopes and shifts of the same device number.
  Spit(Host("DVP/Manometr/m.dvp"), "DEVICE_NUMBER: 8\r\nSLOPES: 4\r\nSHIFTS: 5\r\n");
  SelectPassport(r, 1);
  ReloadCalibration(r, true);
  EXPECT_DOUBLE_EQ(r.passports[1].slopes[0], 4);
  EXPECT_DOUBLE_EQ(r.current.shifts[0], 5);
  EXPECT_DOUBLE_EQ(r.passports[0].slopes[0], 1);

  PassportRegistry empty;
  std::filesystem::remove_all(Host("DVP"));
  LoadPassports(empty);
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(Log().back(), "(823368)Incorrect iPasp=0");
}

// A FIFO or a link to /dev/zero among the passports (or as a companion) would hang the start or
// fill the memory: each is reported and skipped, the good passports load.
TEST_F(PassportFiles, SpecialFilesAmongThePassportsAreReportedAndSkipped) {
  ::alarm(60);  // a blocking open ends the test instead of hanging it
  Spit(Host("DVP/a.dvp"), "DEVICE_NUMBER: 7\r\n");
  ASSERT_EQ(::mkfifo(Host("DVP/f.dvp").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", Host("DVP/z.dvp"));
  std::filesystem::create_symlink("/dev/zero", Host("DVP/aAdd.bin"));
  PassportRegistry r;
  LoadPassports(r);
  ASSERT_EQ(r.Count(), 1);
  EXPECT_EQ(r.passports[0].deviceNumber, 7);
  for (const char* name : {"aAdd.bin", "f.dvp", "z.dvp"}) {
    const std::string report =
        std::string("File 'c:\\Tacmon\\DVP\\") + name + "' is not a regular file; not opened";
    EXPECT_EQ(std::count(Log().begin(), Log().end(), report), 1) << report;
  }
  ::alarm(0);
}
TEST(Normalization, DisplayValuesByFormat) {
  DevicePassport p;
  struct Case {
    int format;
    double raw;
    double value;
    double fraction;
  } cases[] = {{1, 16000, 127.5, 0.5}, {0, 16000, 127.5, 0.5}, {0, 32000, 0, 0}, {1, 32000, 255, 1},
               {-1, 0, 255, 1},        {2, -100, 0, 0},        {1, 1e9, 255, 1}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(DisplayValueWith(p, 0, c.raw, c.format, 1.0), c.value) << c.format;
    EXPECT_DOUBLE_EQ(DisplayFractionWith(p, 0, c.raw, c.format, 1.0), c.fraction) << c.format;
  }
  EXPECT_DOUBLE_EQ(DisplayValueWith(p, 0, 16000, 1, 0.5), 63.75);
  SetReceptorDataFormat(1);
  SetReceptorSensitivity(1, 2.0);
  EXPECT_DOUBLE_EQ(DisplayValue(p, 0, 16000, 0), 127.5);
  EXPECT_DOUBLE_EQ(DisplayValue(p, 0, 16000, 1), 255);
  EXPECT_EQ(DisplayIndex(p, 0, 16000, 0), 128);
  SetReceptorSensitivity(1, 1.0);
  SetReceptorDataFormat(0);
}

TEST(Normalization, NanAndDegenerateConstantsStayInRange) {
  DevicePassport p;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  p.slopes[0] = nan;
  p.rangeLo[1] = p.rangeHi[1] = 5;  // zero span
  p.refSlope = std::numeric_limits<double>::infinity();
  for (int format : {0, 1}) {
    for (int ch : {0, 1, 2, -4, 500}) {
      double v = DisplayValueWith(p, ch, 100, format, 1.0);
      double f = DisplayFractionWith(p, ch, 100, format, nan);
      EXPECT_TRUE(v >= 0 && v <= 255) << ch;
      EXPECT_TRUE(f >= 0 && f <= 1) << ch;
    }
  }
  EXPECT_EQ(DisplayValueWith(p, 0, 100, 1, 1.0), 0);  // NaN maps to 0
}

TEST(ZeroPoint, CorrectsShiftsSoMedianSitsAtRest) {
  EXPECT_EQ(ZeroPointFrameCount(0.05), 20);
  EXPECT_EQ(ZeroPointFrameCount(1.0), 5);
  EXPECT_EQ(ZeroPointFrameCount(10.0), 2);
  EXPECT_EQ(ZeroPointFrameCount(0.0), 20);
  EXPECT_DOUBLE_EQ(ZeroPointMedian({5, 1, 4, 2}), 4);  // element n/2 of 1,2,4,5
  EXPECT_DOUBLE_EQ(ZeroPointMedian({}), 0);

  for (int format : {0, 1}) {
    DevicePassport p;
    p.refSlope = 2;
    p.refShift = 0;
    double median = Calibrate(p, 4, 1234);
    ASSERT_EQ(ApplyZeroPoint(p, 4, median, format), 0);
    EXPECT_DOUBLE_EQ(Calibrate(p, 4, 1234), format == 0 ? 32000 : 0);
    EXPECT_DOUBLE_EQ(DisplayValueWith(p, 4, 1234, format, 1.0), 0);
  }
  DevicePassport second;
  ApplyZeroPoint(second, 0, 10.6, 1, /*secondReceptor=*/true);
  EXPECT_DOUBLE_EQ(second.shifts[0], -11);

  DevicePassport bad;
  bad.refSlope = 0;
  EXPECT_EQ(ApplyZeroPoint(bad, 0, 100, 1), -1);
  bad.refSlope = std::nan("");
  EXPECT_EQ(ApplyZeroPoint(bad, 0, 100, 1), -1);
  EXPECT_DOUBLE_EQ(bad.shifts[0], 0);
  EXPECT_EQ(ApplyZeroPoint(bad, 200, 100, 1), -1);
}

TEST(PassportTexts, OkFlagsString) {
  DevicePassport p;
  p.numChannels = 5;
  p.ok[2] = 0;
  EXPECT_EQ(OkFlagsText(p), "XX-XX");
  ParseOkFlags("X- .a", p);
  EXPECT_EQ(OkFlagsText(p), "X---X");
}

}  // namespace

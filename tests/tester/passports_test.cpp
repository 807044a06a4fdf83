// The passports dialog's rules over a registry on fresh data roots (new, edit, delete, check
// marks and the files they leave), the edit fields, the draft passports from the last push and
// the doubles editor's lines.
#include "tester/passports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "acquisition/push_file.h"
#include "platform/file.h"
#include "platform/sync.h"
#include "support/scratch_roots.h"

namespace {

namespace fs = std::filesystem;
using tester::PassportFields;
using tester::PassportsEditor;

// ---- edit fields -------------------------------------------------------------------------------

TEST(PassportFieldsTest, ShowsAPassport) {
  DevicePassport p;
  p.deviceNumber = 12;
  ParseDeviceId("0a1b2c3d4e5f", p.deviceId);
  p.numChannels = 4;
  p.ok[1] = 0;
  p.refNumber = 3;
  p.refSlope = 2.999999;
  p.refShift = -0.5;
  const PassportFields f = tester::FieldsOf(p);
  EXPECT_EQ(f.number, "12");
  EXPECT_EQ(f.id, "0a1b2c3d4e5f");
  EXPECT_EQ(f.health, "X-XX");
  EXPECT_EQ(f.refNumber, "3");
  EXPECT_EQ(f.refSlope, "3.");
  EXPECT_EQ(f.refShift, "-0.5");
}

TEST(PassportFieldsTest, IdPairsOfAnyLength) {
  struct Case {
    const char* text;
    std::array<uint8_t, 6> id;
  } cases[] = {
      {"0a1b2c3d4e5f", {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}},
      {"0a1b", {0x0a, 0x1b, 0x1b, 0x1b, 0x1b, 0x1b}},  // short: the last pair repeats
      {"", {0, 0, 0, 0, 0, 0}},
      {"zz1bzz3d4e5f", {0, 0x1b, 0x1b, 0x3d, 0x4e, 0x5f}},  // a pair that does not scan
      {"0a1b2c3d4e5f77", {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}},
      {"A", {0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a}},
  };
  for (const auto& c : cases) {
    std::array<uint8_t, 6> id{9, 9, 9, 9, 9, 9};
    tester::ParseIdPairs(c.text, id);
    EXPECT_EQ(id, c.id) << c.text;
  }
}

TEST(PassportFieldsTest, StoringKeepsWhatDoesNotScanAndBoundsTheHealthText) {
  DevicePassport p;
  p.deviceNumber = 5;
  p.refNumber = 2;
  p.refSlope = 1.5;
  p.refShift = 0.25;
  PassportFields f;
  f.number = "5x";
  f.id = "0a1b2c3d4e5f";
  f.health = std::string(300, 'X');  // longer than the 128 channels
  f.refNumber = "99999999999";       // out of range
  f.refSlope = "nan";
  f.refShift = " -7.5 ";
  tester::StoreFields(f, p);
  EXPECT_EQ(p.deviceNumber, 5);
  EXPECT_EQ(p.refNumber, 2);
  EXPECT_EQ(p.refSlope, 1.5);
  EXPECT_EQ(p.refShift, -7.5);
  EXPECT_EQ(DeviceIdText(p), "0a1b2c3d4e5f");
  for (int i = 0; i < kPassportChannels; ++i) EXPECT_EQ(p.ok[i], 1) << i;

  // A short health text: the channels beyond it become not ok; "-", blank and "." are not ok.
  f.health = "X-. a";
  tester::StoreFields(f, p);
  EXPECT_EQ(p.ok[0], 1);
  EXPECT_EQ(p.ok[1], 0);
  EXPECT_EQ(p.ok[2], 0);
  EXPECT_EQ(p.ok[3], 0);
  EXPECT_EQ(p.ok[4], 1);
  for (int i = 5; i < kPassportChannels; ++i) EXPECT_EQ(p.ok[i], 0) << i;
}

TEST(PassportFieldsTest, ShortFileNamesAreBounded) {
  EXPECT_EQ(tester::WithoutLast3("a.dvp"), "a.");
  EXPECT_EQ(tester::WithoutLast3("dvp"), "");
  EXPECT_EQ(tester::WithoutLast3("ab"), "");
  EXPECT_EQ(tester::WithoutLast3(""), "");
  EXPECT_EQ(tester::MinMaxName("c:\\x\\a.dvp"), "c:\\x\\a.MinMax");
  EXPECT_EQ(tester::MinMaxName("a"), "MinMax");
}

TEST(EditDoubleLinesTest, LinesInTheShortNumberForm) {
  EXPECT_EQ(tester::DoubleLine(3, 2.999999), "3) 3.");
  EXPECT_EQ(tester::DoubleLine(0, -0.129996), "0) -0.13");
  EXPECT_EQ(tester::DoubleLineValue("3) 3."), "3.");
  EXPECT_EQ(tester::DoubleLineValue("12)   4.5  "), "4.5");
  EXPECT_EQ(tester::DoubleLineValue("no bracket"), "");
  double v = 0;
  EXPECT_TRUE(tester::ScanDouble(tester::DoubleLineValue("3) 3."), v));
  EXPECT_EQ(v, 3.0);
  EXPECT_FALSE(tester::ScanDouble("3.x", v));
  EXPECT_FALSE(tester::ScanDouble("inf", v));
  EXPECT_EQ(v, 3.0);
}

std::string Crlf(const std::string& text) {
  std::string s;
  for (char ch : text) s += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return s;
}

// ---- drafts ------------------------------------------------------------------------------------

std::vector<SensorFrame> Frames(const std::vector<std::array<int32_t, kSensorCount>>& values) {
  std::vector<SensorFrame> out;
  for (const auto& v : values) {
    SensorFrame f;
    f.values = v;
    for (int i = 0; i < kSensorCount; ++i) f.aux[i] = v[i];
    out.push_back(f);
  }
  return out;
}

std::array<int32_t, kSensorCount> All(int32_t v) {
  std::array<int32_t, kSensorCount> a;
  a.fill(v);
  return a;
}

TEST(DraftTest, ARangeBecomesZeroTo32000) {
  auto a = All(1000), b = All(9000), c = All(5000);
  a[1] = 7;
  b[1] = 8;
  c[1] = 7;  // d = 1: replaced by 1
  const auto r = tester::RangesOfFrames(Frames({a, b, c}), false);
  DevicePassport p;
  tester::ApplyDraftRanges(r, p);
  EXPECT_EQ(p.slopes[0], 4.0);
  EXPECT_EQ(p.shifts[0], -4000.0);
  EXPECT_EQ(p.rangeLo[0], 0);
  EXPECT_EQ(p.rangeHi[0], 32000);
  EXPECT_EQ(p.slopes[1], 32000.0);
  EXPECT_EQ(p.shifts[1], -7.0 * 32000.0);
  for (int i = 0; i < kSensorCount; ++i) {
    if (i == 1) continue;
    EXPECT_DOUBLE_EQ(Calibrate(p, i, 1000), 0.0);
    EXPECT_DOUBLE_EQ(Calibrate(p, i, 9000), 32000.0);
  }
}

TEST(DraftTest, WithoutDataTheDefaultsStay) {
  const DevicePassport defaults;
  DevicePassport p;
  tester::ApplyDraftRanges(tester::RangesOfFrames({}, false), p);
  for (int i = 0; i < kSensorCount; ++i) {
    EXPECT_EQ(p.slopes[i], defaults.slopes[i]);
    EXPECT_EQ(p.shifts[i], defaults.shifts[i]);
  }
  // The second device: a sensor that read 0 in every frame has no values either.
  auto a = All(100), b = All(300);
  a[4] = b[4] = 0;
  a[5] = 0;  // one reading only: 300
  const auto r = tester::RangesOfFrames(Frames({a, b}), true);
  EXPECT_FALSE(r.seen[4]);
  EXPECT_EQ(r.lo[4], 3200000);
  EXPECT_EQ(r.hi[4], -3200000);
  EXPECT_EQ(r.lo[5], 300);
  EXPECT_EQ(r.hi[5], 300);
  tester::ApplyDraftRanges(r, p);
  EXPECT_EQ(p.slopes[4], 1.0);
  EXPECT_EQ(p.shifts[4], 0.0);
  EXPECT_EQ(p.slopes[0], 160.0);
}

class PassportFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(roots_.data() / "DVP"); }
  fs::path Dvp(const std::string& name) const { return roots_.data() / "DVP" / name; }
  static std::string Win(const std::string& name) { return "c:\\Tacmon\\DVP\\" + name; }

  // A push with the values given as "pars\tmpSavedData.bin".
  void WriteLastPush(const std::vector<std::array<int32_t, kSensorCount>>& values) {
    Push push = CreatePush();
    push.frames = Frames(values);
    push.hasPassport = true;
    fs::create_directories(roots_.data() / "pars");
    ASSERT_EQ(WritePushFile(push, kStreamFile), 0);
  }

  ScratchRoots roots_;
};

TEST_F(PassportFiles, SecondDraftWritesMinMaxAndPassport) {
  auto a = All(100), b = All(300);
  a[4] = b[4] = 0;
  WriteLastPush({a, b});
  ASSERT_EQ(tester::WriteDraftPassport(Win("two.dvp"), true), 0);
  std::string expected;
  for (int i = 0; i < kSensorCount; ++i)
    expected += i == 4 ? "4: 3200000 -3200000\r\n" : std::to_string(i) + ": 100 300\r\n";
  EXPECT_EQ(ReadBytes(Dvp("two.MinMax")), expected);
  DevicePassport p;
  ASSERT_EQ(ReadDvp(p, Win("two.dvp")), 0);
  EXPECT_EQ(p.slopes[0], 160.0);
  EXPECT_EQ(p.shifts[0], -16000.0);
  EXPECT_EQ(p.slopes[4], 1.0);
  EXPECT_EQ(p.shifts[4], 0.0);
}

TEST_F(PassportFiles, FirstDraftWithoutAPushKeepsDefaults) {
  ASSERT_EQ(tester::WriteDraftPassport(Win("one.dvp"), false), 0);
  const DevicePassport defaults;
  EXPECT_EQ(ReadBytes(Dvp("one.dvp")), Crlf(FormatDvp(defaults)));
  EXPECT_FALSE(fs::exists(Dvp("one.MinMax")));
}

// ---- the passports dialog's rules --------------------------------------------------------------

std::vector<std::string>& Shown() {
  static std::vector<std::string> shown;
  return shown;
}

class PassportsEditorTest : public PassportFiles {
 protected:
  void SetUp() override {
    PassportFiles::SetUp();
    Shown().clear();
    registry_.showMessage = [](const char* text) { Shown().push_back(text); };
  }

  void OnFile(int number, const std::string& name, const char* id = "0a1b2c3d4e50") {
    DevicePassport p;
    p.deviceNumber = number;
    ParseDeviceId(id, p.deviceId);
    p.slopes[0] = 2.5;
    ASSERT_EQ(WriteDvp(Win(name), p), 0);
  }
  void Load() { LoadPassports(registry_); }

  PassportsEditor Editor() {
    return PassportsEditor(registry_, &lock_,
                           {[](const Text1251& t) { Shown().push_back(t); },
                            [this](const Text1251& t) {
                              Shown().push_back(t);
                              return answer_;
                            },
                            [this](const Text1251& t) {
                              Shown().push_back(t);
                              return answer_;
                            }});
  }
  static PassportFields WithNumber(PassportFields f, int number) {
    f.number = std::to_string(number);
    return f;
  }

  PassportRegistry registry_;
  TimedMutex lock_;
  bool answer_ = true;
};

TEST_F(PassportsEditorTest, NewTakesTheLastPassportAndRefusesItsNumber) {
  OnFile(3, "a.dvp");
  OnFile(5, "b.dvp", "0a1b2c3d4e55");
  Load();
  const std::string dvpB = ReadBytes(Dvp("b.dvp"));
  PassportsEditor e = Editor();
  ASSERT_EQ(e.Rows().size(), 2u);
  e.New();
  EXPECT_EQ(e.View(), 1);
  EXPECT_EQ(e.EditIndex(), 2);
  EXPECT_EQ(e.Fields().number, "5");
  EXPECT_EQ(e.Fields().id, "0a1b2c3d4e55");
  EXPECT_EQ(e.Slopes()[0], 2.5);

  EXPECT_FALSE(e.AddUpdate(e.Fields()));
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0],
            "Некорректные паспорта устройств: устройство с номером 5 встречается дважды"_cp);
  // Nothing written, the registry and the rows as they were, still in the edit view.
  EXPECT_EQ(e.View(), 1);
  EXPECT_EQ(registry_.Count(), 2);
  EXPECT_EQ(e.Rows().size(), 2u);
  EXPECT_FALSE(fs::exists(Dvp("pasp5.dvp")));
  EXPECT_EQ(ReadBytes(Dvp("b.dvp")), dvpB);

  // An existing passport given a taken number is refused the same way and keeps its number.
  e.Cancel();
  e.Edit(0);
  EXPECT_FALSE(e.AddUpdate(WithNumber(e.Fields(), 5)));
  EXPECT_EQ(registry_.passports[0].deviceNumber, 3);
  EXPECT_EQ(e.Rows()[0].number, 3);
}

TEST_F(PassportsEditorTest, NewPassportTakesTheFirstFreeVersionName) {
  OnFile(3, "pasp3.dvp");
  OnFile(5, "pasp5.dvp");
  Load();
  WriteBytes(Dvp("pasp7.dvp"), "taken");
  WriteBytes(Dvp("pasp7_v1.dvp"), "taken");
  PassportsEditor e = Editor();
  e.New();
  PassportFields f = WithNumber(e.Fields(), 7);
  f.health = "XXXXXXXXXXXXXXXXXX-";
  ASSERT_TRUE(e.AddUpdate(f));
  EXPECT_EQ(e.View(), 0);
  ASSERT_EQ(registry_.Count(), 3);
  const DevicePassport& p = registry_.passports[2];
  EXPECT_EQ(p.fileName, Win("pasp7_v2.dvp"));
  EXPECT_EQ(p.ok[18], 0);
  EXPECT_EQ(p.slopes[0], 2.5);  // no last push: the template's slopes
  EXPECT_GT(p.year, 2000);
  EXPECT_EQ(ReadBytes(Dvp("pasp7_v2.dvp")), Crlf(FormatDvp(p)));
  const auto block = EncodePassportBlock(p);
  EXPECT_EQ(ReadBytes(Dvp("pasp7_v2.bin")), std::string(block.begin(), block.end()));
  EXPECT_EQ(ReadBytes(Dvp("pasp7_v2Add.bin")), std::string("\x7c\0\0\0\x01\0\0\0", 8));
  ASSERT_EQ(e.Rows().size(), 3u);
  EXPECT_EQ(e.Rows()[2].number, 7);
  EXPECT_EQ(e.Rows()[2].health, "XXXXXXXXXXXXXXXXXX-");
  EXPECT_TRUE(e.Rows()[2].checked);
  EXPECT_TRUE(Shown().empty());  // no rewrite question for a new passport
}

TEST_F(PassportsEditorTest, FirstPassportOnAnEmptyRegistryWithTheLastPush) {
  auto lo = All(1000), hi = All(9000);
  WriteLastPush({lo, hi});
  Load();
  PassportsEditor e = Editor();
  e.New();
  EXPECT_EQ(e.View(), 1);
  EXPECT_EQ(e.EditIndex(), 0);
  EXPECT_EQ(e.Fields().number, "0");
  ASSERT_TRUE(e.AddUpdate(WithNumber(e.Fields(), 3)));
  ASSERT_EQ(registry_.Count(), 1);
  DevicePassport p;
  ASSERT_EQ(ReadDvp(p, Win("pasp3.dvp")), 0);
  EXPECT_EQ(p.deviceNumber, 3);
  EXPECT_EQ(p.slopes[7], 4.0);
  EXPECT_EQ(p.shifts[7], -4000.0);
}

TEST_F(PassportsEditorTest, RewriteQuestionDecidesWhichTextIsWritten) {
  OnFile(3, "a.dvp");
  Load();
  const std::string original = ReadBytes(Dvp("a.dvp"));
  PassportsEditor e = Editor();
  e.Edit(0);
  ASSERT_EQ(e.View(), 1);
  PassportFields f = e.Fields();
  f.refShift = "12.5";
  e.Shifts()[2] = -3;
  answer_ = false;
  ASSERT_TRUE(e.AddUpdate(f));
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].rfind("Перезаписать текстовый файл"_cp, 0), 0u);
  EXPECT_EQ(ReadBytes(Dvp("a.dvp")), original);
  const DevicePassport& p = registry_.passports[0];
  EXPECT_EQ(p.refShift, 12.5);
  EXPECT_EQ(p.shifts[2], -3.0);
  EXPECT_EQ(ReadBytes(Dvp("a._dvp_")), Crlf(FormatDvp(p)));
  EXPECT_EQ(ReadBytes(Dvp("aAdd.bin")).size(), 8u);

  answer_ = true;
  e.Edit(0);
  ASSERT_TRUE(e.AddUpdate(WithNumber(e.Fields(), 4)));
  EXPECT_EQ(ReadBytes(Dvp("a.dvp")), Crlf(FormatDvp(registry_.passports[0])));
  // The row follows the new number, so the passport is still found by it.
  EXPECT_EQ(e.Rows()[0].number, 4);
  Shown().clear();
  e.Edit(0);
  EXPECT_EQ(e.View(), 1);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(PassportsEditorTest, DeleteAsksAndRemovesTheTextFiles) {
  OnFile(3, "a.dvp");
  OnFile(5, "b.dvp", "0a1b2c3d4e55");
  Load();  // writes the "_dvp_" companions
  WriteBinaryPassport(registry_.passports[0], Win("a.dvp"));
  WriteAutoconnectFile(registry_.passports[0], Win("a.dvp"));
  PassportsEditor e = Editor();

  e.Delete(-1);
  answer_ = false;
  EXPECT_FALSE(e.Delete(0));
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0], "Паспорт не выбран"_cp);
  EXPECT_EQ(Shown()[1], "Уничтожить паспорт #3 (ID=0a1b2c3d4e50)?"_cp);
  EXPECT_TRUE(fs::exists(Dvp("a.dvp")));

  answer_ = true;
  ASSERT_TRUE(e.Delete(0));
  EXPECT_FALSE(fs::exists(Dvp("a.dvp")));
  EXPECT_FALSE(fs::exists(Dvp("a._dvp_")));
  EXPECT_TRUE(fs::exists(Dvp("a.bin")));
  EXPECT_TRUE(fs::exists(Dvp("aAdd.bin")));
  ASSERT_EQ(registry_.Count(), 1);
  EXPECT_EQ(registry_.passports[0].deviceNumber, 5);
  ASSERT_EQ(e.Rows().size(), 1u);
  EXPECT_EQ(e.Rows()[0].number, 5);
}

TEST_F(PassportsEditorTest, MessagesForMissingRowsAndEditIndex) {
  OnFile(3, "a.dvp");
  Load();
  PassportsEditor e = Editor();
  EXPECT_FALSE(e.AddUpdate(e.Fields()));  // edit index -1: nothing loaded yet
  e.Edit(-1);
  registry_.passports[0].deviceNumber = 8;  // the row's number is gone from the registry
  e.Edit(0);
  EXPECT_FALSE(e.Delete(0));
  const std::vector<std::string> expected = {"(2736073)Internal error", "Паспорт не выбран"_cp,
                                             "Устройство не найдено (1783875)"_cp,
                                             "Паспорт для уничтожения не выбран"_cp};
  EXPECT_EQ(Shown(), expected);
  EXPECT_EQ(e.View(), 0);
  EXPECT_EQ(e.EditIndex(), -1);
}

TEST_F(PassportsEditorTest, ExitWritesChangedCheckMarksOnly) {
  OnFile(3, "a.dvp");
  OnFile(5, "b.dvp", "0a1b2c3d4e55");
  Load();
  WriteAutoconnectFile(registry_.passports[1], Win("b.dvp"));
  const auto stamp = fs::last_write_time(Dvp("bAdd.bin"));
  PassportsEditor e = Editor();
  EXPECT_EQ(e.Exit({false, true}), 1);
  EXPECT_EQ(ReadBytes(Dvp("aAdd.bin")), std::string("\x7c\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(fs::last_write_time(Dvp("bAdd.bin")), stamp);
  EXPECT_EQ(registry_.passports[0].useForAutoconnect, 0);
  // Read back at the next start.
  PassportRegistry again;
  LoadPassports(again);
  EXPECT_EQ(again.passports[0].useForAutoconnect, 0);
  EXPECT_EQ(again.passports[1].useForAutoconnect, 1);
}

TEST_F(PassportsEditorTest, ChannelCountsOutsideTheArraysAreBounded) {
  for (int channels : {1000, -5}) {
    SCOPED_TRACE(channels);
    registry_.passports.assign(1, DevicePassport{});
    DevicePassport& p = registry_.passports[0];
    p.deviceNumber = 4;
    p.numChannels = channels;
    p.slopes.fill(2.0);
    p.fileName = Win("wide.dvp");
    PassportsEditor e = Editor();
    e.Edit(0);
    ASSERT_EQ(e.View(), 1);
    EXPECT_EQ(e.Fields().health.size(), channels > 0 ? 128u : 0u);
    e.Slopes()[127] = 3.0;
    answer_ = true;
    ASSERT_TRUE(e.AddUpdate(e.Fields()));
    EXPECT_EQ(registry_.passports[0].slopes[127], channels > 0 ? 3.0 : 2.0);
    EXPECT_TRUE(fs::exists(Dvp("wide.dvp")));
  }
}

TEST_F(PassportsEditorTest, ARegistryHeldByAnotherThreadIsNotChanged) {
  OnFile(3, "a.dvp");
  Load();
  PassportsEditor e = Editor();
  e.Edit(0);
  ASSERT_TRUE(lock_.Lock(0));
  std::thread other([&] { EXPECT_FALSE(e.AddUpdate(WithNumber(e.Fields(), 9))); });
  other.join();
  lock_.Unlock();
  EXPECT_EQ(registry_.passports[0].deviceNumber, 3);
}

}  // namespace

// Passports from calibration points: the least-squares and zero-preserving fits, their refusals,
// the zero levels of a zero-corrected passport and the whole operation on a registry.
#include "tester/passport_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "platform/sync.h"
#include "support/scratch_roots.h"

namespace {

using tester::CalibrationPoint;
using tester::FitResult;

CalibrationPoint Point(int32_t raw, double tester) {
  CalibrationPoint p;
  p.raw.fill(raw);
  p.testerValue = tester;
  return p;
}

void ExpectAllFinite(const FitResult& r) {
  for (int i = 0; i < kSensorCount; ++i) {
    EXPECT_TRUE(std::isfinite(r.slopes[i])) << i;
    EXPECT_TRUE(std::isfinite(r.shifts[i])) << i;
  }
}

TEST(LeastSquaresFit, TwoPointsOfTheFullRange) {
  const FitResult r = tester::FitLeastSquares({Point(0, 255), Point(32000, 0)});
  ASSERT_TRUE(r.ok) << r.message;
  for (int i = 0; i < kSensorCount; ++i) {
    EXPECT_NEAR(r.slopes[i], 1.0, 1e-12);
    EXPECT_NEAR(r.shifts[i], 0.0, 1e-9);
  }
}

TEST(LeastSquaresFit, DisplayValuesApproximateTheTesterValues) {
  // Points on display = 20 + raw / 100 (sensor 0) and 20 + raw / 50 (sensor 1).
  std::vector<CalibrationPoint> pts;
  const int32_t raws[] = {1000, 4000, 9000, 15000};
  for (int32_t raw : raws) {
    CalibrationPoint p = Point(raw, 20 + raw / 100.0);
    p.raw[1] = raw / 2;
    pts.push_back(p);
  }
  const FitResult r = tester::FitLeastSquares(pts);
  ASSERT_TRUE(r.ok) << r.message;
  DevicePassport p;
  for (int i = 0; i < kSensorCount; ++i) {
    p.slopes[i] = r.slopes[i];
    p.shifts[i] = r.shifts[i];
  }
  for (const CalibrationPoint& pt : pts) {
    EXPECT_NEAR(DisplayValueWith(p, 0, pt.raw[0], 0, 1.0), pt.testerValue, 1e-9);
    EXPECT_NEAR(DisplayValueWith(p, 1, pt.raw[1], 0, 1.0), pt.testerValue, 1e-9);
  }
}

TEST(LeastSquaresFit, PointsThatDetermineNoLineAreRefused) {
  struct Case {
    const char* name;
    std::vector<CalibrationPoint> points;
    int sensor;
  } cases[] = {
      {"no points", {}, 0},
      {"one point", {Point(5000, 100)}, 0},
      {"all raw values equal", {Point(5000, 100), Point(5000, 200), Point(5000, 50)}, 0},
  };
  for (auto& c : cases) {
    const FitResult r = tester::FitLeastSquares(c.points);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.sensor, c.sensor) << c.name;
    EXPECT_EQ(r.message, "Паспорт не создан: точки не определяют прямую для сенсора 1"_cp)
        << c.name;
    ExpectAllFinite(r);
  }
  // One sensor that never moved refuses the whole fit, naming it.
  std::vector<CalibrationPoint> pts = {Point(1000, 10), Point(8000, 200)};
  pts[1].raw[6] = 1000;
  const FitResult r = tester::FitLeastSquares(pts);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.sensor, 6);
  EXPECT_EQ(r.message, "Паспорт не создан: точки не определяют прямую для сенсора 7"_cp);
}

TEST(ZeroPreservingFit, KeepsTheZeroLevelAtZeroInEveryFormat) {
  for (int format : {-1, 0, 1, 2}) {
    tester::ZeroLevels zero;
    zero.fill(format <= 0 ? 12000.0 : 3000.0);
    // Tester values rising with the distance from the zero level.
    std::vector<CalibrationPoint> pts;
    for (int k = 1; k <= 4; ++k) {
      const int32_t raw = format <= 0 ? 12000 - 2000 * k : 3000 + 4000 * k;
      pts.push_back(Point(raw, 40.0 * k));
    }
    for (double R : {1.0, 1.5}) {
      for (double Q : {0.0, 250.0}) {
        const FitResult r = tester::FitZeroPreserving(pts, zero, R, Q, format);
        ASSERT_TRUE(r.ok) << r.message;
        DevicePassport p;
        p.refSlope = R;
        p.refShift = Q;
        for (int i = 0; i < kSensorCount; ++i) {
          p.slopes[i] = r.slopes[i];
          p.shifts[i] = r.shifts[i];
        }
        const double q = DisplayValueWith(p, 3, zero[3], format, 1.0);
        EXPECT_NEAR(q, 0.0, 1e-9) << format << " " << R << " " << Q;
        if (R == 1.0 && Q == 0.0) {
          // Points on a line through the zero level are met exactly.
          for (const CalibrationPoint& pt : pts)
            EXPECT_NEAR(DisplayValueWith(p, 3, pt.raw[3], format, 1.0), pt.testerValue, 1e-6)
                << format;
        }
      }
    }
  }
}

TEST(ZeroPreservingFit, RefusalsInsteadOfNaN) {
  tester::ZeroLevels zero;
  zero.fill(5000);
  struct Case {
    const char* name;
    std::vector<CalibrationPoint> points;
    tester::ZeroLevels zero;
    double refSlope;
  } cases[] = {
      {"no points", {}, zero, 1.0},
      {"all points at the zero level", {Point(5000, 10), Point(5000, 30)}, zero, 1.0},
      {"zero level 0", {Point(1000, 10), Point(4000, 30)}, tester::ZeroLevels{}, 1.0},
      {"reference slope 0", {Point(1000, 10), Point(4000, 30)}, zero, 0.0},
  };
  for (auto& c : cases) {
    const FitResult r = tester::FitZeroPreserving(c.points, c.zero, c.refSlope, 0, 1);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_FALSE(r.message.empty()) << c.name;
    ExpectAllFinite(r);
  }
}

TEST(ZeroLevels, OfAZeroCorrectedPassportAreTheRestingRawValues) {
  for (int format : {0, 1}) {
    DevicePassport p;
    p.slopes[2] = 1.25;
    p.refSlope = 0.8;
    p.refShift = 40;
    // The recording view's zero point from a resting raw value of 7000.
    for (int i = 0; i < kSensorCount; ++i) ApplyZeroPoint(p, i, Calibrate(p, i, 7000), format);
    const auto z = tester::ZeroLevelsOf(p, format);
    ASSERT_TRUE(z.has_value());
    for (int i = 0; i < kSensorCount; ++i) EXPECT_NEAR((*z)[i], 7000.0, 1e-6) << i;
    Push push = CreatePush();
    EXPECT_FALSE(tester::ZeroLevelsOf(push, format).has_value());  // no passport block
    push.passport = p;
    push.hasPassport = true;
    EXPECT_NEAR((*tester::ZeroLevelsOf(push, format))[5], 7000.0, 1e-6);
  }
  DevicePassport flat;
  flat.slopes[4] = 0;
  EXPECT_FALSE(tester::ZeroLevelsOf(flat, 1).has_value());
}

TEST(PassportFromPointsTest, WritesTheFileAndMakesItCurrent) {
  ScratchRoots roots;  // without the folder "DVP\tmp": it is made
  PassportRegistry r;
  r.current.deviceNumber = 5;
  r.current.rangeHi[0] = 1000;
  TimedMutex lock;
  tester::FitRequest req;
  req.points = {Point(0, 255), Point(32000, 0)};
  Text1251 message;
  ASSERT_TRUE(tester::PassportFromPoints(r, &lock, req, tester::kAutoPassportFile, &message))
      << message;
  EXPECT_EQ(r.current.deviceNumber, 5);
  EXPECT_EQ(r.current.rangeHi[0], 32000);
  EXPECT_NEAR(r.current.slopes[0], 1.0, 1e-12);
  DevicePassport onFile;
  ASSERT_EQ(ReadDvp(onFile, tester::kAutoPassportFile), 0);
  EXPECT_EQ(onFile.deviceNumber, 5);
  EXPECT_EQ(onFile.slopes[0], 1.0);

  // Renormalized points: the per-sensor values and the mean of the visible ones.
  Visibility visible{};
  visible[0] = visible[1] = true;
  CalibrationPoint pt = Point(16000, 0);
  pt.raw[1] = 0;
  const auto v = tester::ValuesOfPoint(r.current, pt, visible, 0, 1.0);
  EXPECT_NEAR(v.sensors[0], 127.5, 1e-9);
  EXPECT_NEAR(v.sensors[1], 255.0, 1e-9);
  EXPECT_NEAR(v.receptor, 191.25, 1e-9);

  // A file that cannot be written: the passport is current all the same, and the message says
  // that the file is not there.
  const Text1251 blocked = "c:\\Tacmon\\DVP\\blocked\\p.dvp";
  std::ofstream(roots.data() / "DVP" / "blocked") << "a file where the folder would be";
  r.current.rangeHi[0] = 1000;
  ASSERT_TRUE(tester::PassportFromPoints(r, &lock, req, blocked, &message));
  EXPECT_EQ(message, "Не удалось записать файл "_cp + blocked);
  EXPECT_EQ(r.current.rangeHi[0], 32000);
  EXPECT_NE(r.current.fileName, blocked) << "no file holds it";

  // A refused fit leaves the current passport and the file alone.
  const DevicePassport before = r.current;
  req.keepZero = true;  // without zero levels
  EXPECT_FALSE(tester::PassportFromPoints(r, &lock, req, "c:\\Tacmon\\DVP\\x.dvp", &message));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(r.current.slopes[0], before.slopes[0]);
  EXPECT_FALSE(std::filesystem::exists(roots.data() / "DVP" / "x.dvp"));
}

}  // namespace

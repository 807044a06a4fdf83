// The calibration figures: grouping, the fit with its errors, threshold and sensitivity, their
// texts, the zero measurement, and manometer and weight points.
#include "tester/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace tester;

KneePoint Point(double receptor, double tester) {
  KneePoint p;
  p.receptor = receptor;
  p.tester = tester;
  p.sensors.fill(receptor);
  return p;
}

std::vector<KneePoint> Line(int n, double a, double b) {
  std::vector<KneePoint> v;
  for (int i = 0; i < n; ++i) v.push_back(Point(i + 1, a * (i + 1) + b));
  return v;
}

TEST(Calibration, WorkedExampleGivesAnExactLine) {
  FitOptions o;
  o.nav = 1;
  o.sens = 0.06125;
  const auto pts = std::vector<KneePoint>{Point(1, 2), Point(2, 4), Point(3, 6), Point(4, 8)};
  const CalibrationResults r = ComputeCalibration(pts, o);
  ASSERT_TRUE(r.fit);
  EXPECT_EQ(ResultsLine(r, o),
            "Receptor(TestV)=2*TestV+0; Ср.ошибка=0%,  Макс.ошибка=0% от разброса значений"_cp);
  // Sensitivity: tester spread 6 over receptor spread 3, times SENS.
  EXPECT_DOUBLE_EQ(r.sensitivity, 2 * 0.06125);
  EXPECT_EQ(SensitivityCaption(r, o), "Чувств.=0.122500Н/емр"_cp);
  EXPECT_EQ(ErrorCaption(r), "Ср.ош.=  0%,  Макс.ош.=  0% от разбр.знач."_cp);  // width 3
}

TEST(Calibration, ErrorsAreMeasuredAgainstTheTesterRange) {
  FitOptions o;
  o.nav = 1;
  // Residuals +1, -1, -1, +1 around the line y = 2x + 1 (range 200).
  auto pts = Line(4, 2, 1);
  pts[0].tester += 1;
  pts[1].tester -= 1;
  pts[2].tester -= 1;
  pts[3].tester += 1;
  const CalibrationResults r = ComputeCalibration(pts, o);
  ASSERT_TRUE(r.fit);
  EXPECT_NEAR(r.a, 2.0, 1e-12);
  EXPECT_NEAR(r.b, 1.0, 1e-12);
  EXPECT_NEAR(r.meanError, 0.5, 1e-12);  // 100 * sqrt(4 / 4) / 200
  EXPECT_NEAR(r.maxError, 0.5, 1e-12);
  o.largeScale = true;  // range 400
  EXPECT_NEAR(ComputeCalibration(pts, o).meanError, 0.25, 1e-12);
  o.largeScale = false;
  o.diagonal = true;
  const CalibrationResults d = ComputeCalibration(pts, o);
  EXPECT_EQ(d.a, 1);
  EXPECT_EQ(d.b, 0);
}

TEST(Calibration, GroupsOfNavPointsAndTheTailLeftOut) {
  FitOptions o;
  o.nav = 50;
  auto pts = Line(120, 3, 5);
  for (int i = 100; i < 120; ++i) pts[i].tester = 1e6;  // the last 20 points are not used
  const CalibrationResults r = ComputeCalibration(pts, o);
  EXPECT_EQ(r.groups, 2);
  ASSERT_TRUE(r.fit);
  EXPECT_NEAR(r.a, 3, 1e-9);
  EXPECT_NEAR(r.b, 5, 1e-9);
}

// Every figure stays finite where the data cannot carry a line.
TEST(Calibration, TooFewOrFlatPointsGiveNoFitAndNoNaN) {
  struct Case {
    const char* what;
    std::vector<KneePoint> points;
    int nav;
    KneeMode mode;
    bool fit;
  };
  std::vector<KneePoint> flat;
  for (int i = 0; i < 10; ++i) flat.push_back(Point(7, i));
  const Case cases[] = {
      {"no points", {}, 1, KneeMode::kStandard, false},
      {"one point", {Point(1, 2)}, 1, KneeMode::kStandard, false},
      {"four points in one group", Line(4, 2, 0), 4, KneeMode::kStandard, false},
      {"NAv 0 counts as 1", Line(4, 2, 0), 0, KneeMode::kStandard, true},
      {"NAv negative", Line(4, 2, 0), -5, KneeMode::kStandard, true},
      {"one receptor value", flat, 1, KneeMode::kStandard, false},
      {"one weight", {Point(1000, 980)}, 1, KneeMode::kWeights, false},
      {"two weights", {Point(1000, 980), Point(500, 490)}, 1, KneeMode::kWeights, true},
      {"manometer, one point", {Point(10, 20)}, 1, KneeMode::kManometer, false},
      {"weights at zero", {Point(0, 0), Point(0, 0)}, 1, KneeMode::kWeights, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FitOptions o;
    o.nav = c.nav;
    o.mode = c.mode;
    o.sens = 1;
    const CalibrationResults r = ComputeCalibration(c.points, o);
    EXPECT_EQ(r.fit, c.fit);
    for (double x : {r.a, r.b, r.meanError, r.maxError, r.threshold, r.sensitivity})
      EXPECT_TRUE(std::isfinite(x)) << x;
    const Text1251 line = ResultsLine(r, o);
    EXPECT_EQ(line.find("nan"), std::string::npos) << line;
    EXPECT_EQ(line.find("inf"), std::string::npos) << line;
    if (!c.fit) {
      EXPECT_EQ(line.find(';'), std::string::npos) << "the short form";
    }
  }
}

TEST(Calibration, WeightsModeGoesThroughTheOriginWithItsOwnRange) {
  FitOptions o;
  o.mode = KneeMode::kWeights;
  o.nav = 1;
  // Weights of 500 g and 1000 g read as forces 240 and 500: range 200 raised to 525.
  const std::vector<KneePoint> pts = {Point(500, 240), Point(1000, 500)};
  const CalibrationResults r = ComputeCalibration(pts, o);
  ASSERT_TRUE(r.fit);
  EXPECT_DOUBLE_EQ(r.a, 0.5);
  EXPECT_EQ(r.b, 0);
  EXPECT_DOUBLE_EQ(r.range, 525);
  EXPECT_NEAR(r.maxError, 100 * 10.0 / 525, 1e-9);
  EXPECT_EQ(r.threshold, 0);
  EXPECT_NEAR(r.sensitivity, 500.0 / 260 * 9.8 / 1000, 1e-12);
}

TEST(Calibration, ManometerFiguresInPascalsOrKilopascals) {
  FitOptions o;
  o.mode = KneeMode::kManometer;
  o.nav = 1;
  // Pressure = 2 x receptor + 1: threshold 1 mm Hg, sensitivity 6/3 mm Hg per unit.
  const CalibrationResults r = ComputeCalibration(Line(4, 2, 1), o);
  EXPECT_EQ(ResultsLine(r, o),
            "Receptor(TestV)=2*TestV+1; Ср.ошибка=0%,  Макс.ошибка=0% от разброса значений, "
            "Порог чувств.= 133.32Па (1мм.рт.ст.), Чувств.= 266.64Па/емр (2мм.рт.ст./емр)"_cp);
  o.largeScale = true;
  EXPECT_EQ(SensitivityCaption(r, o), "Чувств.=2.000000кПа/емр (15.0015мм.рт.ст./емр)"_cp);
}

TEST(Calibration, MeanOfVisibleSensorsRoundsHalvesUp) {
  std::array<int, kKneeSensors> v{};
  std::array<bool, kKneeSensors> visible{};
  v[0] = 1;
  v[1] = 2;
  visible[0] = visible[1] = true;
  EXPECT_EQ(VisibleMeanMax(v, visible).mean, 2);  // (3 + 1) / 2
  EXPECT_EQ(VisibleMeanMax(v, visible).max, 2);
  visible.fill(false);
  EXPECT_EQ(VisibleMeanMax(v, visible).mean, 0) << "no visible sensor counts as one";
  EXPECT_EQ(ConvertTesterForce(1400, 1556, true), 156);
  EXPECT_EQ(ConvertTesterForce(1600, 1556, true), 0);
  EXPECT_EQ(ConvertTesterForce(1600, 1556, false), 1600);
}

TEST(Calibration, ZeroMeasurementAveragesTheFirstThreeSeconds) {
  ZeroMeasurement z;
  z.Restart(100);
  EXPECT_FALSE(z.Tick(100.5, false, 999)) << "nothing before a tester sample";
  EXPECT_FALSE(z.Tick(101, true, 1500));
  EXPECT_FALSE(z.Tick(102, true, 1503));
  EXPECT_EQ(z.Tick(103.01, true, 0), 1502) << "1501.5 rounds up";
  EXPECT_FALSE(z.InProgress());
  // No sample within the 3 s: the passport's MINUS stays.
  z.Restart(200);
  EXPECT_FALSE(z.Tick(203.5, true, 50));
  EXPECT_FALSE(z.InProgress());
}

TEST(Calibration, ManometerCoefficientsNeverDivideByZero) {
  std::array<int, kKneeSensors> values{}, raw{};
  std::array<bool, kKneeSensors> visible;
  visible.fill(true);
  ManometerCoefficients c;
  for (bool separate : {false, true}) {
    SCOPED_TRACE(separate);
    // The series starts at 20 mm Hg with the probe reading 0: k = 0.
    KneePoint first = ManometerPoint(values, raw, visible, 20, separate, true, c, 0);
    EXPECT_EQ(c.k, 0);
    if (separate) {
      EXPECT_EQ(c.ki[0], 1e-10);
    }
    values.fill(40);
    KneePoint next = ManometerPoint(values, raw, visible, 40, separate, false, c, 1);
    EXPECT_EQ(next.receptor, 40);
    for (double s : next.sensors) EXPECT_TRUE(std::isfinite(s));
    for (double s : first.sensors) EXPECT_EQ(s, 0);
    values.fill(0);
  }
  // A usual series: value / k per sensor, k from the first point.
  values.fill(50);
  KneePoint p = ManometerPoint(values, raw, visible, 0.5, false, true, c, 0);
  EXPECT_EQ(c.k, 50) << "pressure below 1 counts as 1";
  EXPECT_EQ(p.sensors[3], 1);
}

TEST(Calibration, ThePointTableIsARingOfTenThousand) {
  PointTable t;
  for (int i = 0; i < kMaxKneePoints + 5; ++i) t.Add(Point(i, i));
  EXPECT_EQ(t.Count(), kMaxKneePoints);
  EXPECT_EQ(t.At(0).receptor, kMaxKneePoints);  // overwritten in place
  EXPECT_EQ(t.At(5).receptor, 5);
  t.Clear();
  EXPECT_EQ(t.Count(), 0);
  const KneePoint w = WeightPoint(9800, 10, 1000, 3);
  EXPECT_EQ(w.tester, 980);
  EXPECT_EQ(w.raw[18], 1000);
  EXPECT_EQ(WeightPoint(5, 0, 1, 0).tester, 5) << "no count divides by 1";
}

}  // namespace

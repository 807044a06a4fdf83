#include "view/sensor_tuning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using view::SensorCharacteristicsEditor;

TEST(SensitivityScale, SliderPositionsGiveTheirValues) {
  const struct {
    int position;
    double value;
  } cases[] = {
      {0, 0.0},      {250, 0.5}, {500, 1.0},    {750, 25.75},
      {1000, 100.0}, {-5, 0.0},  {1200, 100.0}, {501, 1.000396},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(view::SensitivityFromSlider(c.position), c.value, 1e-6) << c.position;
}

TEST(SensitivityScale, ValuesPlaceTheSliderAndComeBackFromIt) {
  const struct {
    double value;
    int position;
  } cases[] = {
      {0.0, 0}, {0.5, 250}, {1.0, 500}, {25.75, 750}, {100.0, 1000}, {150.0, 1000}, {-2.0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(view::SliderFromSensitivity(c.value), c.position) << c.value;
  // Every position survives the trip through its value, but 501, whose value snaps to 1.
  for (int p = 0; p <= view::kSensitivitySliderMax; ++p)
    ASSERT_EQ(view::SliderFromSensitivity(view::SensitivityFromSlider(p)), p == 501 ? 500 : p) << p;
}

TEST(SensitivityScale, ValuesAreLimitedAndSnappedToOne) {
  const struct {
    double in, out;
  } cases[] = {
      {150, 100},     {-2, 0},    {1.0004, 1}, {0.9991, 1},
      {1.002, 1.002}, {0.5, 0.5}, {100, 100},  {NAN, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(view::LimitSensitivity(c.in), c.out) << c.in;
}

TEST(TypedNumbers, OnlyFiniteNumbersScan) {
  const std::map<std::string, std::optional<double>> cases = {
      {"2.5", 2.5},
      {" -3", -3.0},
      {"1e2", 100.0},
      {"7abc", 7.0},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"abc", std::nullopt},
      {"nan", std::nullopt},
      {"NaN", std::nullopt},
      {"inf", std::nullopt},
      {"-Infinity", std::nullopt},
      {"1e999", std::nullopt},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(view::ScanNumber(text), want) << text;
}

TEST(TypedNumbers, SensorNumbersAreLimited) {
  const std::map<std::string, int> cases = {{"1", 0},   {"19", 18}, {"7", 6},
                                            {"0", 0},   {"-4", 0},  {"25", 18},
                                            {"abc", 0}, {"", 0},    {"99999999999999999999", 18}};
  for (const auto& [text, want] : cases) EXPECT_EQ(view::SensorFromText(text), want) << text;
}

// Collects what the editor writes into a passport, as the windows see it.
struct Written {
  DevicePassport passport;
  std::vector<int> sensors;
  view::CoefficientsSink Sink() {
    return [this](int s, double a, double b) {
      passport.slopes[s] = a;
      passport.shifts[s] = b;
      sensors.push_back(s);
    };
  }
};

TEST(SensorCharacteristics, ArrowsOfATurnTheLineAboutTheRangeTop) {
  DevicePassport p;
  p.slopes[3] = 2;
  p.shifts[3] = 100;
  p.rangeHi[3] = 32000;
  Written w{p, {}};
  SensorCharacteristicsEditor e(p, w.Sink());
  e.Show(3);
  e.StepA(+1, 1);
  EXPECT_DOUBLE_EQ(w.passport.slopes[3], 3);
  EXPECT_DOUBLE_EQ(w.passport.shifts[3], -15850);
  // The raw value that reached the top still does.
  EXPECT_DOUBLE_EQ(15950 * w.passport.slopes[3] + w.passport.shifts[3], 32000);

  const struct {
    int d;
    double step;
  } steps[] = {{-1, 0.1}, {+1, 10}, {-1, 100}, {+1, 0.1}};
  for (const auto& s : steps) {
    const double a = e.A();
    e.StepA(s.d, s.step);
    EXPECT_NEAR(e.A(), a + s.d * s.step, 1e-12);
    if (e.A() != 0) {
      EXPECT_NEAR(15950 * w.passport.slopes[3] + w.passport.shifts[3], 32000, 1e-6) << s.d * s.step;
    }
  }
}

TEST(SensorCharacteristics, AStepWhileAIsZeroLeavesBUnchanged) {
  DevicePassport p;
  p.slopes[0] = 0;
  p.shifts[0] = 250;
  Written w{p, {}};
  SensorCharacteristicsEditor e(p, w.Sink());
  e.Show(0);
  e.StepA(+1, 10);
  EXPECT_EQ(w.passport.slopes[0], 10);
  EXPECT_EQ(w.passport.shifts[0], 250);
  // A step that brings A to 0 is taken; the next one keeps B.
  e.StepA(-1, 10);
  EXPECT_EQ(w.passport.slopes[0], 0);
  EXPECT_EQ(w.passport.shifts[0], 32000);
  e.StepA(-1, 1);
  EXPECT_EQ(w.passport.slopes[0], -1);
  EXPECT_EQ(w.passport.shifts[0], 32000);
  EXPECT_TRUE(std::isfinite(e.B()));
}

TEST(SensorCharacteristics, ArrowsOfBAndTypedValues) {
  DevicePassport p;
  Written w{p, {}};
  SensorCharacteristicsEditor e(p, w.Sink());
  e.Show(5);
  e.StepB(+1, 100);
  e.StepB(-1, 0.1);
  EXPECT_DOUBLE_EQ(w.passport.shifts[5], 99.9);
  EXPECT_EQ(w.passport.slopes[5], 1.0);

  EXPECT_TRUE(e.TypeA("2.5"));
  EXPECT_TRUE(e.TypeB("-40"));
  EXPECT_EQ(w.passport.slopes[5], 2.5);
  EXPECT_EQ(w.passport.shifts[5], -40);
  // Texts that do not scan change nothing and write nothing.
  const size_t writes = w.sensors.size();
  for (const char* bad : {"nan", "inf", "", "x1"}) {
    EXPECT_FALSE(e.TypeA(bad)) << bad;
    EXPECT_FALSE(e.TypeB(bad)) << bad;
  }
  EXPECT_EQ(w.sensors.size(), writes);
  EXPECT_EQ(e.A(), 2.5);
  EXPECT_EQ(e.B(), -40);
}

TEST(SensorCharacteristics, CancelRestoresEverySensorEditedBeforeAndAfterChangingSensor) {
  DevicePassport p;
  for (int k = 0; k < kSensorCount; ++k) {
    p.slopes[k] = 1 + k * 0.125;
    p.shifts[k] = -1000 - 10 * k;
  }
  p.slopes[30] = 7;  // beyond the 19 sensors: never touched
  Written w{p, {}};
  SensorCharacteristicsEditor e(p, w.Sink());
  e.Show(0);
  e.StepA(+1, 100);
  e.Show(e.Sensor() + 7);
  e.StepB(-1, 10);
  e.TypeA("3");
  e.Show(18);
  e.StepA(-1, 0.1);
  e.Show(40);  // limited to 18
  EXPECT_EQ(e.Sensor(), 18);
  EXPECT_NE(w.passport.slopes[0], p.slopes[0]);
  EXPECT_NE(w.passport.shifts[7], p.shifts[7]);

  e.Cancel();
  for (int k = 0; k < kSensorCount; ++k) {
    EXPECT_EQ(w.passport.slopes[k], p.slopes[k]) << k;
    EXPECT_EQ(w.passport.shifts[k], p.shifts[k]) << k;
    EXPECT_EQ(e.A(k), p.slopes[k]);
    EXPECT_EQ(e.B(k), p.shifts[k]);
  }
  EXPECT_EQ(w.passport.slopes[30], 7);
}

}  // namespace

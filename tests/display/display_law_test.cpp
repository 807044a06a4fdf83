// The arithmetic of the display link: the sensor map, the transfer law, the constant force and
// the visibility flags, and the display passport file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "display/display_link.h"
#include "support/scratch_roots.h"

namespace display {
namespace {

TEST(TransferLaw, GivesTheLevelsOfTheLawLimitedTo0To255) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double in, v0, v1;
    int out;
  } cases[] = {
      {0, 25, 500, 25},    {120, 25, 500, 249},   {123, 25, 500, 254}, {124, 25, 500, 255},
      {255, 25, 500, 255}, {255, 0, 255, 255},    {0, -10, 255, 0},    {100, 0, 255, 100},
      {-1e9, 25, 500, 0},  {1e300, 25, 500, 255}, {kNan, 25, 500, 0},  {10, kNan, 500, 0},
      {10, 25, kInf, 255}, {10, -kInf, 0, 0},     {0, kInf, kInf, 0},  {1e308, 0, 1e308, 255},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TransferLaw(c.in, c.v0, c.v1), c.out) << c.in << " " << c.v0 << " " << c.v1;
}

TEST(SensorMap, OneToOneTakesTheFirstIndexAndOtherwiseTheMeanOfBoth) {
  std::array<int, kSensorCount> in{};
  for (int i = 0; i < kSensorCount; ++i) in[i] = 10 * i + 1;  // 1, 11, 21, ...
  const Levels one = MapToDisplay(in, true);
  const Levels mean = MapToDisplay(in, false);
  const int first[19] = {9, 5, 10, 14, 13, 8, 4, 1, 2, 6, 11, 15, 18, 17, 16, 12, 7, 3, 0};
  const int second[19] = {9, 5, 10, 14, 13, 8, 4, 2, 6, 11, 15, 18, 17, 16, 12, 7, 3, 0, 1};
  for (int k = 0; k < 19; ++k) {
    EXPECT_EQ(one[k], in[first[k]]) << "display sensor " << k + 1;
    EXPECT_EQ(mean[k], (in[first[k]] + in[second[k]]) / 2) << "display sensor " << k + 1;
  }
  // Display sensor 8 takes indices 1 and 2: (11 + 21) / 2; rounded toward zero.
  EXPECT_EQ(mean[7], 16);
  in[1] = 3;
  in[2] = 4;
  EXPECT_EQ(MapToDisplay(in, false)[7], 3);
}

// The protocol's display map: a level goes back through the law to the cell of the display
// sensor's first receptor sensor.
TEST(SensorMap, LevelsGoBackThroughTheLawToTheirCells) {
  std::array<int, kSensorCount> in{};
  for (int i = 0; i < kSensorCount; ++i) in[i] = 13 * i;  // 0 .. 234
  for (const auto& [v0, v1] : {std::pair{0.0, 255.0}, {25.0, 500.0}, {255.0, 0.0}, {10.0, 40.0}}) {
    SCOPED_TRACE(std::to_string(v0) + " " + std::to_string(v1));
    Levels levels{};
    const Levels mapped = MapToDisplay(in, true);
    for (int k = 0; k < 19; ++k) levels[k] = TransferLaw(mapped[k], v0, v1);
    const std::array<int, kSensorCount> back = LevelsOnReceptorMap(levels, v0, v1);
    // Below the law's limit each index comes back within the rounding of one level step.
    const double step = 255.0 / std::fabs(v1 - v0);
    for (int s = 0; s < kSensorCount; ++s) {
      const double level = v0 + in[s] * (v1 - v0) / 255.0;
      if (level < 0 || level > 255) {
        EXPECT_LE(back[s], in[s]) << "a limited level gives at most the index " << s;
        continue;
      }
      EXPECT_NEAR(back[s], in[s], std::max(1.0, step)) << s;
    }
  }
  // The identity law gives every index back exactly.
  Levels levels{};
  const Levels mapped = MapToDisplay(in, true);
  for (int k = 0; k < 19; ++k) levels[k] = TransferLaw(mapped[k], 0, 255);
  EXPECT_EQ(LevelsOnReceptorMap(levels, 0, 255), in);
  // V0 = V1 (no law to go back through) and values outside 0..255 stay on the scale.
  levels.fill(200);
  for (int v : LevelsOnReceptorMap(levels, 100, 100)) EXPECT_EQ(v, 0);
  for (int v : LevelsOnReceptorMap(levels, 0, 100)) EXPECT_EQ(v, 255);
  for (int v : LevelsOnReceptorMap(levels, 250, 255)) EXPECT_EQ(v, 0);
}

TEST(DisplayLevel, ConstantForceAndVisibilityOverTheLaw) {
  const DisplayPassport p{25, 500};
  struct Case {
    int k, mapped, force, sensor;
    bool visible;
    int out;
  } cases[] = {
      {1, 0, -1, -1, true, 25},                               // the law
      {1, 0, 100, -1, true, 100},                             // constant force to every sensor
      {7, 0, 100, -1, true, 100}, {5, 0, 100, 5, true, 100},  // only sensor 5 ...
      {4, 200, 100, 5, true, 0},                              // ... all others 0
      {4, 0, 100, 25, true, 100},  // a sensor outside 1..19 is as an empty field
      {4, 0, 100, 0, true, 100},  {3, 0, 256, -1, true, 25},  // outside 0..255: the law stays
      {3, 0, -5, -1, true, 25},   {3, 0, 0, -1, true, 0},
      {9, 123, -1, -1, false, 0},  // a cleared flag: 0, even in constant force
      {9, 0, 200, -1, false, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayLevel(c.k, c.mapped, p, {c.force, c.sensor}, c.visible), c.out)
        << c.k << " " << c.mapped << " " << c.force << " " << c.sensor << " " << c.visible;
}

TEST(ConstantForce, StepsAreLimitedTo0To255) {
  EXPECT_EQ(StepConstantForce(-1, 10), 9);
  EXPECT_EQ(StepConstantForce(5, -10), 0);
  EXPECT_EQ(StepConstantForce(250, 50), 255);
  EXPECT_EQ(StepConstantForce(100, -50), 50);
  EXPECT_EQ(StepConstantForce(std::numeric_limits<int>::max(), 50), 255);
}

TEST(FrameCommand, TwoDigitsForTheSensorAndThreeForTheLevel) {
  EXPECT_EQ(FrameCommand(7, 128), "k07=128");
  EXPECT_EQ(FrameCommand(19, 0), "k19=000");
  EXPECT_EQ(FrameCommand(1, 5), "k01=005");
}

TEST(DisplayPassportFile, LinesAreSplitAtTheFirstColonWithKeysInAnyCase) {
  struct Case {
    const char* text;
    double v0, v1;
  } cases[] = {
      {"V0: 10\nV1: 300\n", 10, 300},
      {"  v1 :  300  \r\n", 25, 300},  // lower-case key, blanks around the colon
      {"V0:\nV1: 7\n", 25, 7},         // only a key and a colon: nothing changes
      {"V0: abc\n", 25, 500},          // a value that does not parse keeps the old one
      {"V2: 1\nX: 2\nno colon\n", 25, 500},
      {"V0: 1:2\n", 1, 500},     // split at the first colon; "%lg" reads 1
      {"V0: -3.5e1", -35, 500},  // without a final line end
  };
  for (const Case& c : cases) {
    DisplayPassport p;
    ParseDisplayPassport(c.text, p);
    EXPECT_DOUBLE_EQ(p.v0, c.v0) << c.text;
    EXPECT_DOUBLE_EQ(p.v1, c.v1) << c.text;
  }
}

TEST(DisplayPassportFile, IsWrittenAsTwoLinesAndReadBack) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "DVP");
  SetDisplayPassport({12.5, 300});
  ASSERT_EQ(SaveDisplayPassport(), 0);
  EXPECT_EQ(ReadBytes(roots.data() / "DVP" / "display.dsp"), "V0: 12.5\r\nV1: 300\r\n");
  SetDisplayPassport({0, 0});
  LoadDisplayPassport();
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v0, 12.5);
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v1, 300);
  // A missing file leaves both values.
  std::filesystem::remove(roots.data() / "DVP" / "display.dsp");
  SetDisplayPassport({1, 2});
  LoadDisplayPassport();
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v0, 1);
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v1, 2);
  SetDisplayPassport({});
}

}  // namespace
}  // namespace display

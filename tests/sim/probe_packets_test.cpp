// The simulator's encoder against the wire description, written out byte by byte.
#include "sim/probe_packets.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "sim/probe_sim.h"
#include "sim/push_model.h"

namespace {

int WordAt(const std::vector<uint8_t>& p, int word) {
  return static_cast<int16_t>(p[2 * word] | (p[2 * word + 1] << 8));
}

std::array<int16_t, sim::kSensors> Ramp() {
  std::array<int16_t, sim::kSensors> v{};
  for (int s = 0; s < sim::kSensors; ++s) v[s] = static_cast<int16_t>(100 * (s + 1));
  return v;
}

struct FormatCase {
  int format;
  size_t length;
  const char* header;         // leading bytes
  std::array<int, 19> words;  // packet word of sensors 1..19
};

TEST(ProbePackets, SensorsSitInTheWordsOfTheirFormat) {
  const FormatCase cases[] = {
      {0, 52, "TC12", {10, 8, 6, 11, 9, 7, 24, 14, 13, 12, 23, 22, 15, 17, 19, 21, 16, 18, 20}},
      {1, 56, "TC14", {8, 6, 4, 9, 7, 5, 22, 12, 11, 10, 21, 20, 13, 15, 17, 19, 14, 16, 18}},
      {2, 91, "KTZ", {11, 9, 7, 12, 10, 8, 25, 15, 14, 13, 24, 23, 16, 18, 20, 22, 17, 19, 21}},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.format);
    auto p = sim::EncodePacket(c.format, Ramp(), sim::ProbeStatus{});
    ASSERT_EQ(p.size(), c.length);
    EXPECT_EQ(std::string(p.begin(), p.begin() + std::strlen(c.header)), c.header);
    for (int s = 0; s < 19; ++s)
      EXPECT_EQ(WordAt(p, c.words[s]), 100 * (s + 1)) << "sensor " << s + 1;
  }
}

TEST(ProbePackets, StatusWordsAndFormat2Frame) {
  sim::ProbeStatus st;
  st.supply0 = 372;
  st.supply1 = 368;
  st.supplyRaw = 12700;
  st.button = 1;
  auto p0 = sim::EncodePacket(0, Ramp(), st);
  EXPECT_EQ(WordAt(p0, 3), 372);
  EXPECT_EQ(WordAt(p0, 4), 368);
  auto p1 = sim::EncodePacket(1, Ramp(), st);
  EXPECT_EQ(WordAt(p1, 23), 12700);
  EXPECT_EQ(WordAt(p1, 24), 1);
  auto p2 = sim::EncodePacket(2, Ramp(), st);
  EXPECT_EQ(p2[5], 'A');
  uint8_t sum = 0;
  for (int i = 0; i < 90; ++i) sum = static_cast<uint8_t>(sum + p2[i]);
  EXPECT_EQ(p2[90], sum);
  // Negative values travel as two's complement little-endian words.
  std::array<int16_t, 19> v{};
  v[0] = -32768;
  auto pn = sim::EncodePacket(0, v, st);
  EXPECT_EQ(pn[20], 0x00);
  EXPECT_EQ(pn[21], 0x80);
}

TEST(ProbePackets, SecondProbeAndBadHeader) {
  EXPECT_EQ(sim::EncodeSecondPacket(0, Ramp(), {}).size(), 52u);
  EXPECT_EQ(sim::EncodeSecondPacket(2, Ramp(), {}).size(), 56u);
  auto second = sim::EncodeSecondPacket(2, Ramp(), {});
  EXPECT_EQ(std::string(second.begin(), second.begin() + 4), "TC14");
  auto bad = sim::EncodePacket(1, Ramp(), {}, true);
  EXPECT_EQ(bad[0], 'X');
  EXPECT_EQ(bad[1], 'X');
}

TEST(PushModel, ScriptParsesAndRampsThroughItsPhases) {
  auto s = sim::PushScript::Parse("rest:1,press:1:0.5,hold:1,release:1");
  ASSERT_TRUE(s);
  struct Point {
    double t, pressure;
  } points[] = {{0.5, 0}, {1.5, 0.25}, {2.0, 0.5}, {2.5, 0.5}, {3.5, 0.25}, {4.5, 0}, {5.5, 0.25}};
  for (const Point& p : points) EXPECT_NEAR(s->Pressure(p.t), p.pressure, 1e-9) << p.t;
  for (const char* bad : {"", "push:1", "rest", "rest:-1", "press:1:2", "rest:1:0.5:3"})
    EXPECT_FALSE(sim::PushScript::Parse(bad)) << bad;
}

TEST(PushModel, OffPhaseIsThePowerButtonWithNoPressure) {
  auto s = sim::PushScript::Parse("rest:1,press:1:0.5,off:2");
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->HasOffPhase());
  EXPECT_FALSE(sim::PushScript::Parse("rest:1,press:1")->HasOffPhase());
  struct Point {
    double t;
    bool on;
    double pressure;
  } points[] = {
      {0.5, true, 0}, {1.5, true, 0.25}, {2.5, false, 0}, {3.9, false, 0}, {4.2, true, 0}};
  for (const Point& p : points) {
    EXPECT_EQ(s->On(p.t), p.on) << p.t;
    EXPECT_NEAR(s->Pressure(p.t), p.pressure, 1e-9) << p.t;
  }
}

TEST(PushModel, PressMovesFormat0DownAndOthersUpMostOverTheInclusion) {
  for (int format : {0, 1, 2}) {
    SCOPED_TRACE(format);
    sim::SensorModelOptions o;
    o.format = format;
    sim::SensorModel m(o);
    auto rest = m.Values(0);
    auto press = m.Values(0.8);
    for (int s = 0; s < 19; ++s) {
      EXPECT_EQ(rest[s], m.RestValue(s));
      int delta = format == 0 ? rest[s] - press[s] : press[s] - rest[s];
      EXPECT_GT(delta, 3000) << s;
    }
    // Sensor 10 is over the inclusion and in the centre: the largest response.
    int centre = format == 0 ? rest[9] - press[9] : press[9] - rest[9];
    int corner = format == 0 ? rest[0] - press[0] : press[0] - rest[0];
    EXPECT_GT(centre, corner * 2);
  }
}

// The inclusion can be placed (sensors over it), made deeper (a weaker response that its
// neighbours share) or left out (gain 1); the command line sets place and gain.
TEST(PushModel, InclusionPlaceDepthAndNone) {
  sim::SensorModelOptions o;
  o.noise = 0;
  o.inclusion = {0};
  o.inclusionGain = 1.5;
  o.inclusionSpread = 0.4;
  sim::SensorModel m(o);
  const auto rest = m.Values(0), press = m.Values(0.5);
  auto response = [&](int s) { return (press[s] - rest[s]) / sim::SensorModel::Weight(s); };
  EXPECT_NEAR(response(0), 8000 * 1.5, 2);
  EXPECT_NEAR(response(1), 8000 * 1.2, 2);  // a neighbour of sensor 1
  EXPECT_NEAR(response(4), 8000 * 1.2, 2);
  EXPECT_NEAR(response(9), 8000, 2);  // the centre is no neighbour of sensor 1

  o.inclusionGain = 1;
  sim::SensorModel none(o);
  const auto flat = none.Values(0.5);
  for (int s = 0; s < 19; ++s)
    EXPECT_NEAR((flat[s] - rest[s]) / sim::SensorModel::Weight(s), 8000, 2) << s;

  sim::ProbeOptions po;
  double seconds = 0;
  bool help = false;
  std::string error;
  const char* args[] = {"tacprobe",         "--com", "3", "--inclusion", "1,2,19",
                        "--inclusion-gain", "1.2"};
  ASSERT_TRUE(sim::ParseProbeArgs(7, const_cast<char**>(args), &po, &seconds, &help, &error))
      << error;
  EXPECT_EQ(po.inclusion, (std::vector<int>{0, 1, 18}));
  EXPECT_DOUBLE_EQ(po.inclusionGain, 1.2);
  for (const char* bad : {"0", "20", "1,,2", "x"}) {
    const char* wrong[] = {"tacprobe", "--com", "3", "--inclusion", bad};
    EXPECT_FALSE(sim::ParseProbeArgs(5, const_cast<char**>(wrong), &po, &seconds, &help, &error))
        << bad;
  }
}

}  // namespace

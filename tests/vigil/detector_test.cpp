// The decisions of the recognition library on pushes of the simulated probe: the inclusion the
// simulator models is found and named, clean pushes and rest stay quiet, and over a varied set
// (place, depth, force, noise) the detection rate and the false alerts are measured.
#include "vendor/vigil/detector.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/cp1251.h"
#include "support/scratch_roots.h"
#include "vendor/vigil/settings.h"
#include "vigil/simulated_pushes.h"

namespace {

using vigil::Detector;
using vigil::Thresholds;
using vigiltest::SimPush;
using vigiltest::SimulatedPush;

// Runs a whole push through a detector; the decision at its end.
std::optional<vigil::Alert> RunPush(Detector& d, const std::vector<vigiltest::SimFrame>& frames) {
  d.StartPush();
  for (const auto& f : frames) d.Frame(f.normalized.data(), f.index, f.ms);
  return d.StopPush();
}

std::vector<int> Named(const std::optional<vigil::Alert>& a) {
  return a ? a->sensors : std::vector<int>{};
}

TEST(VigilGeometry, HoneycombNeighbours) {
  const auto& n = vigil::Neighbours();
  EXPECT_EQ(n[9], (std::vector<int>{4, 5, 8, 10, 13, 14}));  // the centre, sensor 10
  EXPECT_EQ(n[0], (std::vector<int>{1, 3, 4}));              // a corner
  EXPECT_EQ(n[7], (std::vector<int>{3, 8, 12}));             // the left end of the middle row
}

// A press without inclusion is a dome: no sensor stands out of the field, at any force,
// also where the dome is steepest (the centre) and flattest (the rim).
TEST(VigilField, CleanPressStandsOutNowhere) {
  for (double level : {0.2, 0.5, 0.8, 1.0}) {
    SimPush p;
    p.gain = 1.0;
    p.level = level;
    p.noise = 0;
    const auto frames = SimulatedPush(p);
    const auto& top = frames[frames.size() / 2];  // in the hold phase
    vigil::Map v{};
    for (int s = 0; s < 19; ++s) v[s] = top.normalized[s];
    const vigil::Map c = vigil::ContrastOf(v, vigil::PressureField(v, Thresholds{}));
    for (int s = 0; s < 19; ++s) EXPECT_LT(c[s], 0.1) << "level " << level << " sensor " << s + 1;
  }
}

TEST(VigilField, InclusionStandsOutAndDoesNotLiftTheField) {
  const auto frames = SimulatedPush(SimPush{});
  const auto& top = frames[frames.size() / 2];
  vigil::Map v{};
  for (int s = 0; s < 19; ++s) v[s] = top.normalized[s];
  const auto out = vigil::StandingOut(v, Thresholds{});
  for (int s = 0; s < 19; ++s)
    EXPECT_EQ(out[s], s == 4 || s == 5 || s == 9 || s == 10) << "sensor " << s + 1;
  const vigil::Map c = vigil::ContrastOf(v, vigil::PressureField(v, Thresholds{}));
  EXPECT_GT(c[9], 0.3);  // about the simulator's 40 % extra
  EXPECT_EQ(vigil::ContrastIndex(c[9], Thresholds{}), 255);
  EXPECT_LT(vigil::ContrastIndex(c[0], Thresholds{}), 64);
}

TEST(VigilDetector, FindsTheSimulatorsInclusion) {
  Detector d{Thresholds{}};
  const auto a = RunPush(d, SimulatedPush(SimPush{}));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->sensors, (std::vector<int>{4, 5, 9, 10}));
  EXPECT_EQ(a->push, 1);
  EXPECT_GE(a->elapsedMs, 1200);  // the moment of greatest pressure: in the hold
  EXPECT_LE(a->elapsedMs, 2200);
  for (int s : {4, 5, 9, 10}) EXPECT_GT(a->map[s], 200);
  for (int s : {0, 2, 7, 11, 16, 18}) EXPECT_LT(a->map[s], 64);
  EXPECT_EQ(vigil::AlertText(*a).substr(0, 40),
            Text1251("Уплотнение\nСенсоры 5, 6, 10, 11\nНажатие 1"_cp).substr(0, 40));
}

TEST(VigilDetector, LiveAlertWhenTheSensorsHaveStoodOutLongEnough) {
  Detector d{Thresholds{}};
  const auto frames = SimulatedPush(SimPush{});
  d.StartPush();
  int firstAt = -1;
  for (const auto& f : frames)
    if (d.Frame(f.normalized.data(), f.index, f.ms) && firstAt < 0) firstAt = f.ms;
  // The press begins at 600 ms; a sensor must stand out 250 ms of it first.
  EXPECT_GE(firstAt, 850);
  EXPECT_LE(firstAt, 1300);
  EXPECT_FALSE(d.Live().sensors.empty());
}

TEST(VigilDetector, QuietInCleanPushesAndAtRest) {
  Detector d{Thresholds{}};
  SimPush clean;
  clean.gain = 1.0;
  const auto a = RunPush(d, SimulatedPush(clean));
  ASSERT_TRUE(a);  // a press was seen: the answer is "none found"
  EXPECT_TRUE(a->sensors.empty());
  EXPECT_EQ(vigil::AlertText(*a), Text1251("Уплотнений\nне обнаружено\nНажатие 1"_cp));

  SimPush rest;
  rest.level = 0;
  rest.noise = 80;
  EXPECT_FALSE(RunPush(d, SimulatedPush(rest)));  // nothing to say: the probe rested
}

// Frames count only inside a push, and a repaint of the same frame is not a new frame: a
// single frame shown again and again never stands out "long enough".
TEST(VigilDetector, RepeatedFramesAndFramesOutsideAPushDoNotCount) {
  const auto frames = SimulatedPush(SimPush{});
  const auto& top = frames[frames.size() / 2];
  Detector d{Thresholds{}};
  for (int k = 0; k < 50; ++k) EXPECT_FALSE(d.Frame(top.normalized.data(), k, k * 50));
  d.StartPush();
  for (int k = 0; k < 50; ++k) EXPECT_FALSE(d.Frame(top.normalized.data(), 7, 350));
  const auto a = d.StopPush();
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->sensors.empty());
  EXPECT_FALSE(d.StopPush());  // a stop without a start
}

TEST(VigilDetector, BriefBumpIsNotAnInclusion) {
  const auto clean = [] {
    SimPush p;
    p.gain = 1.0;
    return SimulatedPush(p);
  }();
  const auto bumped = SimulatedPush(SimPush{});
  Detector d{Thresholds{}};
  d.StartPush();
  // 200 ms of the inclusion in the middle of a clean hold.
  for (size_t k = 0; k < clean.size(); ++k) {
    const bool bump = k >= 30 && k < 34;
    const auto& f = bump ? bumped[k] : clean[k];
    d.Frame(f.normalized.data(), f.index, f.ms);
  }
  const auto a = d.StopPush();
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->sensors.empty());
}

TEST(VigilDetector, AlertTexts) {
  vigil::Alert one;
  one.sensors = {9};
  one.push = 3;
  one.elapsedMs = 1250;
  one.contrast = 0.384;
  EXPECT_EQ(vigil::AlertText(one),
            Text1251("Уплотнение\nСенсор 10\nНажатие 3, 1.25 с\nКонтраст 38 %"_cp));
  vigil::Alert several = one;
  several.sensors = {4, 5, 18};
  several.elapsedMs = 61005;
  EXPECT_EQ(vigil::AlertText(several),
            Text1251("Уплотнение\nСенсоры 5, 6, 19\nНажатие 3, 61.00 с\nКонтраст 38 %"_cp));
}

// The measured figures: every place, depth, force and noise level of the varied set with the
// inclusion, and the same forces and noise without one (several noise seeds each). A push
// counts as detected when the alert names at least one sensor over the inclusion and nothing
// farther than its neighbours.
TEST(VigilDetector, DetectionRateAndFalseAlertsOverAVariedSet) {
  int pushes = 0, detected = 0, wrongPlace = 0;
  std::string missed;
  for (const auto& place : vigiltest::Places())
    for (const auto& depth : vigiltest::Depths())
      for (double force : vigiltest::Forces())
        for (int noise : vigiltest::Noises()) {
          SimPush p;
          p.inclusion = place.sensors;
          p.gain = depth.gain;
          p.spread = depth.spread;
          p.level = force;
          p.noise = noise;
          p.seed = static_cast<unsigned>(++pushes);
          Detector d{Thresholds{}};
          const std::vector<int> named = Named(RunPush(d, SimulatedPush(p)));
          bool over = false, near = true;
          for (int s : named) {
            const bool in = std::count(p.inclusion.begin(), p.inclusion.end(), s) > 0;
            bool next = in;
            for (int i : p.inclusion)
              for (int n : vigil::Neighbours()[i]) next = next || n == s;
            over = over || in;
            near = near && next;
          }
          if (over && near)
            ++detected;
          else {
            if (!named.empty()) ++wrongPlace;
            missed += std::string("\n  ") + place.name + ", " + depth.name + ", force " +
                      std::to_string(force) + ", noise " + std::to_string(noise);
          }
        }
  int clean = 0, falseAlerts = 0;
  for (double force : {0.2, 0.3, 0.55, 0.8, 1.0})
    for (int noise : {3, 80, 200})
      for (unsigned seed = 1; seed <= 10; ++seed) {
        SimPush p;
        p.gain = 1.0;
        p.level = force;
        p.noise = noise;
        p.seed = seed;
        Detector d{Thresholds{}};
        ++clean;
        if (!Named(RunPush(d, SimulatedPush(p))).empty()) ++falseAlerts;
      }
  std::printf(
      "detection: %d of %d pushes with an inclusion (%.1f %%), %d named a wrong place;"
      " false alerts: %d of %d clean pushes%s\n",
      detected, pushes, 100.0 * detected / pushes, wrongPlace, falseAlerts, clean,
      missed.empty() ? "" : ("\nmissed:" + missed).c_str());
  EXPECT_EQ(falseAlerts, 0);
  EXPECT_EQ(wrongPlace, 0);
  EXPECT_GE(detected * 100, pushes * 90);
}

}  // namespace

namespace {

TEST(VigilSettings, FoldersOfTheTwoRootsAndHostPaths) {
  ScratchRoots roots;
  const std::string data = roots.data().string(), db = roots.database().string();
  const std::pair<const char*, std::string> cases[] = {
      {"c:\\Tacmon\\", data + "/"},
      {"C:/TACMON", data + "/"},
      {"c:\\Tacmon\\Logs\\", data + "/Logs/"},
      {"c:\\TacmonData\\", db + "/"},
      {"c:\\TacmonDataX\\", "c:/TacmonDataX/"},  // another folder, left as it is
      {"/srv/tacmon", "/srv/tacmon/"},
  };
  for (const auto& [given, host] : cases) EXPECT_EQ(vigil::HostFolder(given), host) << given;
}

TEST(VigilSettings, FileValuesCommentsAndRefusals) {
  ScratchRoots roots;
  const std::string file = (roots.data() / "vigil.txt").string();
  std::ofstream(file, std::ios::binary)
      << "# mine\r\ncontrast 0.3 # firmer\r\nmin_ms 100\r\npress_share 2\r\nmin_ms 1.5\r\n"
         "callback_thread 1\r\nlog_level 2 3\r\n\r\n";
  std::vector<std::string> problems;
  bool created = true;
  const vigil::Settings s = vigil::ReadSettings(file, &problems, &created);
  EXPECT_FALSE(created);
  EXPECT_DOUBLE_EQ(s.thresholds.contrast, 0.3);
  EXPECT_EQ(s.thresholds.minMs, 100);
  EXPECT_DOUBLE_EQ(s.thresholds.pressShare, vigil::Thresholds{}.pressShare);  // out of range
  EXPECT_EQ(s.callbackThread, 1);
  EXPECT_EQ(s.logLevel, 1);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("line 4: bad value"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("line 5: bad value"), std::string::npos);
  EXPECT_NE(problems[2].find("line 7: bad value"), std::string::npos);
}

TEST(VigilSettings, DefaultsWrittenReadBackTheSame) {
  ScratchRoots roots;
  const std::string file = (roots.data() / "vigil.txt").string();
  bool created = false;
  std::vector<std::string> problems;
  vigil::ReadSettings(file, &problems, &created);
  EXPECT_TRUE(created);
  const vigil::Settings again = vigil::ReadSettings(file, &problems, &created);
  EXPECT_FALSE(created);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(vigil::FormatSettings(again), vigil::FormatSettings(vigil::Settings{}));
}

}  // namespace

// Pushes of the simulated probe as the recognition library sees them: the probe's pressure
// model (sim/push_model.h) gives the raw values of each display period (50 ms), the zero point
// is taken from the first frames at rest as the recording view takes it, and the default
// passport normalizes them into the values handed to FCallVigilLib.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/device_passport.h"
#include "sim/push_model.h"

namespace vigiltest {

struct SimPush {
  std::vector<int> inclusion = {4, 5, 9, 10};  // 0-based sensors over it
  double gain = 1.4;                           // 1: no inclusion
  double spread = 0;                           // deeper: felt by the neighbours too
  double level = 0.8;                          // press force, 0..1 of full scale
  int noise = 3;                               // ± raw counts
  unsigned seed = 1;
  // rest, press, hold, release, rest (seconds)
  std::string script() const {
    return "rest:0.6,press:0.6:" + std::to_string(level) + ",hold:1,release:0.6,rest:0.4";
  }
};

struct SimFrame {
  std::array<int, 19> normalized{};
  std::array<int, 19> raw{};
  int index = 0;
  int ms = 0;
};

inline std::vector<SimFrame> SimulatedPush(const SimPush& p, double period = 0.05) {
  sim::SensorModelOptions o;
  o.format = 1;
  o.inclusionGain = p.gain;
  o.inclusion = p.inclusion;
  o.inclusionSpread = p.spread;
  o.noise = p.noise;
  o.seed = p.seed;
  sim::SensorModel model(o);
  const sim::PushScript script = *sim::PushScript::Parse(p.script());
  std::vector<SimFrame> frames;
  const int n = static_cast<int>(script.Length() / period);
  for (int k = 0; k < n; ++k) {
    const auto v = model.Values(script.Pressure(k * period));
    SimFrame f;
    for (int s = 0; s < 19; ++s) f.raw[s] = v[s];
    f.index = k;
    f.ms = static_cast<int>(k * period * 1000 + 0.5);
    frames.push_back(f);
  }
  // Zero point from the first frames at rest, then the default passport's display values.
  DevicePassport passport;
  const int zero = std::min<int>(10, static_cast<int>(frames.size()));
  for (int c = 0; c < 19; ++c) {
    std::vector<double> rest;
    for (int k = 0; k < zero; ++k) rest.push_back(Calibrate(passport, c, frames[k].raw[c]));
    ApplyZeroPoint(passport, c, ZeroPointMedian(rest), 1);
  }
  for (SimFrame& f : frames)
    for (int c = 0; c < 19; ++c)
      f.normalized[c] = static_cast<int>(DisplayValueWith(passport, c, f.raw[c], 1, 1.0) + 0.5);
  return frames;
}

// The varied set: places of the inclusion (clusters of one to four sensors, middle and rim),
// depths (shallow, middle, deep: weaker and wider), forces and noise.
struct Place {
  const char* name;
  std::vector<int> sensors;
};
inline const std::vector<Place>& Places() {
  static const std::vector<Place> places = {
      {"5,6,10,11 (the simulator's)", {4, 5, 9, 10}},
      {"10 (centre alone)", {9}},
      {"1,2,5 (upper rim)", {0, 1, 4}},
      {"8,9,13 (left rim)", {7, 8, 12}},
      {"14,17,18 (lower rim)", {13, 16, 17}},
      {"12,16,19 (right rim)", {11, 15, 18}},
      {"3,7 (upper right pair)", {2, 6}},
      {"9,10,14,15 (below centre)", {8, 9, 13, 14}},
  };
  return places;
}
struct Depth {
  const char* name;
  double gain, spread;
};
inline const std::vector<Depth>& Depths() {
  static const std::vector<Depth> depths = {
      {"shallow", 1.5, 0.0}, {"middle", 1.35, 0.25}, {"deep", 1.25, 0.4}};
  return depths;
}
inline const std::vector<double>& Forces() {
  static const std::vector<double> forces = {0.3, 0.55, 0.8};
  return forces;
}
inline const std::vector<int>& Noises() {
  static const std::vector<int> noises = {3, 80};
  return noises;
}

}  // namespace vigiltest

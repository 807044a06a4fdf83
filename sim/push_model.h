// Pressure model of the simulated probe: a looping script of pushes (rest, press, hold,
// release) turned into the 19 raw sensor values of each packet. Sensors near the centre feel
// more of a press, and a firmer inclusion under a few sensors pushes back harder.
//
// Script text: phases separated by commas, each "kind:seconds[:level]" with kind rest, press,
// hold, release or off and level 0..1 (the pressure reached at the end of a press; default 0.8).
// Example: "rest:1,press:0.5:0.8,hold:1,release:0.5". The script repeats, starting again with
// every connection (the probe is picked up at rest).
// "off" is the probe switched off with its power button: a script with an off phase models the
// power button, and its clock runs from the start of the simulator instead (see ProbeSim).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/probe_packets.h"

namespace sim {

struct PushPhase {
  enum Kind { kRest, kPress, kHold, kRelease, kOff } kind = kRest;
  double seconds = 1.0;
  double level = 0.8;
};

class PushScript {
 public:
  static std::optional<PushScript> Parse(const std::string& text);
  static PushScript Default();  // rest 2 s, press 0.6 s to 0.8, hold 1 s, release 0.6 s
  // Pressure 0..1 at t seconds since the start (the script loops).
  double Pressure(double t) const;
  double Length() const;
  // Whether the probe is switched on at t (the script loops).
  bool On(double t) const;
  bool HasOffPhase() const;
  const std::vector<PushPhase>& phases() const { return phases_; }

 private:
  std::vector<PushPhase> phases_;
};

struct SensorModelOptions {
  int format = 1;
  double fullScale = 16000;    // raw counts of a full press under the centre
  double inclusionGain = 1.4;  // response of the sensors over the inclusion (1: no inclusion)
  // Sensors (0-based) over the inclusion, and the share of its extra response that their other
  // neighbours feel (a deeper inclusion is felt weaker and wider).
  std::vector<int> inclusion = {4, 5, 9, 10};
  double inclusionSpread = 0;
  int noise = 0;     // ± counts of uniform noise
  int restBase = 0;  // 0: the format's usual rest level
  unsigned seed = 1;
};

// Raw values of the 19 sensors for a pressure. Format 0 probes count down from near full scale
// under pressure; formats 1 and 2 count up from a low rest level. At pressure 0 and without
// noise sensor s (0-based) reads RestValue(s) exactly.
class SensorModel {
 public:
  explicit SensorModel(const SensorModelOptions& o);
  std::array<int16_t, kSensors> Values(double pressure);
  int RestValue(int sensor) const;
  static double Weight(int sensor);  // share of a press felt by the sensor (centre 1.0)
  bool OverInclusion(int sensor) const;
  // Gain of the sensor's response from the inclusion (1 away from it).
  double InclusionGain(int sensor) const;

 private:
  SensorModelOptions o_;
  std::mt19937 rng_;
};

}  // namespace sim

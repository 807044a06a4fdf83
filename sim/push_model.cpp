#include "sim/push_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace sim {

std::optional<PushScript> PushScript::Parse(const std::string& text) {
  PushScript s;
  std::stringstream all(text);
  std::string item;
  while (std::getline(all, item, ',')) {
    if (item.empty()) continue;
    std::vector<std::string> f;
    std::stringstream one(item);
    std::string part;
    while (std::getline(one, part, ':')) f.push_back(part);
    if (f.size() < 2 || f.size() > 3) return std::nullopt;
    PushPhase p;
    if (f[0] == "rest")
      p.kind = PushPhase::kRest;
    else if (f[0] == "press")
      p.kind = PushPhase::kPress;
    else if (f[0] == "hold")
      p.kind = PushPhase::kHold;
    else if (f[0] == "release")
      p.kind = PushPhase::kRelease;
    else if (f[0] == "off")
      p.kind = PushPhase::kOff;
    else
      return std::nullopt;
    char* end = nullptr;
    p.seconds = std::strtod(f[1].c_str(), &end);
    if (*end || !(p.seconds > 0)) return std::nullopt;
    if (f.size() == 3) {
      p.level = std::strtod(f[2].c_str(), &end);
      if (*end || p.level < 0 || p.level > 1) return std::nullopt;
    }
    s.phases_.push_back(p);
  }
  if (s.phases_.empty()) return std::nullopt;
  return s;
}

PushScript PushScript::Default() { return *Parse("rest:2,press:0.6:0.8,hold:1,release:0.6"); }

double PushScript::Length() const {
  double t = 0;
  for (const PushPhase& p : phases_) t += p.seconds;
  return t;
}

double PushScript::Pressure(double t) const {
  double len = Length();
  if (len <= 0) return 0;
  t = std::fmod(std::max(t, 0.0), len);
  double level = 0;  // pressure at the start of the current phase
  for (const PushPhase& p : phases_) {
    if (t < p.seconds) {
      double x = t / p.seconds;
      // Smooth ramps: presses and releases follow a half cosine.
      double ease = 0.5 - 0.5 * std::cos(x * M_PI);
      switch (p.kind) {
        case PushPhase::kRest:
        case PushPhase::kOff:
          return 0;
        case PushPhase::kHold:
          return level;
        case PushPhase::kPress:
          return level + (p.level - level) * ease;
        case PushPhase::kRelease:
          return level * (1 - ease);
      }
    }
    t -= p.seconds;
    switch (p.kind) {
      case PushPhase::kRest:
      case PushPhase::kOff:
        level = 0;
        break;
      case PushPhase::kHold:
        break;
      case PushPhase::kPress:
        level = p.level;
        break;
      case PushPhase::kRelease:
        level = 0;
        break;
    }
  }
  return level;
}

bool PushScript::On(double t) const {
  double len = Length();
  if (len <= 0) return true;
  t = std::fmod(std::max(t, 0.0), len);
  for (const PushPhase& p : phases_) {
    if (t < p.seconds) return p.kind != PushPhase::kOff;
    t -= p.seconds;
  }
  return phases_.back().kind != PushPhase::kOff;
}

bool PushScript::HasOffPhase() const {
  return std::any_of(phases_.begin(), phases_.end(),
                     [](const PushPhase& p) { return p.kind == PushPhase::kOff; });
}

SensorModel::SensorModel(const SensorModelOptions& o) : o_(o), rng_(o.seed) {}

namespace {
// Honeycomb rows of 3, 4, 5, 4, 3 (sensors 1..19); the centre is sensor 10.
constexpr int kRow[kSensors] = {0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4};
constexpr int kCol2[kSensors] = {2, 4, 6, 1, 3, 5, 7, 0, 2, 4, 6, 8, 1, 3, 5, 7, 2, 4, 6};

// Distance between two sensors in cell widths (neighbours are 1 apart).
double Distance(int a, int b) {
  double dy = kRow[a] - kRow[b];
  double dx = (kCol2[a] - kCol2[b]) / 2.0;
  return std::sqrt(dx * dx + dy * dy * 0.75);
}
}  // namespace

double SensorModel::Weight(int sensor) { return std::max(0.35, 1.0 - 0.3 * Distance(sensor, 9)); }

bool SensorModel::OverInclusion(int sensor) const {
  return std::find(o_.inclusion.begin(), o_.inclusion.end(), sensor) != o_.inclusion.end();
}

double SensorModel::InclusionGain(int sensor) const {
  if (OverInclusion(sensor)) return o_.inclusionGain;
  for (int s : o_.inclusion) {
    if (s >= 0 && s < kSensors && Distance(s, sensor) < 1.01)
      return 1.0 + (o_.inclusionGain - 1.0) * o_.inclusionSpread;
  }
  return 1.0;
}

int SensorModel::RestValue(int sensor) const {
  if (o_.restBase) return o_.restBase + 10 * sensor;
  return o_.format == 0 ? 30000 + 10 * sensor : 1000 + 10 * sensor;
}

std::array<int16_t, kSensors> SensorModel::Values(double pressure) {
  std::array<int16_t, kSensors> v{};
  std::uniform_int_distribution<int> noise(-o_.noise, o_.noise);
  for (int s = 0; s < kSensors; ++s) {
    double gain = Weight(s) * InclusionGain(s);
    double delta = o_.fullScale * pressure * gain;
    double raw = o_.format == 0 ? RestValue(s) - delta : RestValue(s) + delta;
    if (o_.noise > 0) raw += noise(rng_);
    raw = std::clamp(std::round(raw), -32768.0, 32767.0);
    v[static_cast<size_t>(s)] = static_cast<int16_t>(raw);
  }
  return v;
}

}  // namespace sim

#include "vendor/vigil/detector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "vendor/vigil/text1251.h"

namespace vigil {

const std::array<Position, kSensors>& Positions() {
  static const std::array<Position, kSensors> positions = [] {
    static constexpr int kRowLength[5] = {3, 4, 5, 4, 3};
    std::array<Position, kSensors> p{};
    int s = 0;
    for (int row = 0; row < 5; ++row) {
      for (int k = 0; k < kRowLength[row]; ++k, ++s) {
        p[s].x = k - (kRowLength[row] - 1) / 2.0;
        p[s].y = (2 - row) * std::sqrt(3.0) / 2;  // row 0 on top
      }
    }
    return p;
  }();
  return positions;
}

const std::array<std::vector<int>, kSensors>& Neighbours() {
  static const std::array<std::vector<int>, kSensors> table = [] {
    std::array<std::vector<int>, kSensors> n;
    const auto& p = Positions();
    for (int a = 0; a < kSensors; ++a)
      for (int b = 0; b < kSensors; ++b) {
        const double dx = p[a].x - p[b].x, dy = p[a].y - p[b].y;
        if (a != b && dx * dx + dy * dy < 1.1) n[a].push_back(b);
      }
    return n;
  }();
  return table;
}

namespace {

constexpr int kTerms = 3;       // profile × (1, x, y)
constexpr int kMaxLeftOut = 7;  // the field always rests on at least 12 sensors
constexpr double kSaturated = 255;

std::array<double, kTerms> Terms(int s, const Thresholds& t) {
  const Position& p = Positions()[s];
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  const double share = std::max(t.domeFloor, 1.0 - t.domeSlope * r);
  return {share, share * p.x, share * p.y};
}

// Least squares over the sensors in use; false when the system is singular.
bool Fit(const Map& v, const std::array<bool, kSensors>& use, const Thresholds& th,
         std::array<double, kTerms>& out) {
  double a[kTerms][kTerms + 1] = {};
  for (int s = 0; s < kSensors; ++s) {
    if (!use[s]) continue;
    const auto t = Terms(s, th);
    for (int i = 0; i < kTerms; ++i) {
      for (int j = 0; j < kTerms; ++j) a[i][j] += t[i] * t[j];
      a[i][kTerms] += t[i] * v[s];
    }
  }
  for (int c = 0; c < kTerms; ++c) {
    int pivot = c;
    for (int r = c + 1; r < kTerms; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (std::fabs(a[pivot][c]) < 1e-9) return false;
    for (int k = 0; k <= kTerms; ++k) std::swap(a[c][k], a[pivot][k]);
    for (int r = 0; r < kTerms; ++r) {
      if (r == c) continue;
      const double f = a[r][c] / a[c][c];
      for (int k = c; k <= kTerms; ++k) a[r][k] -= f * a[c][k];
    }
  }
  for (int i = 0; i < kTerms; ++i) out[i] = a[i][kTerms] / a[i][i];
  return true;
}

Map Evaluate(const std::array<double, kTerms>& c, const Thresholds& th) {
  Map f{};
  for (int s = 0; s < kSensors; ++s) {
    const auto t = Terms(s, th);
    double v = 0;
    for (int i = 0; i < kTerms; ++i) v += c[i] * t[i];
    f[s] = std::max(0.0, v);
  }
  return f;
}

}  // namespace

Map ContrastOf(const Map& values, const Map& field) {
  const double top = *std::max_element(field.begin(), field.end());
  Map c{};
  for (int s = 0; s < kSensors; ++s) {
    const double base = std::max({field[s], 0.2 * top, 1.0});
    c[s] = (values[s] - field[s]) / base;
  }
  return c;
}

Map PressureField(const Map& values, const Thresholds& t) {
  std::array<bool, kSensors> use{};
  for (int s = 0; s < kSensors; ++s) use[s] = values[s] < kSaturated;
  Map field{};
  for (int round = 0; round < 4; ++round) {
    std::array<double, kTerms> coef{};
    if (!Fit(values, use, t, coef)) break;
    field = Evaluate(coef, t);
    // Leave out the sensors that rise above the field by half the threshold, highest first.
    const Map c = ContrastOf(values, field);
    std::array<int, kSensors> order{};
    for (int s = 0; s < kSensors; ++s) order[s] = s;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return c[a] > c[b]; });
    std::array<bool, kSensors> next{};
    for (int s = 0; s < kSensors; ++s) next[s] = values[s] < kSaturated;
    int leftOut = 0;
    for (int s : order) {
      if (c[s] < 0.5 * t.contrast || leftOut >= kMaxLeftOut) break;
      if (next[s]) ++leftOut;
      next[s] = false;
    }
    if (next == use) break;
    use = next;
  }
  return field;
}

std::array<bool, kSensors> StandingOut(const Map& values, const Thresholds& t) {
  const Map field = PressureField(values, t);
  const Map c = ContrastOf(values, field);
  std::array<bool, kSensors> out{};
  for (int s = 0; s < kSensors; ++s)
    out[s] = c[s] >= t.contrast && values[s] - field[s] >= t.minExcess;
  return out;
}

int ContrastIndex(double contrast, const Thresholds& t) {
  if (!(contrast > 0)) return 0;
  const double i = contrast / (2 * std::max(t.contrast, 1e-6)) * 255 + 0.5;
  return i >= 255 ? 255 : static_cast<int>(i);
}

std::string AlertText(const Alert& a) {
  char line[160];
  if (a.sensors.empty()) {
    std::snprintf(line, sizeof line, "\n%s %d", Cp1251("Нажатие").c_str(), a.push);
    return Cp1251("Уплотнений\nне обнаружено") + line;
  }
  std::string text = Cp1251(a.sensors.size() == 1 ? "Уплотнение\nСенсор " : "Уплотнение\nСенсоры ");
  for (size_t i = 0; i < a.sensors.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(a.sensors[i] + 1);
  }
  const int ms = std::max(0, a.elapsedMs);
  std::snprintf(line, sizeof line, "\n%s %d, %d.%02d %s\n%s %d %%", Cp1251("Нажатие").c_str(),
                a.push, ms / 1000, ms % 1000 / 10, Cp1251("с").c_str(), Cp1251("Контраст").c_str(),
                static_cast<int>(std::lround(a.contrast * 100)));
  return text + line;
}

void Detector::StartPush() {
  inPush_ = true;
  ++push_;
  haveLast_ = lastAnalysed_ = false;
  peak_.fill(0);
  atMax_.fill(0);
  maxTotal_ = 0;
  atMaxMs_ = 0;
  wasOut_.fill(false);
  outMs_.fill(0);
  found_.clear();
  live_ = Alert{};
  live_.push = push_;
}

bool Detector::Frame(const int* values, int packetIndex, int elapsedMs) {
  if (!inPush_ || !values) return false;
  if (haveLast_ && packetIndex == lastIndex_ && elapsedMs == lastMs_) return false;
  // A gap (or a step back in the viewer) counts at most a quarter second.
  const int dt = haveLast_ ? std::clamp(elapsedMs - lastMs_, 0, 250) : 0;
  haveLast_ = true;
  lastIndex_ = packetIndex;
  lastMs_ = elapsedMs;

  Map v{};
  double total = 0;
  for (int s = 0; s < kSensors; ++s) {
    v[s] = std::clamp(values[s], 0, 255);
    total += v[s];
    peak_[s] = std::max(peak_[s], v[s]);
  }
  if (total > maxTotal_) {
    maxTotal_ = total;
    atMax_ = v;
    atMaxMs_ = elapsedMs;
  }
  if (total < t_.minTotal || total < t_.pressShare * maxTotal_) {
    lastAnalysed_ = false;
    wasOut_.fill(false);
    return false;
  }
  const std::array<bool, kSensors> out = StandingOut(v, t_);
  bool grew = false;
  for (int s = 0; s < kSensors; ++s) {
    if (out[s] && wasOut_[s] && lastAnalysed_) outMs_[s] += dt;
    wasOut_[s] = out[s];
    if (outMs_[s] >= t_.minMs && std::find(found_.begin(), found_.end(), s) == found_.end()) {
      found_.push_back(s);
      grew = true;
    }
  }
  lastAnalysed_ = true;
  if (grew) {
    std::sort(found_.begin(), found_.end());
    live_ = Decide(v, elapsedMs, found_);
  }
  return grew;
}

std::optional<Alert> Detector::StopPush() {
  if (!inPush_) return std::nullopt;
  inPush_ = false;
  if (maxTotal_ < t_.minTotal) return std::nullopt;
  // What stood out long enough must still stand out in the push's peak map.
  const Map peakContrast = ContrastOf(peak_, PressureField(peak_, t_));
  std::vector<int> confirmed;
  for (int s : found_)
    if (peakContrast[s] >= t_.peakShare * t_.contrast) confirmed.push_back(s);
  return Decide(atMax_, atMaxMs_, confirmed);
}

Alert Detector::Decide(const Map& map, int elapsedMs, const std::vector<int>& sensors) const {
  Alert a;
  const Map c = ContrastOf(map, PressureField(map, t_));
  for (int s = 0; s < kSensors; ++s) a.map[s] = ContrastIndex(c[s], t_);
  a.sensors = sensors;
  a.push = push_;
  a.elapsedMs = elapsedMs;
  for (int s : sensors) a.contrast = std::max(a.contrast, c[s]);
  return a;
}

}  // namespace vigil

// Calibration of a probe against the test instrument, free of windows: the point table, the
// live values of a sample (mean and max over the visible sensors, the converted tester force),
// the zero measurement of the instrument's force, manometer and weight points, and the fit of
// a straight line through the points with its error, threshold and sensitivity figures.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/cp1251.h"

namespace tester {

inline constexpr int kKneeSensors = 19;
inline constexpr int kMaxKneePoints = 10000;

struct KneePoint {
  double tester = 0;    // force, manometer pressure, or averaged force of a weight
  double receptor = 0;  // the probe's value, or the weight in grams
  double step = 0;      // automatic steps made so far
  std::array<double, kKneeSensors> sensors{};  // per-sensor values
  std::array<double, kKneeSensors> raw{};
};

// A ring of 10000 points; indices are table positions, so once it has wrapped the oldest
// points are overwritten in place.
class PointTable {
 public:
  void Add(const KneePoint& p);
  void Clear();
  int Count() const { return count_; }
  const KneePoint& At(int i) const { return points_[static_cast<size_t>(i)]; }
  std::vector<KneePoint> Points() const;  // positions 0..count-1

 private:
  std::vector<KneePoint> points_ = std::vector<KneePoint>(kMaxKneePoints);
  int write_ = 0;
  int count_ = 0;
};

enum class KneeMode { kStandard, kManometer, kWeights };

// Mean (rounded, (sum + n/2) / n) and max of the values over the visible sensors (at least one
// counted).
struct MeanMax {
  int mean = 0;
  int max = 0;
};
MeanMax VisibleMeanMax(const std::array<int, kKneeSensors>& values,
                       const std::array<bool, kKneeSensors>& visible);

// The tester force w1 + w2 + w3; converted: minus - force, 0 when the force exceeds minus.
int ConvertTesterForce(int force, int minus, bool convert);

// The zero measurement: forces of the first 3 s after its start (once a tester sample arrived)
// give the force at no load.
class ZeroMeasurement {
 public:
  void Restart(double now);
  // One acquisition tick; the new MINUS at the first tick after the 3 s, when any force was
  // seen (without one the passport's MINUS stays).
  std::optional<int> Tick(double now, bool sampleSeen, int force);
  bool InProgress() const { return inProgress_; }

 private:
  double start_ = 0;
  double sum_ = 0;
  int count_ = 0;
  bool inProgress_ = false;
};

// Manometer series: coefficients fixed by its first point.
struct ManometerCoefficients {
  double k = 0;
  std::array<double, kKneeSensors> ki{};
};
KneePoint ManometerPoint(const std::array<int, kKneeSensors>& values,
                         const std::array<int, kKneeSensors>& raw,
                         const std::array<bool, kKneeSensors>& visible, double pressure,
                         bool separate, bool firstOfSeries, ManometerCoefficients& c, double step);
KneePoint WeightPoint(double forceSum, int forceCount, int weight, double step);

struct FitOptions {
  KneeMode mode = KneeMode::kStandard;
  int nav = 50;     // points per group (below 1 taken as 1)
  int iSensor = 0;  // 1..19, 0: the mean
  bool diagonal = false;
  bool largeScale = false;
  double sens = 0;  // SENS of the tester passport
};

struct CalibrationResults {
  bool fit = false;
  int groups = 0;
  double a = 0, b = 0;
  double meanError = 0, maxError = 0;  // percent of the tester range
  double threshold = 0;
  double sensitivity = 0;
  double range = 200;
};

// Every figure is finite: a group count or spread too small for a line gives no fit.
CalibrationResults ComputeCalibration(const std::vector<KneePoint>& points, const FitOptions& o);

// The results line; without a fit its short form.
Text1251 ResultsLine(const CalibrationResults& r, const FitOptions& o);
// Graph captions: errors, and sensitivity.
Text1251 ErrorCaption(const CalibrationResults& r);
Text1251 SensitivityCaption(const CalibrationResults& r, const FitOptions& o);

}  // namespace tester

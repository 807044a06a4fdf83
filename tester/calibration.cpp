#include "tester/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tester {

namespace {

constexpr double kTiny = 1e-25;

double Guard(double x) {
  if (std::fabs(x) < kTiny) return x >= 0 ? kTiny : -kTiny;
  return x;
}

// x' of the figures: 1 below 1, else the integer part.
double Floor1(double x) { return x < 1 ? 1 : std::trunc(x); }

double Round1(double x) { return std::round(x * 10) / 10 + 0.0; }

double Finite(double x) { return std::isfinite(x) ? x + 0.0 : 0.0; }

double Measure(const KneePoint& p, int iSensor) {
  if (iSensor >= 1 && iSensor <= kKneeSensors) return p.sensors[iSensor - 1];
  double s = 0;
  for (double v : p.sensors) s += v;
  return s / kKneeSensors;
}

}  // namespace

void PointTable::Add(const KneePoint& p) {
  points_[static_cast<size_t>(write_)] = p;
  write_ = (write_ + 1) % kMaxKneePoints;
  count_ = std::min(count_ + 1, kMaxKneePoints);
}

void PointTable::Clear() {
  write_ = 0;
  count_ = 0;
}

std::vector<KneePoint> PointTable::Points() const {
  return {points_.begin(), points_.begin() + count_};
}

MeanMax VisibleMeanMax(const std::array<int, kKneeSensors>& values,
                       const std::array<bool, kKneeSensors>& visible) {
  int64_t sum = 0;
  int n = 0;
  int max = 0;
  bool any = false;
  for (int i = 0; i < kKneeSensors; ++i) {
    if (!visible[i]) continue;
    sum += values[i];
    ++n;
    max = any ? std::max(max, values[i]) : values[i];
    any = true;
  }
  n = std::max(n, 1);
  return {static_cast<int>((sum + n / 2) / n), max};
}

int ConvertTesterForce(int force, int minus, bool convert) {
  if (!convert) return force;
  return force > minus ? 0 : minus - force;
}

void ZeroMeasurement::Restart(double now) {
  start_ = now;
  sum_ = 0;
  count_ = 0;
  inProgress_ = true;
}

std::optional<int> ZeroMeasurement::Tick(double now, bool sampleSeen, int force) {
  if (!inProgress_ || !sampleSeen) return std::nullopt;
  if (now - start_ < 3.0) {
    sum_ += force;
    ++count_;
    return std::nullopt;
  }
  inProgress_ = false;
  if (count_ == 0) return std::nullopt;
  return static_cast<int>(std::floor(sum_ / count_ + 0.5));
}

KneePoint ManometerPoint(const std::array<int, kKneeSensors>& values,
                         const std::array<int, kKneeSensors>& raw,
                         const std::array<bool, kKneeSensors>& visible, double pressure,
                         bool separate, bool firstOfSeries, ManometerCoefficients& c, double step) {
  double sum = 0;
  int n = 0;
  for (int i = 0; i < kKneeSensors; ++i)
    if (visible[i]) {
      sum += values[i];
      ++n;
    }
  const double mean = std::round(sum / std::max(n, 1));
  if (firstOfSeries) {
    const double p = pressure < 1 ? 1 : pressure;
    c.k = mean / p;
    for (int i = 0; i < kKneeSensors; ++i)
      c.ki[i] = separate ? std::max(values[i] / p, 1e-10) : c.k;
  }
  KneePoint pt;
  pt.tester = pressure;
  pt.receptor = mean;
  pt.step = step;
  for (int i = 0; i < kKneeSensors; ++i) {
    // A coefficient of 0 (a first point at no pressure on the probe) never divides.
    const double k = std::fabs(c.ki[i]) < 1e-10 ? 1e-10 : c.ki[i];
    pt.sensors[i] = values[i] / k;
    pt.raw[i] = raw[i];
  }
  return pt;
}

KneePoint WeightPoint(double forceSum, int forceCount, int weight, double step) {
  KneePoint p;
  p.tester = forceSum / std::max(forceCount, 1);
  p.receptor = weight;
  p.step = step;
  p.sensors.fill(weight);
  p.raw.fill(weight);
  return p;
}

CalibrationResults ComputeCalibration(const std::vector<KneePoint>& points, const FitOptions& o) {
  CalibrationResults r;
  const bool weights = o.mode == KneeMode::kWeights;
  const int nav = std::max(1, o.nav);
  const int count = static_cast<int>(points.size());
  const int n = count / nav;
  r.groups = n;
  std::vector<double> X(static_cast<size_t>(n)), Y(static_cast<size_t>(n));
  for (int g = 0; g < n; ++g) {
    double sx = 0, sy = 0;
    for (int k = g * nav; k < g * nav + nav; ++k) {
      const KneePoint& p = points[static_cast<size_t>(k)];
      sx += o.iSensor >= 1 && o.iSensor <= kKneeSensors ? p.sensors[o.iSensor - 1] : p.receptor;
      sy += p.tester;
    }
    X[g] = sx / nav;
    Y[g] = sy / nav;
  }

  // Reference range of the tester axis.
  double range = weights ? (o.largeScale ? 250 : 200) : (o.largeScale ? 400 : 200);
  if (weights)
    for (const KneePoint& p : points)
      if (p.tester > range) range = 1.05 * p.tester;
  r.range = range;
  const double rr = Floor1(range);

  // A line needs more than three points in two groups; a weight check two points (its line
  // goes through the origin).
  bool fit = weights ? (count > 1 && n >= 1) : (count > 3 && n >= 2);
  double a = 0, b = 0;
  if (fit) {
    if (weights) {
      double ymax = points[0].tester, xmax = points[0].receptor;
      for (const KneePoint& p : points) {
        ymax = std::max(ymax, p.tester);
        xmax = std::max(xmax, p.receptor);
      }
      a = ymax / std::max(xmax, 1e-10);
      b = 0;
    } else if (o.diagonal) {
      a = 1;
      b = 0;
    } else {
      double sx = 0, sy = 0, sxx = 0, sxy = 0;
      for (int g = 0; g < n; ++g) {
        sx += X[g];
        sy += Y[g];
        sxx += X[g] * X[g];
        sxy += X[g] * Y[g];
      }
      const double d = n * sxx - sx * sx;
      // All groups at one receptor value: no line can be fitted.
      if (std::fabs(d) <= 1e-9 * std::max(1.0, n * sxx)) {
        fit = false;
      } else {
        a = (n * sxy - sx * sy) / d;
        b = (sy * sxx - sx * sxy) / d;
      }
    }
  }
  if (fit) {
    double sq = 0, mx = 0;
    for (int g = 0; g < n; ++g) {
      const double e = a * X[g] + b - Y[g];
      sq += e * e;
      mx = std::max(mx, std::fabs(e));
    }
    r.meanError = Finite(100 * std::sqrt(sq / n) / rr);
    r.maxError = Finite(100 * mx / rr);
    r.threshold = Finite(weights ? -b / Guard(a) : b);
    r.a = Finite(a);
    r.b = Finite(b);
  }
  r.fit = fit;

  if (!points.empty()) {
    const KneePoint* lo = &points[0];
    const KneePoint* hi = &points[0];
    for (const KneePoint& p : points) {
      if (Measure(p, o.iSensor) < Measure(*lo, o.iSensor)) lo = &p;
      if (Measure(p, o.iSensor) > Measure(*hi, o.iSensor)) hi = &p;
    }
    const double dR = Measure(*hi, o.iSensor) - Measure(*lo, o.iSensor);
    const double dT = std::fabs(hi->tester - lo->tester);
    double s = 0;
    if (weights)
      s = dR / Floor1(dT) * 9.8 / 1000;
    else if (o.mode == KneeMode::kManometer)
      s = dT / Floor1(dR);
    else
      s = dT / Floor1(dR) * o.sens;
    r.sensitivity = Finite(s);
  }
  return r;
}

Text1251 ResultsLine(const CalibrationResults& r, const FitOptions& o) {
  char buf[512];
  if (!r.fit) {
    std::snprintf(buf, sizeof buf, "Receptor(TestV)=%lg*TestV+%lg", r.a, r.b);
    return buf;
  }
  std::snprintf(buf, sizeof buf,
                "Receptor(TestV)=%lg*TestV+%lg; Ср.ошибка=%lg%%,  Макс.ошибка=%lg%% от "
                "разброса значений"_cp,
                r.a, r.b, Round1(r.meanError), Round1(r.maxError));
  Text1251 line = buf;
  if (o.mode == KneeMode::kManometer) {
    const double T = r.threshold, S = r.sensitivity;
    if (o.largeScale)
      std::snprintf(buf, sizeof buf,
                    ", Порог чувств.=%7.2lf%sПа (%lgмм.рт.ст.), Чувств.=%7.2lf%sПа/емр "
                    "(%lgмм.рт.ст./емр)"_cp,
                    T, "к"_cp, T / 0.13332, S, "к"_cp, S / 0.13332);
    else
      std::snprintf(buf, sizeof buf,
                    ", Порог чувств.=%7.2lf%sПа (%lgмм.рт.ст.), Чувств.=%7.2lf%sПа/емр "
                    "(%lgмм.рт.ст./емр)"_cp,
                    T * 133.32, "", T, S * 133.32, "", S);
    line += buf;
  }
  return line;
}

Text1251 ErrorCaption(const CalibrationResults& r) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "Ср.ош.=%3.3lg%%,  Макс.ош.=%3.3lg%% от разбр.знач."_cp,
                Round1(r.meanError), Round1(r.maxError));
  return buf;
}

Text1251 SensitivityCaption(const CalibrationResults& r, const FitOptions& o) {
  char buf[256];
  const double S = r.sensitivity;
  if (o.mode == KneeMode::kManometer) {
    if (o.largeScale)
      std::snprintf(buf, sizeof buf, "Чувств.=%lf%sПа/емр (%lgмм.рт.ст./емр)"_cp, S, "к"_cp,
                    S / 0.13332);
    else
      std::snprintf(buf, sizeof buf, "Чувств.=%lf%sПа/емр (%lgмм.рт.ст./емр)"_cp, S * 133.32, "",
                    S);
  } else {
    std::snprintf(buf, sizeof buf, "Чувств.=%lfН/емр"_cp, S);
  }
  return buf;
}

}  // namespace tester

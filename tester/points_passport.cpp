#include "tester/points_passport.h"

#include <cmath>

namespace tester {

namespace {

constexpr double kC = 255.0 / 32000.0;

double Guard(double h) {
  if (std::fabs(h) < 1e-25) return h >= 0 ? 1e-25 : -1e-25;
  return h;
}

// Least squares of t = 255 - tester on u = c x raw.
void LeastSquares(const std::vector<KneePoint>& pts, int i, double& slope, double& shift) {
  const double n = static_cast<double>(pts.size());
  double su = 0, suu = 0, st = 0, sut = 0;
  for (const KneePoint& p : pts) {
    const double u = kC * p.raw[i], t = 255.0 - p.tester;
    su += u;
    suu += u * u;
    st += t;
    sut += u * t;
  }
  const double h = Guard(kC * kC * (n * suu - su * su));
  slope = kC * kC * (n * sut - su * st) / h;
  shift = kC * (suu * st - su * sut) / h;
}

// Only the shift p is fitted; a raw value equal to the zero level z keeps display value 0.
bool KeepZero(const std::vector<KneePoint>& pts, int i, const DevicePassport& cur, int format,
              double& slope, double& shift) {
  const double R = cur.refSlope, Q = cur.refShift;
  const bool inverted = format <= 0;
  const double G = inverted ? 32000.0 : 0.0;
  // The raw value the current passport shows as 0.
  const double target = inverted ? cur.rangeHi[i] : cur.rangeLo[i];
  if (R == 0 || cur.slopes[i] == 0) return false;
  const double z = ((target - Q) / R - cur.shifts[i]) / cur.slopes[i];
  if (!std::isfinite(z) || z == 0) return false;
  double sxy = 0, sxx = 0;
  for (const KneePoint& p : pts) {
    const double r = p.raw[i];
    const double x = inverted ? kC * (r / z - 1) : kC * (1 - r / z);
    const double y = inverted ? kC * r * (Q - 32000) / (z * R) + 255 : -kC * r * Q / (z * R);
    sxy += x * (p.tester - y);
    sxx += x * x;
  }
  if (sxx == 0) return false;
  const double pp = sxy / sxx;
  shift = pp;
  slope = -(pp * R + Q - G) / (R * z);
  return std::isfinite(slope) && std::isfinite(shift);
}

}  // namespace

int PassportFromPoints(std::vector<KneePoint>& points,
                       const std::array<bool, kKneeSensors>& visible, bool keepZero,
                       DevicePassport& current, std::string_view file) {
  DevicePassport p = current;
  const int format = ReceptorDataFormat();
  for (int i = 0; i < kKneeSensors; ++i) {
    p.rangeLo[i] = 0;
    p.rangeHi[i] = 32000;
    double slope = 0, shift = 0;
    if (!points.empty() && !(keepZero && KeepZero(points, i, current, format, slope, shift)))
      LeastSquares(points, i, slope, shift);
    p.slopes[i] = slope;
    p.shifts[i] = shift;
  }
  const int written = WriteDvp(file, p);
  current = p;
  for (KneePoint& pt : points) {
    double sum = 0;
    int n = 0;
    for (int i = 0; i < kKneeSensors; ++i) {
      pt.sensors[i] = DisplayValue(p, i, pt.raw[i], 0);
      if (visible[i]) {
        sum += pt.sensors[i];
        ++n;
      }
    }
    pt.receptor = sum / std::max(n, 1);
  }
  return written;
}

}  // namespace tester

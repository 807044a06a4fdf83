#include "tester/passport_fit.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/paths.h"
#include "platform/report.h"
#include "platform/sync.h"

namespace tester {

namespace {

Text1251 NoLineMessage(int sensor) {
  char text[256];
  std::snprintf(text, sizeof text,
                "Паспорт не создан: точки не определяют прямую для сенсора %d"_cp, sensor + 1);
  return text;
}

FitResult Refused(int sensor, Text1251 message) {
  FitResult r;
  r.sensor = sensor;
  r.message = std::move(message);
  return r;
}

bool AllFinite(const FitResult& r) {
  for (int i = 0; i < kSensorCount; ++i)
    if (!std::isfinite(r.slopes[i]) || !std::isfinite(r.shifts[i])) return false;
  return true;
}

double ZeroOffset(int wireFormat) { return wireFormat <= 0 ? 32000.0 : 0.0; }

}  // namespace

FitResult FitLeastSquares(const std::vector<CalibrationPoint>& points) {
  const double c = kFitScale;
  const double n = static_cast<double>(points.size());
  FitResult r;
  for (int i = 0; i < kSensorCount; ++i) {
    bool distinct = false;
    double su = 0, suu = 0, st = 0, sut = 0;
    for (const CalibrationPoint& p : points) {
      distinct = distinct || p.raw[i] != points.front().raw[i];
      const double u = c * p.raw[i];
      const double t = 255.0 - p.testerValue;
      su += u;
      suu += u * u;
      st += t;
      sut += u * t;
    }
    // Fewer than two distinct raw values determine no line.
    if (!distinct) return Refused(i, NoLineMessage(i));
    const double h = c * c * (n * suu - su * su);
    r.slopes[i] = c * c * (n * sut - su * st) / h;
    r.shifts[i] = c * (suu * st - su * sut) / h;
  }
  if (!AllFinite(r)) return Refused(-1, NoLineMessage(0));
  r.ok = true;
  return r;
}

FitResult FitZeroPreserving(const std::vector<CalibrationPoint>& points, const ZeroLevels& zero,
                            double refSlope, double refShift, int wireFormat) {
  const double c = kFitScale;
  const double R = refSlope, Q = refShift;
  const bool format0 = wireFormat <= 0;
  const double G = ZeroOffset(wireFormat);
  if (R == 0 || !std::isfinite(R) || !std::isfinite(Q))
    return Refused(-1, "Паспорт не создан: лин.к-т референсного канала равен 0"_cp);
  FitResult r;
  for (int i = 0; i < kSensorCount; ++i) {
    const double z = zero[i];
    if (z == 0 || !std::isfinite(z)) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "Паспорт не создан: неизвестен нулевой уровень сенсора %d"_cp, i + 1);
      return Refused(i, text);
    }
    double sxx = 0, sxy = 0;
    for (const CalibrationPoint& p : points) {
      const double raw = p.raw[i];
      double x, y;
      if (format0) {
        x = c * (raw / z - 1);
        y = c * raw * (Q - 32000) / (z * R) + 255;
      } else {
        x = c * (1 - raw / z);
        y = -c * raw * Q / (z * R);
      }
      sxx += x * x;
      sxy += x * (p.testerValue - y);
    }
    if (!(sxx > 0)) return Refused(i, NoLineMessage(i));
    const double p = sxy / sxx;
    r.shifts[i] = p;
    r.slopes[i] = -(p * R + Q - G) / (R * z);
  }
  if (!AllFinite(r)) return Refused(-1, NoLineMessage(0));
  r.ok = true;
  return r;
}

std::optional<ZeroLevels> ZeroLevelsOf(const DevicePassport& p, int wireFormat) {
  const double G = ZeroOffset(wireFormat);
  if (p.refSlope == 0 || !std::isfinite(p.refSlope)) return std::nullopt;
  ZeroLevels z{};
  for (int i = 0; i < kSensorCount; ++i) {
    if (p.slopes[i] == 0) return std::nullopt;
    z[i] = (G / p.refSlope - p.shifts[i]) / p.slopes[i];
    if (!std::isfinite(z[i])) return std::nullopt;
  }
  return z;
}

std::optional<ZeroLevels> ZeroLevelsOf(const Push& push, int wireFormat) {
  if (!push.hasPassport) return std::nullopt;
  return ZeroLevelsOf(push.passport, wireFormat);
}

bool MakePassportFromPoints(const DevicePassport& base, const FitRequest& request,
                            DevicePassport& out, Text1251* message) {
  FitResult fit;
  if (!request.keepZero) {
    fit = FitLeastSquares(request.points);
  } else if (!request.zero) {
    fit = Refused(-1, "Паспорт не создан: нулевые уровни сенсоров неизвестны"_cp);
  } else {
    fit = FitZeroPreserving(request.points, *request.zero, base.refSlope, base.refShift,
                            request.wireFormat);
  }
  if (!fit.ok) {
    if (message) *message = fit.message;
    return false;
  }
  out = base;
  for (int i = 0; i < kSensorCount; ++i) {
    out.rangeLo[i] = 0;
    out.rangeHi[i] = 32000;
    out.slopes[i] = fit.slopes[i];
    out.shifts[i] = fit.shifts[i];
  }
  return true;
}

bool PassportFromPoints(PassportRegistry& registry, TimedMutex* lock, const FitRequest& request,
                        std::string_view fileName, Text1251* message) {
  // Runs f on the registry, under the lock when there is one; false when it cannot be taken.
  auto locked = [&](auto&& f) {
    std::optional<TimedLock> l;
    if (lock && !l.emplace(*lock, 1000)) {
      ReportCantLock("2736075");
      if (message) *message = "(2736075)Internal error:can't lock";
      return false;
    }
    f();
    return true;
  };
  DevicePassport base;
  if (!locked([&] { base = registry.current; })) return false;
  DevicePassport made;
  if (!MakePassportFromPoints(base, request, made, message)) return false;
  if (message) message->clear();
  fsw::MakeDirectories(winpath::FolderPart(fileName));
  // A file that cannot be written leaves the passport current in memory, and says so.
  if (WriteDvp(fileName, made) != 0) {
    if (message) *message = "Не удалось записать файл "_cp + Text1251(fileName);
  } else {
    made.fileName = Text1251(fileName);
  }
  return locked([&] { registry.current = made; });
}

PointValues ValuesOfPoint(const DevicePassport& p, const CalibrationPoint& point,
                          const Visibility& visible, int wireFormat, double sensitivity) {
  PointValues v;
  int count = 0;
  double sum = 0;
  for (int i = 0; i < kSensorCount; ++i) {
    v.sensors[i] = DisplayValueWith(p, i, point.raw[i], wireFormat, sensitivity);
    if (visible[i]) {
      sum += v.sensors[i];
      ++count;
    }
  }
  v.receptor = sum / std::max(count, 1);
  return v;
}

}  // namespace tester

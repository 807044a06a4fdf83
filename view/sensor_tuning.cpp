#include "view/sensor_tuning.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace view {

double LimitSensitivity(double value) {
  if (std::isnan(value)) return 1.0;
  value = std::clamp(value, 0.0, 100.0);
  return std::fabs(value - 1.0) < 0.001 ? 1.0 : value;
}

double SensitivityFromSlider(int position) {
  const int p = std::clamp(position, 0, kSensitivitySliderMax);
  if (p <= 500) return p / 500.0;
  const double x = (p - 500) / 500.0;
  return x * x * 99.0 + 1.0;
}

int SliderFromSensitivity(double value) {
  const double v = LimitSensitivity(value);
  if (v <= 1.0) return static_cast<int>(v * 500.0 + 0.5);
  return static_cast<int>(500.0 * std::sqrt((v - 1.0) / 99.0) + 0.5 + 500.0);
}

std::optional<double> ScanNumber(std::string_view text) {
  const std::string s(text);
  double v = 0;
  if (std::sscanf(s.c_str(), "%lg", &v) != 1 || !std::isfinite(v)) return std::nullopt;
  return v;
}

Text1251 FormatNumber(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lg", value);
  return buf;
}

int SensorFromText(std::string_view text) {
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(s.c_str(), &end, 10);
  if (end == s.c_str()) return 0;  // no number: sensor 1
  return static_cast<int>(std::clamp(n - 1, 0L, long(kSensorCount - 1)));
}

SensorCharacteristicsEditor::SensorCharacteristicsEditor(const DevicePassport& passport,
                                                         CoefficientsSink sink)
    : sink_(std::move(sink)) {
  for (int k = 0; k < kSensorCount; ++k) {
    a_[k] = a0_[k] = passport.slopes[k];
    b_[k] = b0_[k] = passport.shifts[k];
    top_[k] = passport.rangeHi[k];
  }
}

int SensorCharacteristicsEditor::Clamp(int sensor) {
  return std::clamp(sensor, 0, kSensorCount - 1);
}

void SensorCharacteristicsEditor::Write(int sensor) const {
  if (sink_) sink_(sensor, a_[sensor], b_[sensor]);
}

void SensorCharacteristicsEditor::Show(int sensor) {
  sensor_ = Clamp(sensor);
  Write(sensor_);
}

void SensorCharacteristicsEditor::StepA(int d, double step) {
  const int i = sensor_;
  const double delta = d * step;
  const double c = top_[i];
  // The line turns about the raw value where it meets the range top; with A = 0 there is no
  // such value and B stays.
  if (a_[i] != 0.0) {
    const double b = c - (c - b_[i]) * (a_[i] + delta) / a_[i];
    if (std::isfinite(b)) b_[i] = b;
  }
  a_[i] += delta;
  Show(i);
}

void SensorCharacteristicsEditor::StepB(int d, double step) {
  b_[sensor_] += d * step;
  Show(sensor_);
}

bool SensorCharacteristicsEditor::TypeA(std::string_view text) {
  const std::optional<double> v = ScanNumber(text);
  if (!v) return false;
  a_[sensor_] = *v;
  Write(sensor_);
  return true;
}

bool SensorCharacteristicsEditor::TypeB(std::string_view text) {
  const std::optional<double> v = ScanNumber(text);
  if (!v) return false;
  b_[sensor_] = *v;
  Write(sensor_);
  return true;
}

void SensorCharacteristicsEditor::Cancel() {
  a_ = a0_;
  b_ = b0_;
  for (int k = 0; k < kSensorCount; ++k) Write(k);
}

}  // namespace view

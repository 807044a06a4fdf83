// The arithmetic behind the two tuning dialogs that change how raw values become display values
// while the maps are watched: the sensitivity of a mechanoreceptor (its slider scale, limits and
// typed values) and the per-sensor coefficients A·x + B of a passport (arrow steps that turn the
// line about the top of the sensor's range, typed values, and Cancel back to the values at
// opening). Qt-free; the dialogs in ckd_sensibility_sensor_set.h and
// kcd_set_sensor_characteristics.h wire it to their controls.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string_view>

#include "acquisition/device_passport.h"
#include "acquisition/push.h"
#include "platform/cp1251.h"

namespace view {

inline constexpr int kSensitivitySliderMax = 1000;  // the slider runs 0..1000, 500 is 1.0

// Limited to 0..100 and set to exactly 1 within 0.001 of 1 (NaN gives 1, the default).
double LimitSensitivity(double value);
// Slider position (clamped to 0..1000) to sensitivity: linear 0..1 below 500, quadratic up
// to 100 above.
double SensitivityFromSlider(int position);
// The slider position of a sensitivity (limited first).
int SliderFromSensitivity(double value);

// A number as "%lg" scans it from the start of the text (trailing text is ignored); none when
// the text holds no number or the number is not finite ("nan", "inf", "1e999").
std::optional<double> ScanNumber(std::string_view text);
// "%lg" in the C locale.
Text1251 FormatNumber(double value);
// Sensor index of a typed sensor number: number - 1 limited to 0..18; 0 for a text that is no
// number.
int SensorFromText(std::string_view text);

// Where the coefficients of one sensor go: the slope and shift of the passport being edited.
using CoefficientsSink = std::function<void(int sensor, double slope, double shift)>;

// Working coefficients A[k], B[k] of the 19 sensors and their values at opening.
class SensorCharacteristicsEditor {
 public:
  // Takes the coefficients and the range tops of the passport as it is at opening. Nothing
  // is written until Show or a change.
  SensorCharacteristicsEditor(const DevicePassport& passport, CoefficientsSink sink);

  int Sensor() const { return sensor_; }
  double A() const { return a_[sensor_]; }
  double B() const { return b_[sensor_]; }
  double A(int sensor) const { return a_[Clamp(sensor)]; }
  double B(int sensor) const { return b_[Clamp(sensor)]; }

  // Makes sensor (limited to 0..18) the current one and writes its A and B to the passport.
  void Show(int sensor);
  // An arrow of A pressed d times (+1 / -1) with step s: B turns so that the raw value at
  // which the line reaches the top of the sensor's range keeps its place, then A moves by d*s.
  // While A is 0 (or the turn would not give a finite B), B stays. Writes as Show does.
  void StepA(int d, double step);
  // An arrow of B: B moves by d*s. Writes as Show does.
  void StepB(int d, double step);
  // A typed value for A or B of the current sensor: written at once when the text scans
  // (see ScanNumber); false, nothing changed, otherwise.
  bool TypeA(std::string_view text);
  bool TypeB(std::string_view text);
  // Every sensor's slope and shift back to the values at opening, written for all 19.
  void Cancel();

 private:
  static int Clamp(int sensor);
  void Write(int sensor) const;

  CoefficientsSink sink_;
  int sensor_ = 0;
  std::array<double, kSensorCount> a_{}, b_{}, a0_{}, b0_{}, top_{};
};

}  // namespace view

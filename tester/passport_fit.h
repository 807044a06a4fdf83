// Passports computed from calibration points: for the test-instrument dialog's "Создать паспорт"
// and its automatic passport after "W". Qt-free.
//
// A calibration point is one row of the dialog's point table: the raw values of the 19 sensors
// and the force the stand measured (the tester value, display scale 0..255). Per sensor a line
// is fitted through the points so that the display value of the new passport approximates the
// tester value:
//  - FitLeastSquares: slope and shift by least squares (with refSlope 1, refShift 0 and wire
//    format 0, DisplayValue(raw) ≈ tester value);
//  - FitZeroPreserving ("сохранять 0"): only the shift is fitted; the slope is chosen so that
//    the channel's zero level keeps display value 0. The zero levels are those of the push the
//    points came from: the raw value that the push's zero-corrected passport maps to zero
//    (ZeroLevelsOf), i.e. the raw median of the zero phase at the start of the push.
// A fit whose points do not determine a line for some sensor (fewer than two distinct raw
// values, or all at the zero level) is refused with a message naming the sensor; nothing is
// ever NaN or infinite.
//
// Typical use by the test dialog:
//   tester::FitRequest req{points, keepZero, tester::ZeroLevelsOf(hub.Passports().current,
//                          ReceptorDataFormat()), ReceptorDataFormat()};
//   Text1251 message;
//   if (tester::PassportFromPoints(hub.Passports(), &hub.PassportLock(), req, file, &message))
//     ...  // new passport written and current; renormalize the points with PointValues
//   else
//     ui::MessageBox(this, message);
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "acquisition/device_passport.h"
#include "acquisition/push.h"
#include "platform/cp1251.h"

class TimedMutex;

namespace tester {

inline constexpr double kFitScale = 255.0 / 32000.0;  // c of both fits
// The automatic passport after "W".
inline constexpr const char* kAutoPassportFile = "c:\\Tacmon\\DVP\\tmp\\tmp_saved.dvp";

struct CalibrationPoint {
  std::array<int32_t, kSensorCount> raw{};  // raw value per sensor
  double testerValue = 0;                   // the stand's value, display scale 0..255
};

using ZeroLevels = std::array<double, kSensorCount>;

struct FitResult {
  bool ok = false;
  int sensor = -1;   // 0-based sensor that refused the fit
  Text1251 message;  // why it was refused (CP1251), empty when ok
  std::array<double, kSensorCount> slopes{};
  std::array<double, kSensorCount> shifts{};
};

FitResult FitLeastSquares(const std::vector<CalibrationPoint>& points);
// refSlope and refShift of the passport being made; wireFormat as ReceptorDataFormat()
// (-1: none determined, which counts as format 0).
FitResult FitZeroPreserving(const std::vector<CalibrationPoint>& points, const ZeroLevels& zero,
                            double refSlope, double refShift, int wireFormat);

// Zero levels of a zero-corrected passport (the passport block of a recorded push, or the
// current passport after the zero point): per sensor the raw value whose calibrated value is
// G + refShift (G 32000 in format 0 or none determined, else 0). None when a slope or refSlope
// is 0 or a level would not be finite.
std::optional<ZeroLevels> ZeroLevelsOf(const DevicePassport& zeroCorrected, int wireFormat);
// The same from a recorded push's passport block (none without one).
std::optional<ZeroLevels> ZeroLevelsOf(const Push& push, int wireFormat);

struct FitRequest {
  std::vector<CalibrationPoint> points;  // in table order
  bool keepZero = false;                 // "сохранять 0"
  std::optional<ZeroLevels> zero;        // needed when keepZero
  int wireFormat = -1;
};

// The passport from the points: base with every sensor's range 0..32000 and fitted slope and
// shift. False (message set, out untouched) when the fit is refused.
bool MakePassportFromPoints(const DevicePassport& base, const FitRequest& request,
                            DevicePassport& out, Text1251* message);
// The whole operation: a copy of the registry's current passport fitted, written to fileName
// with WriteDvp (its folder made when missing), and made current (under lock when given). False
// with a message when refused (the current passport is then left as it was). A file that cannot
// be written still makes the passport current, in memory only: true with the message set.
bool PassportFromPoints(PassportRegistry& registry, TimedMutex* lock, const FitRequest& request,
                        std::string_view fileName, Text1251* message);

// A point recomputed under a passport: the display value of each sensor's raw value (first
// mechanoreceptor) and the receptor value, the mean over the visible sensors (not rounded).
struct PointValues {
  std::array<double, kSensorCount> sensors{};
  double receptor = 0;
};
PointValues ValuesOfPoint(const DevicePassport& p, const CalibrationPoint& point,
                          const Visibility& visible, int wireFormat, double sensitivity);

}  // namespace tester

// A device passport computed from the calibration points of the test dialog: every channel's
// slope and shift fitted so that the display value of a point's raw value approximates its
// tester value (least squares, or keeping the channel's zero level). Used for the automatic
// passport after automatic stepping and by "Создать паспорт".
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "acquisition/device_passport.h"
#include "tester/calibration.h"

namespace tester {

// Fits from a copy of current, writes it to file, makes current the result and recomputes the
// points' per-sensor values and receptor values under it. WriteDvp's result (0 written).
int PassportFromPoints(std::vector<KneePoint>& points,
                       const std::array<bool, kKneeSensors>& visible, bool keepZero,
                       DevicePassport& current, std::string_view file);

}  // namespace tester

// The decisions of the library, free of its C interface: the pressure field of a press, the
// contrast of each sensor against it, and per push the sensors that stand out long enough.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vigil {

inline constexpr int kSensors = 19;
using Map = std::array<double, kSensors>;

// Thresholds (the file "vigil.txt" under the data root, see settings.h).
struct Thresholds {
  double contrast = 0.12;   // a sensor stands out when it exceeds the field by this share ...
  double minExcess = 4;     // ... and by at least this many normalized units
  double pressShare = 0.5;  // frames with at least this share of the push's greatest total
  double minTotal = 150;    // sum of the 19 values below which the probe rests
  int minMs = 250;          // how long a sensor must stand out
  double peakShare = 0.5;   // in the peak map it must still exceed share × contrast
  // The probe head's profile: the share of a press felt at r cell widths from the centre is
  // max(domeFloor, 1 - domeSlope·r) (0 and 1: a flat head).
  double domeSlope = 0.3;
  double domeFloor = 0.35;
};

// Honeycomb geometry: rows of 3, 4, 5, 4, 3; cell centres one unit apart.
struct Position {
  double x = 0, y = 0;
};
const std::array<Position, kSensors>& Positions();
// The sensors next to each sensor (3 to 6 of them).
const std::array<std::vector<int>, kSensors>& Neighbours();

// The pressure field of a press at each sensor: the head's profile times a tilted plane
// (profile·(a + b·x + c·y): the overall pressure and how the probe leans), fitted to the
// sensors by least squares and refitted without the sensors that stand out above it, so an
// inclusion does not lift the field it is measured against.
Map PressureField(const Map& values, const Thresholds& t);
// Contrast of each sensor: its excess over the field, as a share of the field (the field is
// taken as at least a fifth of its highest value, so the rim of a press is not magnified).
Map ContrastOf(const Map& values, const Map& field);
// Sensors standing out in one map (excess share and absolute excess both above threshold).
std::array<bool, kSensors> StandingOut(const Map& values, const Thresholds& t);
// Colour index 0..255 of a contrast: 0 at or below none, 255 at twice the threshold.
int ContrastIndex(double contrast, const Thresholds& t);

struct Alert {
  std::array<int, kSensors> map{};  // colour indices
  std::vector<int> sensors;         // 0-based, ascending; empty: no inclusion found
  int push = 0;                     // 1 for the first push of the instance
  int elapsedMs = 0;                // time of the map (greatest total pressure)
  double contrast = 0;              // highest contrast among the sensors named
};
// The alert text (CP1251), short lines for a narrow pane: "Уплотнение", "Сенсоры 5, 6, 10, 11",
// the push and time, the contrast; or "Уплотнений", "не обнаружено" and the push.
std::string AlertText(const Alert& a);

// One instance's pushes. Frames outside a push are ignored; a frame equal to the previous one
// (same packet index and time: a repaint) is not counted again.
class Detector {
 public:
  explicit Detector(const Thresholds& t) : t_(t) {}
  void StartPush();
  // True when this frame made the set of sensors found grow; the alert is then Live().
  bool Frame(const int* values, int packetIndex, int elapsedMs);
  // The push's decision; none when the push had no press (the probe rested).
  std::optional<Alert> StopPush();
  Alert Live() const { return live_; }
  bool InPush() const { return inPush_; }
  int PushNumber() const { return push_; }

 private:
  Alert Decide(const Map& map, int elapsedMs, const std::vector<int>& sensors) const;

  Thresholds t_;
  bool inPush_ = false;
  int push_ = 0;
  bool haveLast_ = false;
  int lastIndex_ = 0, lastMs_ = 0;
  bool lastAnalysed_ = false;
  Map peak_{};
  Map atMax_{};
  double maxTotal_ = 0;
  int atMaxMs_ = 0;
  std::array<bool, kSensors> wasOut_{};
  std::array<int, kSensors> outMs_{};
  std::vector<int> found_;
  Alert live_;
};

}  // namespace vigil

// The sensor map renderer every window showing mechanoreceptor data uses: DrawSensorMap draws
// one frame of a push as a honeycomb of colour-coded cells with their decorations (visibility
// boxes, values, min/max, pressure curves, selector triangles, marks) and DrawLegend the colour
// legend. The host window owns a MapDisplayState (its switches, brushes and hit tables) and
// decides the rectangles, the mode and the options; drawing goes to a back buffer.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "acquisition/push.h"
#include "view/colour_scale.h"
#include "view/map_canvas.h"
#include "view/map_hit_tables.h"
#include "view/map_layout.h"
#include "view/time_window.h"

namespace view {

// Four switches, 1 = on (kept in the parameter set "Main").
struct MapDecorations {
  int visibilityBoxes = 1;  // "SetShowVisibilityFlagsOnSensors"
  int values = 1;           // "SetShowVisibilityValuesOnSensors"
  int curves = 1;           // "SetShowVisibilityGraphicsOnSensors"
  int minMax = 0;           // "SetShowVisibilityMinMaxOnSensors"
};

enum MapRole : int { kRoleMain = 0, kRoleStrip = 1, kRoleOverview = 2 };

// The windows that draw maps differ in a few features (sensor numbers, value texts, curve time
// axis, label lines, selector triangles).
enum class MapHost { kViewer, kRecording, kThumbnail };

inline constexpr int kLabelModeDragging = 4;

// Display state owned by one host window.
struct MapDisplayState {
  MapHost host = MapHost::kViewer;
  std::array<int, MapHitTables::kSensorSlots> visible = Ones();
  MapMode mode = kMode19;
  int selected = kCentreSensor;
  int highlighted = -1;  // drawn with a thick red border
  MapDecorations decorations;
  TimeWindow timeWindow;
  int recordingLo = 0, recordingHi = 0;  // the recording view's curve window
  int labelMode = 0;
  int draggedLabelFrame = -1;                // while labelMode is 4
  const DevicePassport* passport = nullptr;  // colour indices and curve fractions; none: defaults
  ui::Point clientOffset;                    // back buffer origin in client coordinates
  ColourBrushes brushes;
  MapHitTables hits;

  Visibility VisibleSensors() const;
  bool IsVisible(int sensor) const { return sensor >= 0 && sensor < 50 && visible[sensor] == 1; }

 private:
  static std::array<int, MapHitTables::kSensorSlots> Ones() {
    std::array<int, MapHitTables::kSensorSlots> a{};
    a.fill(1);
    return a;
  }
};

// Workstation settings the maps read at every paint (owned by the main dialog, which keeps
// them current): "set_output_sensors_numbers" and "set_use_MechDisplay".
struct MapSettings {
  bool outputSensorNumbers = true;
  bool useMechDisplay = true;
};
MapSettings& CurrentMapSettings();

// The tactile display hook: receives the 19 colour indices of a forwarded map (0 for sensors
// the map did not draw). Empty until the display link installs itself.
using DisplayForwarder = std::function<void(const std::array<int, kSensorCount>&)>;
void SetDisplayForwarder(DisplayForwarder forwarder);
void ForwardToDisplay(const std::array<int, kSensorCount>& indices);

struct MapDrawResult {
  int frame = -1;  // the frame shown, -1 without one
  // Colour index of each sensor this map drew from a frame; 0 for the others.
  std::array<int, kSensorCount> indices{};
};

struct MapRequest {
  const Push* push = nullptr;  // a push with no frames counts as none
  int frame = -1;              // -1: the push's current frame; beyond the end: the last
  MapMode mode = kMode19;      // strip and overview maps always draw 19
  MapRole role = kRoleMain;
  MapDecorations decorations{0, 0, 0, 0};
  bool forward = false;
  bool caption = false;
  ui::Rect rect;
  // Colour indices (0..255, frame order) drawn instead of a frame, with their value texts but
  // no curves; the push is not read then.
  const std::array<int, kSensorCount>* indices = nullptr;
};

MapDrawResult DrawSensorMap(MapCanvas& canvas, MapDisplayState& state, const MapRequest& request);

// 256 stripes, colour 0 at the bottom.
void DrawLegend(MapCanvas& canvas, const ui::Rect& legend, const ColourBrushes& brushes);

// The visibility box (also the pushes list's present box): a sunken frame, with the cross when
// `checked`, corners (a, b) and (c, d) of r.
void DrawCheckBox(MapCanvas& canvas, const ui::Rect& r, bool checked);

// Colour index and curve fraction of a raw value, as the maps compute them.
int MapColourIndex(const DevicePassport& passport, int sensor, int32_t raw);
double MapCurveFraction(const DevicePassport& passport, int sensor, int32_t raw);

inline ui::Colour ToColour(const Rgb& c) { return ui::Rgb(c.r, c.g, c.b); }

}  // namespace view

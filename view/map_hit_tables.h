// What a paint leaves behind for the host's mouse handling, in client coordinates of the host
// window. Each host window owns one MapHitTables; BeginPaint clears it, so after a paint the
// tables describe exactly what is on screen (several windows may draw at once).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "view/map_layout.h"

namespace view {

struct MapHitTables {
  static constexpr int kSensorSlots = 50;
  static constexpr int kCurveSlots = 256;
  static constexpr int kMaxStripMaps = 1000;

  struct StripMap {
    std::array<CellOutline, kSensorCount> cells{};
    int frame = -1;
  };

  std::array<std::optional<Rect>, kSensorSlots> visibilityBoxes{};
  std::array<std::optional<Rect>, kCurveSlots> curveRects{};
  std::array<std::optional<std::array<Point, 3>>, kSensorCount> selectors{};
  std::array<std::optional<CellOutline>, kSensorCount> overviewCells{};
  std::vector<StripMap> stripMaps;  // at most kMaxStripMaps, in drawing order
  // The curve rectangle in which the current frame's line was last drawn (the time zoom).
  std::optional<Rect> lastGraphRect;

  // Forgets everything; called at the start of every paint.
  void BeginPaint();

  // Hit queries; the first hit in sensor order wins.
  std::optional<int> VisibilityBoxAt(Point p) const;
  std::optional<int> CurveRectAt(Point p) const;
  // Selector triangle or overview cell (strictly inside).
  std::optional<int> SelectorOrOverviewAt(Point p) const;
  struct StripHit {
    int frame;
    int sensor;
  };
  std::optional<StripHit> StripCellAt(Point p) const;
};

}  // namespace view

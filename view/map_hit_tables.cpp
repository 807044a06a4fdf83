#include "view/map_hit_tables.h"

namespace view {

void MapHitTables::BeginPaint() {
  visibilityBoxes.fill(std::nullopt);
  curveRects.fill(std::nullopt);
  selectors.fill(std::nullopt);
  overviewCells.fill(std::nullopt);
  stripMaps.clear();
  lastGraphRect.reset();
}

std::optional<int> MapHitTables::VisibilityBoxAt(Point p) const {
  for (int i = 0; i < kSensorCount; ++i)
    if (visibilityBoxes[i] && visibilityBoxes[i]->Contains(p)) return i;
  return std::nullopt;
}

std::optional<int> MapHitTables::CurveRectAt(Point p) const {
  for (int i = 0; i < kSensorCount; ++i)
    if (curveRects[i] && curveRects[i]->Contains(p)) return i;
  return std::nullopt;
}

std::optional<int> MapHitTables::SelectorOrOverviewAt(Point p) const {
  for (int i = 0; i < kSensorCount; ++i) {
    if (selectors[i] && StrictlyInside(selectors[i]->data(), 3, p)) return i;
    if (overviewCells[i] && StrictlyInside(overviewCells[i]->data(), 6, p)) return i;
  }
  return std::nullopt;
}

std::optional<MapHitTables::StripHit> MapHitTables::StripCellAt(Point p) const {
  for (const StripMap& map : stripMaps)
    for (int s = 0; s < kSensorCount; ++s)
      if (StrictlyInside(map.cells[s].data(), 6, p)) return StripHit{map.frame, s};
  return std::nullopt;
}

}  // namespace view

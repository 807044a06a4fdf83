// Geometry of the sensor maps: the 19-, 7- and 1-sensor layouts in model units, the neighbour
// table of the 7-sensor view, and the placement of a layout in a pixel rectangle with the
// derived cell features (outline, visibility box, curve rectangle, selector triangle) and the
// legend stripes. Pure arithmetic: the drawing itself is in sensor_map.h.
#pragma once

#include <array>
#include <vector>

#include "platform/ui/geometry.h"

namespace view {

inline constexpr int kSensorCount = 19;
inline constexpr int kCentreSensor = 9;  // sensor 10, the middle cell

struct PointD {
  double x = 0, y = 0;
};
// Pixel points and rectangles of the drawing code (right and bottom exclusive).
using Point = ui::Point;
using Rect = ui::Rect;

// 0 = all 19 sensors, 1 = the selected sensor with its six neighbours, 2 = the selected alone.
enum MapMode : int { kMode19 = 0, kMode7 = 1, kMode1 = 2 };

using Hexagon = std::array<PointD, 6>;  // vertices: top, upper right, lower right, bottom, ...

namespace SensorMapLayout {
extern const double kSqrt3;
extern const Hexagon kUnitHexagon;
extern const Hexagon kHexagon7;  // unit hexagon scaled by 400/237
extern const Hexagon kHexagon1;  // unit hexagon scaled by 4
extern const std::array<PointD, kSensorCount> kCentres19;
extern const std::array<PointD, 7> kCentres7;  // UL, UR, L, self, R, LL, LR
extern const PointD kCentre1;                  // (2, 0)
}  // namespace SensorMapLayout

// Row = selected sensor, slots UL, UR, L, self, R, LL, LR; -1 = no sensor there.
extern const int NeighbourTable[kSensorCount][7];
inline constexpr int kSelfSlot = 3;
bool IsNeighbourOf(int selected, int sensor);  // one of the seven of the selected sensor's row

// One cell a mode draws: its sensor (-1 = empty slot), centre and hexagon.
struct CellSlot {
  int sensor = -1;
  PointD centre;
  const Hexagon* hexagon = nullptr;
};
// The cells of a layout in drawing order; the selected sensor is clamped to 0..18.
std::vector<CellSlot> LayoutCells(MapMode mode, int selected);

// A layout placed in a map rectangle: k = W/5, x0 = L + W/10, y0 = (T + B)/2; every cell at
// 95 % of its size; model y grows upwards.
struct MapPlacement {
  double k = 0, x0 = 0;
  int y0 = 0;
  Point Pixel(const PointD& vertex, const PointD& centre) const;
};
MapPlacement PlaceMap(const Rect& r);

// The six vertices in table order followed by vertex 0 again.
using CellOutline = std::array<Point, 7>;
CellOutline OutlineOf(const MapPlacement& placement, const CellSlot& cell);

// Features derived from a cell outline (all in the map's own pixel coordinates).
Rect VisibilityBoxOf(const CellOutline& o);  // 10 x 10, corners (X-12, Y-10)..(X-2, Y) at vertex 2
Rect CurveRectOf(const CellOutline& o);      // between the means of vertices 5,0 and 2,3
struct SelectorTriangle {
  Point baseLeft, baseRight, apex;  // (xa, yb), (xb, yb), (xc, yc)
};
SelectorTriangle SelectorOf(const CellOutline& o);

// Strictly inside a convex polygon: every edge cross product of one sign, none zero.
bool StrictlyInside(const Point* poly, int count, Point p);

// Legend stripe i (0 = bottom): the rows it fills and its horizontal extent.
struct Stripe {
  int left, top, right, bottom;
};
Stripe LegendStripe(const Rect& legend, int i);

}  // namespace view

#include "view/map_layout.h"

#include <algorithm>
#include <cmath>

namespace view {
namespace SensorMapLayout {

const double kSqrt3 = std::sqrt(3.0);

namespace {
Hexagon Scaled(double s) {
  return {PointD{0, s * kSqrt3 / 3},       PointD{s / 2, s * kSqrt3 / 6},
          PointD{s / 2, -s * kSqrt3 / 6},  PointD{0, -s * kSqrt3 / 3},
          PointD{-s / 2, -s * kSqrt3 / 6}, PointD{-s / 2, s * kSqrt3 / 6}};
}
std::array<PointD, kSensorCount> Centres19() {
  std::array<PointD, kSensorCount> c{};
  const int rowLength[5] = {3, 4, 5, 4, 3};
  const double rowX0[5] = {1, 0.5, 0, 0.5, 1};
  const double rowY[5] = {kSqrt3, kSqrt3 / 2, 0, -kSqrt3 / 2, -kSqrt3};
  int s = 0;
  for (int row = 0; row < 5; ++row)
    for (int k = 0; k < rowLength[row]; ++k) c[s++] = {rowX0[row] + k, rowY[row]};
  return c;
}
}  // namespace

const Hexagon kUnitHexagon = Scaled(1);
const Hexagon kHexagon7 = Scaled(400.0 / 237.0);
const Hexagon kHexagon1 = Scaled(4);
const std::array<PointD, kSensorCount> kCentres19 = Centres19();
const std::array<PointD, 7> kCentres7 = {PointD{7.0 / 6, 5 * kSqrt3 / 6},
                                         PointD{17.0 / 6, 5 * kSqrt3 / 6},
                                         PointD{1.0 / 3, 0},
                                         PointD{2, 0},
                                         PointD{11.0 / 3, 0},
                                         PointD{7.0 / 6, -5 * kSqrt3 / 6},
                                         PointD{17.0 / 6, -5 * kSqrt3 / 6}};
const PointD kCentre1{2, 0};

}  // namespace SensorMapLayout

const int NeighbourTable[kSensorCount][7] = {
    {-1, -1, -1, 0, 1, 3, 4},     {-1, -1, 0, 1, 2, 4, 5},      {-1, -1, 1, 2, -1, 5, 6},
    {-1, 0, -1, 3, 4, 7, 8},      {0, 1, 3, 4, 5, 8, 9},        {1, 2, 4, 5, 6, 9, 10},
    {2, -1, 5, 6, -1, 10, 11},    {-1, 3, -1, 7, 8, -1, 12},    {3, 4, 7, 8, 9, 12, 13},
    {4, 5, 8, 9, 10, 13, 14},     {5, 6, 9, 10, 11, 14, 15},    {6, -1, 10, 11, -1, 15, -1},
    {7, 8, -1, 12, 13, -1, 16},   {8, 9, 12, 13, 14, 16, 17},   {9, 10, 13, 14, 15, 17, 18},
    {10, 11, 14, 15, -1, 18, -1}, {12, 13, -1, 16, 17, -1, -1}, {13, 14, 16, 17, 18, -1, -1},
    {14, 15, 17, 18, -1, -1, -1}};

namespace {
int ClampSensor(int s) { return std::clamp(s, 0, kSensorCount - 1); }
}  // namespace

bool IsNeighbourOf(int selected, int sensor) {
  if (sensor < 0) return false;
  const int* row = NeighbourTable[ClampSensor(selected)];
  return std::find(row, row + 7, sensor) != row + 7;
}

std::vector<CellSlot> LayoutCells(MapMode mode, int selected) {
  using namespace SensorMapLayout;
  std::vector<CellSlot> cells;
  selected = ClampSensor(selected);
  switch (mode) {
    case kMode7:
      for (int slot = 0; slot < 7; ++slot)
        cells.push_back({NeighbourTable[selected][slot], kCentres7[slot], &kHexagon7});
      break;
    case kMode1:
      cells.push_back({selected, kCentre1, &kHexagon1});
      break;
    default:
      for (int s = 0; s < kSensorCount; ++s) cells.push_back({s, kCentres19[s], &kUnitHexagon});
      break;
  }
  return cells;
}

Point MapPlacement::Pixel(const PointD& v, const PointD& c) const {
  return {static_cast<int>(x0 + 0.5 + k * (0.95 * v.x + c.x)),
          static_cast<int>(y0 + 0.5 - k * (0.95 * v.y + c.y))};
}

MapPlacement PlaceMap(const Rect& r) {
  MapPlacement p;
  double w = r.right - r.left;
  p.k = w / 5;
  p.x0 = r.left + w / 10;
  p.y0 = (r.top + r.bottom) / 2;
  return p;
}

CellOutline OutlineOf(const MapPlacement& placement, const CellSlot& cell) {
  CellOutline o{};
  for (int v = 0; v < 6; ++v) o[v] = placement.Pixel((*cell.hexagon)[v], cell.centre);
  o[6] = o[0];
  return o;
}

Rect VisibilityBoxOf(const CellOutline& o) {
  return {o[2].x - 12, o[2].y - 10, o[2].x - 2, o[2].y};
}

Rect CurveRectOf(const CellOutline& o) {
  return {(o[5].x + o[0].x) / 2, (o[5].y + o[0].y) / 2, (o[2].x + o[3].x) / 2,
          (o[2].y + o[3].y) / 2};
}

SelectorTriangle SelectorOf(const CellOutline& o) {
  int xa = (o[5].x + o[0].x) / 2;
  int xb = (o[2].x + o[3].x) / 2;
  int yb = (o[2].y + o[3].y) / 2;
  return {{xa, yb}, {xb, yb}, o[3]};
}

bool StrictlyInside(const Point* poly, int count, Point p) {
  if (count < 3) return false;
  int sign = 0;
  for (int i = 0; i < count; ++i) {
    const Point& a = poly[i];
    const Point& b = poly[(i + 1) % count];
    long long cross = static_cast<long long>(b.x - a.x) * (p.y - a.y) -
                      static_cast<long long>(b.y - a.y) * (p.x - a.x);
    if (cross == 0) return false;
    int s = cross > 0 ? 1 : -1;
    if (sign == 0)
      sign = s;
    else if (s != sign)
      return false;
  }
  return true;
}

Stripe LegendStripe(const Rect& legend, int i) {
  double h = legend.bottom - legend.top;
  return {legend.left + 3, static_cast<int>(legend.bottom + 0.5 - h * (i + 1) / 256),
          legend.right - 3, static_cast<int>(legend.bottom + 0.5 - h * i / 256)};
}

}  // namespace view

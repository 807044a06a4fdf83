// The drawing surface the sensor maps need, GDI-like and Qt-free: polygons, lines and
// polylines with a pen, solid fills, transparent text, clipping. UiMapCanvas (ui_map_canvas.h)
// draws on the platform canvas; tests record the calls.
#pragma once

#include <string_view>

#include "platform/ui/geometry.h"

namespace view {

struct MapPen {
  ui::Colour colour = ui::Rgb(0, 0, 0);
  int width = 1;
  bool current = false;  // the canvas's current pen (the thumbnails' border)
};

class MapCanvas {
 public:
  virtual ~MapCanvas() = default;
  // Filled with `fill` and outlined with `pen` (n vertices, closed).
  virtual void Polygon(const ui::Point* pts, int n, ui::Colour fill, const MapPen& pen) = 0;
  virtual void Polyline(const ui::Point* pts, int n, const MapPen& pen) = 0;
  // From a to b; the end point itself is not drawn, as in GDI.
  virtual void Line(ui::Point a, ui::Point b, const MapPen& pen) = 0;
  virtual void FillRect(const ui::Rect& r, ui::Colour c) = 0;
  // Transparent background, left/top aligned, the canvas's current font and text colour.
  virtual void TextOut(int x, int y, std::string_view text1251) = 0;
  virtual ui::Size TextExtent(std::string_view text1251) = 0;
  virtual void SetClipRect(const ui::Rect& r) = 0;
  virtual void ResetClip() = 0;
};

}  // namespace view

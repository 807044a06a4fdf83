// The sensor maps on the platform canvas (GDI-like, no antialiasing): what windows, back
// buffers, printer pages and "tacpush render" draw them on.
#pragma once

#include "platform/ui/canvas.h"
#include "view/map_canvas.h"

namespace view {

class UiMapCanvas : public MapCanvas {
 public:
  explicit UiMapCanvas(ui::Canvas& canvas) : c_(canvas) {}

  void Polygon(const ui::Point* pts, int n, ui::Colour fill, const MapPen& pen) override;
  void Polyline(const ui::Point* pts, int n, const MapPen& pen) override;
  void Line(ui::Point a, ui::Point b, const MapPen& pen) override;
  void FillRect(const ui::Rect& r, ui::Colour c) override;
  void TextOut(int x, int y, std::string_view text1251) override;
  ui::Size TextExtent(std::string_view text1251) override;
  void SetClipRect(const ui::Rect& r) override;
  void ResetClip() override;

 private:
  ui::Canvas& c_;
};

}  // namespace view

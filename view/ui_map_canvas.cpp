#include "view/ui_map_canvas.h"

namespace view {
namespace {

ui::Pen ToPen(const MapPen& p) { return ui::Pen{p.colour, p.width, ui::PenStyle::Solid}; }

// Selects a pen for one call and restores the previous one afterwards.
class PenScope {
 public:
  PenScope(ui::Canvas& c, const MapPen& pen) : c_(c), active_(!pen.current) {
    if (active_) old_ = c_.SelectPen(ToPen(pen));
  }
  ~PenScope() {
    if (active_) c_.SelectPen(old_);
  }

 private:
  ui::Canvas& c_;
  bool active_;
  ui::Pen old_;
};

}  // namespace

void UiMapCanvas::Polygon(const ui::Point* pts, int n, ui::Colour fill, const MapPen& pen) {
  PenScope scope(c_, pen);
  ui::Brush old = c_.SelectBrush(ui::Brush::Solid(fill));
  c_.Polygon(pts, n);
  c_.SelectBrush(old);
}

void UiMapCanvas::Polyline(const ui::Point* pts, int n, const MapPen& pen) {
  PenScope scope(c_, pen);
  c_.Polyline(pts, n);
}

void UiMapCanvas::Line(ui::Point a, ui::Point b, const MapPen& pen) {
  PenScope scope(c_, pen);
  c_.Line(a.x, a.y, b.x, b.y);
}

void UiMapCanvas::FillRect(const ui::Rect& r, ui::Colour c) { c_.FillRect(r, c); }

void UiMapCanvas::TextOut(int x, int y, std::string_view text1251) {
  bool oldBk = c_.SetBkTransparent(true);
  unsigned oldAlign = c_.SetTextAlign(ui::TextAlign::Left | ui::TextAlign::Top);
  c_.TextOut(x, y, text1251);
  c_.SetTextAlign(oldAlign);
  c_.SetBkTransparent(oldBk);
}

ui::Size UiMapCanvas::TextExtent(std::string_view text1251) { return c_.TextExtent(text1251); }

void UiMapCanvas::SetClipRect(const ui::Rect& r) { c_.SetClipRect(r); }

void UiMapCanvas::ResetClip() { c_.ResetClip(); }

}  // namespace view

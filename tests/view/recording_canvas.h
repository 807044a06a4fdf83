// A MapCanvas that records what is drawn, so tests can check the drawing without a display.
#pragma once

#include <string>
#include <vector>

#include "view/map_canvas.h"

struct DrawOp {
  enum Kind { kPolygon, kPolyline, kLine, kFill, kText, kClip, kUnclip } kind;
  std::vector<ui::Point> points;
  ui::Colour fill = 0;
  view::MapPen pen;
  std::string text;
  ui::Rect rect;
};

class RecordingCanvas : public view::MapCanvas {
 public:
  std::vector<DrawOp> ops;

  void Polygon(const ui::Point* pts, int n, ui::Colour fill, const view::MapPen& pen) override {
    ops.push_back({DrawOp::kPolygon, {pts, pts + n}, fill, pen, {}, {}});
  }
  void Polyline(const ui::Point* pts, int n, const view::MapPen& pen) override {
    ops.push_back({DrawOp::kPolyline, {pts, pts + n}, 0, pen, {}, {}});
  }
  void Line(ui::Point a, ui::Point b, const view::MapPen& pen) override {
    ops.push_back({DrawOp::kLine, {a, b}, 0, pen, {}, {}});
  }
  void FillRect(const ui::Rect& r, ui::Colour c) override {
    ops.push_back({DrawOp::kFill, {}, c, {}, {}, r});
  }
  void TextOut(int x, int y, std::string_view text) override {
    ops.push_back({DrawOp::kText, {{x, y}}, 0, {}, std::string(text), {}});
  }
  ui::Size TextExtent(std::string_view text) override {
    return {static_cast<int>(text.size()) * 7, 13};
  }
  void SetClipRect(const ui::Rect& r) override { ops.push_back({DrawOp::kClip, {}, 0, {}, {}, r}); }
  void ResetClip() override { ops.push_back({DrawOp::kUnclip, {}, 0, {}, {}, {}}); }

  std::vector<const DrawOp*> Of(DrawOp::Kind k) const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops)
      if (op.kind == k) out.push_back(&op);
    return out;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const DrawOp& op : ops)
      if (op.kind == DrawOp::kText) out.push_back(op.text);
    return out;
  }
  // Hexagonal cell polygons (six vertices).
  std::vector<const DrawOp*> Cells() const {
    std::vector<const DrawOp*> out;
    for (const DrawOp* op : Of(DrawOp::kPolygon))
      if (op->points.size() == 6) out.push_back(op);
    return out;
  }
};

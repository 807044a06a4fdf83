#include "view/sensor_map.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace view {
namespace {

const ui::Colour kBlack = ui::Rgb(0, 0, 0);
const ui::Colour kWhite = ui::Rgb(255, 255, 255);
const ui::Colour kRed = ui::Rgb(255, 0, 0);
const ui::Colour kLightGrey = ui::Rgb(200, 200, 200);
const ui::Colour kGrey = ui::Rgb(128, 128, 128);
const ui::Colour kMarkGrey = ui::Rgb(60, 60, 60);
const ui::Colour kSelectorPink = ui::Rgb(255, 181, 180);

MapPen Pen1(ui::Colour c) { return MapPen{c, 1, false}; }

std::mutex& ForwarderLock() {
  static std::mutex m;
  return m;
}
DisplayForwarder& Forwarder() {  // guarded by ForwarderLock
  static DisplayForwarder f;
  return f;
}

const DevicePassport& DefaultPassport() {
  static const DevicePassport p{};
  return p;
}

std::string Format(const char* fmt, int v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

// Everything one cell needs besides its geometry.
struct CellContext {
  MapCanvas& canvas;
  MapDisplayState& state;
  const MapRequest& request;
  const Push* push;  // null without frames
  int frame;         // -1 without a push
  const DevicePassport& passport;
  const MapSettings& settings;
  MapHitTables::StripMap* strip;  // the strip slot being recorded, or null
};

void DrawDiagonals(MapCanvas& c, const CellOutline& o, ui::Colour colour) {
  MapPen pen = Pen1(colour);
  c.Line(o[0], o[3], pen);
  c.Line(o[1], o[4], pen);
  c.Line(o[2], o[5], pen);
}

void DrawSelector(CellContext& x, const CellOutline& o, int sensor) {
  SelectorTriangle t = SelectorOf(o);
  const bool selected = sensor == x.state.selected;
  const ui::Colour fill = selected ? kRed : kSelectorPink;
  ui::Point pts[3] = {t.baseLeft, t.baseRight, t.apex};
  x.canvas.Polygon(pts, 3, fill, Pen1(fill));
  const int xa = t.baseLeft.x, xb = t.baseRight.x, yb = t.baseLeft.y;
  const int xc = t.apex.x, yc = t.apex.y;
  const ui::Colour right = selected ? kWhite : kBlack;
  const ui::Colour top = selected ? kBlack : kWhite;
  MapCanvas& c = x.canvas;
  c.Line({xc + 2, yc}, {xa + 2, yb}, Pen1(kGrey));
  c.Line({xb - 2, yb}, {xc - 2, yc}, Pen1(right));
  c.Line({xa, yb + 1}, {xb, yb + 1}, Pen1(top));
  c.Line({xc + 1, yc}, {xa + 1, yb}, Pen1(kGrey));
  c.Line({xb - 1, yb}, {xc - 1, yc}, Pen1(right));
  c.Line({xa, yb}, {xb, yb}, Pen1(top));
  c.Line({xc, yc}, {xa, yb}, Pen1(kGrey));
  c.Line({xb, yb}, {xc, yc}, Pen1(right));
  if (sensor >= 0 && sensor < kSensorCount) {
    const ui::Point d = x.state.clientOffset;
    x.state.hits.selectors[sensor] = std::array<ui::Point, 3>{
        ui::Point{pts[0].x + d.x, pts[0].y + d.y}, ui::Point{pts[1].x + d.x, pts[1].y + d.y},
        ui::Point{pts[2].x + d.x, pts[2].y + d.y}};
  }
}

void DrawCurve(CellContext& x, const CellOutline& o, int sensor, int v) {
  const Push& push = *x.push;
  const int n = push.FrameCount();
  const MapHost host = x.state.host;
  ui::Rect r = CurveRectOf(o);
  if (sensor < MapHitTables::kCurveSlots)
    x.state.hits.curveRects[sensor] = r.Offset(x.state.clientOffset.x, x.state.clientOffset.y);

  int lo = 0, hi = n - 1;
  const TimeWindow& w = x.state.timeWindow;
  if (host == MapHost::kViewer) {
    lo = w.Lo();
    hi = w.Hi(n);
  } else if (host == MapHost::kRecording) {
    lo = std::max(0, x.state.recordingLo);
    hi = std::min(n - 1, x.state.recordingHi);
  }
  auto row = [&](int f) {
    switch (host) {
      case MapHost::kViewer:
        return CurveRowViewer(w, f, r.top, r.bottom);
      case MapHost::kRecording:
        return CurveRowRecording(lo, hi, f, r.top, r.bottom);
      case MapHost::kThumbnail:
        break;
    }
    return CurveRowAllFrames(n, f, r.top, r.bottom);
  };
  auto column = [&](int f) {
    return CurveColumn(MapCurveFraction(x.passport, sensor, push.frames[f].values[sensor]), r.left,
                       r.right);
  };

  // White outline of the rectangle.
  ui::Point frame[5] = {
      {r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}, {r.left, r.top}};
  x.canvas.Polyline(frame, 5, Pen1(kWhite));

  x.canvas.SetClipRect(ui::Rect{r.left, r.top, r.right + 1, r.bottom + 1});
  if (host != MapHost::kRecording) {
    const MapPen labelPen = Pen1(ToColour(x.state.brushes[(v + 128) % 256]));
    for (int f = lo; f <= hi; ++f) {
      if (!push.frames[f].HasLabel()) continue;
      int y = row(f);
      x.canvas.Line({r.left, y}, {r.right, y}, labelPen);
    }
    if (host == MapHost::kViewer && x.state.labelMode == kLabelModeDragging &&
        x.state.draggedLabelFrame >= 0) {
      int y = row(x.state.draggedLabelFrame);
      x.canvas.Line({r.left, y}, {r.right, y}, labelPen);
    }
  }
  if (hi >= lo) {
    std::vector<ui::Point> pts;
    pts.reserve(hi - lo + 1);
    for (int f = lo; f <= hi; ++f) pts.push_back({column(f), row(f)});
    x.canvas.Polyline(pts.data(), static_cast<int>(pts.size()), Pen1(kBlack));
  }
  x.canvas.ResetClip();

  const int p = push.currentFrame;
  if (p >= 0 && p < n) {
    int y = row(p);
    if (y >= r.top && y <= r.bottom) {
      int px = column(p);
      int toX = r.left;
      if (host == MapHost::kViewer) toX = (px - r.left > r.right - px) ? r.left : r.right;
      if (host == MapHost::kViewer) {
        x.canvas.Line({px, y}, {toX, y}, Pen1(kWhite));
      } else {
        x.canvas.Line({r.left, y}, {px, y}, Pen1(kWhite));
      }
      x.state.hits.lastGraphRect = r;
    }
  }
}

void DrawCell(CellContext& x, const CellSlot& cell, const CellOutline& o, int v,
              std::optional<int32_t> raw) {
  MapCanvas& c = x.canvas;
  const int sensor = cell.sensor;
  const MapRole role = x.request.role;
  const MapHost host = x.state.host;
  const bool main = role == kRoleMain;
  const bool visible = sensor >= 0 && x.state.IsVisible(sensor);

  ui::Colour fill = kWhite;
  if (sensor >= 0) fill = visible ? ToColour(x.state.brushes[v]) : ToColour(x.state.brushes.hidden);
  MapPen border = Pen1(kBlack);
  if (sensor >= 0 && sensor == x.state.highlighted)
    border = MapPen{kRed, 6, false};
  else if (host == MapHost::kThumbnail)
    border.current = true;
  c.Polygon(o.data(), 6, fill, border);
  if (sensor < 0) return;

  const MapDecorations& deco = x.request.decorations;
  const bool boxes =
      main && host != MapHost::kThumbnail && (deco.visibilityBoxes || host == MapHost::kRecording);
  if (boxes) {
    ui::Rect box = VisibilityBoxOf(o);
    DrawCheckBox(c, box, visible);
    x.state.hits.visibilityBoxes[sensor] =
        box.Offset(x.state.clientOffset.x, x.state.clientOffset.y);
    if (host == MapHost::kRecording && x.settings.outputSensorNumbers) {
      std::string number = Format("%d", sensor + 1);
      ui::Size s = c.TextExtent(number);
      c.TextOut(o[2].x - s.cx / 2 - 12, o[2].y - s.cy - 10, number);
    }
  }
  const bool valueText =
      host == MapHost::kRecording || (host == MapHost::kViewer && x.settings.outputSensorNumbers);
  if (main && deco.values && valueText && raw) c.TextOut(o[5].x + 1, o[5].y + 1, Format("%d", v));
  if (main && deco.minMax && x.push) {
    std::string lo = Format("%d", x.push->statistics.sensorMin[sensor]);
    std::string hi = Format("%d", x.push->statistics.sensorMax[sensor]);
    int h = c.TextExtent(lo).cy;
    c.TextOut(o[5].x + 1, o[5].y + 1 + 3 * h / 2, lo);
    c.TextOut(o[5].x + 1, o[5].y + 1 + 5 * h / 2, hi);
  }
  c.Polyline(o.data(), 7, Pen1(kRed));
  if (main && deco.curves && x.push && x.push->FrameCount() > 1 && visible)
    DrawCurve(x, o, sensor, v);
  if (main && host == MapHost::kViewer) DrawSelector(x, o, sensor);

  if (role != kRoleMain && host == MapHost::kViewer) {
    if (x.state.mode == kMode7 && IsNeighbourOf(x.state.selected, sensor))
      DrawDiagonals(c, o, kMarkGrey);
    if ((x.state.mode == kMode7 || x.state.mode == kMode1) && sensor == x.state.selected)
      DrawDiagonals(c, o, kBlack);
  }
  const ui::Point d = x.state.clientOffset;
  if (role == kRoleOverview) {
    CellOutline shifted = o;
    for (ui::Point& p : shifted) p = {p.x + d.x, p.y + d.y};
    x.state.hits.overviewCells[sensor] = shifted;
  } else if (role == kRoleStrip && x.strip) {
    CellOutline& out = x.strip->cells[sensor];
    for (int i = 0; i < 7; ++i) out[i] = {o[i].x + d.x, o[i].y + d.y};
  }
}

}  // namespace

Visibility MapDisplayState::VisibleSensors() const {
  Visibility v{};
  for (int i = 0; i < kSensorCount; ++i) v[i] = visible[i] == 1;
  return v;
}

MapSettings& CurrentMapSettings() {
  static MapSettings settings;
  return settings;
}

void SetDisplayForwarder(DisplayForwarder forwarder) {
  std::lock_guard<std::mutex> lock(ForwarderLock());
  Forwarder() = std::move(forwarder);
}

void ForwardToDisplay(const std::array<int, kSensorCount>& indices) {
  DisplayForwarder f;
  {
    std::lock_guard<std::mutex> lock(ForwarderLock());
    f = Forwarder();
  }
  if (f) f(indices);
}

int MapColourIndex(const DevicePassport& passport, int sensor, int32_t raw) {
  return ColourIndex(DisplayValue(passport, sensor, raw, 0));
}

double MapCurveFraction(const DevicePassport& passport, int sensor, int32_t raw) {
  double f = DisplayFraction(passport, sensor, raw, 0);
  if (!(f == f)) return 0;
  return std::clamp(f, 0.0, 1.0);
}

MapDrawResult DrawSensorMap(MapCanvas& canvas, MapDisplayState& state, const MapRequest& request) {
  MapDrawResult result;
  if (!state.brushes.built) state.brushes.MakeBrushes();
  const Push* push = request.push && request.push->FrameCount() > 0 && !request.indices
                         ? request.push
                         : nullptr;
  int frame = -1;
  if (push) {
    frame = request.frame < 0 ? push->currentFrame : request.frame;
    frame = std::clamp(frame, 0, push->FrameCount() - 1);
  }
  result.frame = frame;
  const DevicePassport& passport = state.passport ? *state.passport : DefaultPassport();
  const MapSettings settings = CurrentMapSettings();

  MapHitTables::StripMap* strip = nullptr;
  if (request.role == kRoleStrip &&
      static_cast<int>(state.hits.stripMaps.size()) < MapHitTables::kMaxStripMaps) {
    state.hits.stripMaps.emplace_back();
    strip = &state.hits.stripMaps.back();
  }
  CellContext ctx{canvas, state, request, push, frame, passport, settings, strip};

  const MapMode mode = request.role == kRoleMain ? request.mode : kMode19;
  const MapPlacement placement = PlaceMap(request.rect);
  for (const CellSlot& cell : LayoutCells(mode, state.selected)) {
    int v = 0;
    std::optional<int32_t> raw;
    if (cell.sensor >= 0 && request.indices) {
      v = std::clamp((*request.indices)[cell.sensor], 0, 255);
      raw = v;  // shown as its value text
      result.indices[cell.sensor] = v;
    } else if (cell.sensor >= 0 && push) {
      raw = push->frames[frame].values[cell.sensor];
      v = MapColourIndex(passport, cell.sensor, *raw);
      result.indices[cell.sensor] = v;
    }
    DrawCell(ctx, cell, OutlineOf(placement, cell), v, raw);
  }
  if (strip) strip->frame = frame;

  if (request.forward && settings.useMechDisplay) ForwardToDisplay(result.indices);
  if (request.caption && push)
    canvas.TextOut(request.rect.left + 1, request.rect.top + 1, Format("rec=%d", frame + 1));
  return result;
}

void DrawLegend(MapCanvas& canvas, const ui::Rect& legend, const ColourBrushes& brushes) {
  for (int i = 0; i < kScaleSize; ++i) {
    Stripe s = LegendStripe(legend, i);
    canvas.FillRect({s.left, s.top, s.right, s.bottom}, ToColour(brushes.scale[i]));
  }
}

void DrawCheckBox(MapCanvas& c, const ui::Rect& r, bool checked) {
  const int a = r.left, b = r.top, cc = r.right, d = r.bottom;
  const MapPen black = Pen1(kBlack);
  ui::Point edge1[3] = {{a, d}, {a, b}, {cc, b}};
  c.Polyline(edge1, 3, black);
  ui::Point edge2[3] = {{a + 1, d - 1}, {a + 1, b + 1}, {cc - 1, b + 1}};
  c.Polyline(edge2, 3, black);
  if (checked) {
    c.Line({a + 3, b + 3}, {cc - 2, d - 2}, black);
    c.Line({a + 3, b + 4}, {cc - 3, d - 2}, black);
    c.Line({a + 4, b + 3}, {cc - 2, d - 3}, black);
    c.Line({cc - 3, b + 3}, {a + 2, d - 2}, black);
    c.Line({cc - 3, b + 4}, {a + 3, d - 2}, black);
    c.Line({cc - 4, b + 3}, {a + 2, d - 3}, black);
  }
  ui::Point edge3[3] = {{cc, b}, {cc, d}, {a, d}};
  c.Polyline(edge3, 3, Pen1(kLightGrey));
}

}  // namespace view

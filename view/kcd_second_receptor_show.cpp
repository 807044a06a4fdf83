#include "view/kcd_second_receptor_show.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/file.h"
#include "platform/ui/automation.h"
#include "platform/ui/resources.h"
#include "view/sensor_map.h"
#include "view/ui_map_canvas.h"

namespace view {
namespace {

// Contrast of the pane's colour scale.
constexpr double kSecondReceptorContrast = 7;

// The template: only a hidden button, which tells that the pane has been created.
const char kTemplate[] = R"rc(
DIALOG 169 "" 0 0 200 120 STYLE noframe resizable
  BUTTON 1000 0 0 10 10 "tmp" STYLE hidden
END
)rc";

// The pane open now (at most one: it belongs to the operation window).
KCDSecondReceptorShow* g_open = nullptr;

void RegisterOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // "dump-second-receptor FILE": the 19 colour indices of the pane's last paint, one line.
  namespace a = ui::automation;
  a::RegisterCommand("dump-second-receptor", [](a::Context& c) {
    if (!g_open || c.rest.empty()) {
      c.error = "dump-second-receptor FILE (with the second receptor pane open)";
      return a::Result::Failed;
    }
    std::string line;
    for (int v : g_open->Shown()) line += (line.empty() ? "" : " ") + std::to_string(v);
    if (WriteWholeFile(c.rest, line + "\n") != 0) {
      c.error = "cannot write " + c.rest;
      return a::Result::Failed;
    }
    return a::Result::Done;
  });
  if (ui::FindDialogTemplate(kSecondReceptorDialogId)) return;
  std::string error;
  if (!ui::RegisterResources(kTemplate, &error))
    std::fprintf(stderr, "second receptor template: %s\n", error.c_str());
}

}  // namespace

ui::Rect SecondReceptorSquare(const ui::Rect& c) {
  const int x = std::min(c.left + (c.bottom - c.top), (c.left + c.right) / 2);
  const int side = x - c.left;
  return {c.left, c.top, x, c.top + side};
}

std::array<int, kSensorCount> SecondReceptorIndices(const std::optional<SecondReceptorValues>& v) {
  std::array<int, kSensorCount> out{};
  if (!v) return out;
  for (int i = 0; i < kSensorCount; ++i)
    out[i] = static_cast<int>(DisplayValue(v->passport, i, v->raw[i], 1) + 0.5);
  return out;
}

void DrawSecondReceptorMap(MapCanvas& canvas, const ui::Rect& client,
                           const std::array<int, kSensorCount>& indices,
                           const ColourBrushes& brushes) {
  canvas.FillRect(client, ui::Rgb(255, 255, 255));
  const MapPlacement place = PlaceMap(SecondReceptorSquare(client));
  const MapPen black{ui::Rgb(0, 0, 0), 1};
  for (const CellSlot& cell : LayoutCells(kMode19, 0)) {
    if (cell.sensor < 0) continue;
    const CellOutline o = OutlineOf(place, cell);
    canvas.Polygon(o.data(), 6, ToColour(brushes[indices[cell.sensor]]), black);
  }
}

KCDSecondReceptorShow::KCDSecondReceptorShow(Source source)
    : CDialogK(kSecondReceptorDialogId), source_(std::move(source)) {
  RegisterOnce();
}

KCDSecondReceptorShow::~KCDSecondReceptorShow() {
  if (g_open == this) g_open = nullptr;
}

bool KCDSecondReceptorShow::OnInitDialog() {
  initialised_ = true;
  g_open = this;
  MakeBuffer();
  brushes_.MakeBrushes(kSecondReceptorContrast);
  return true;
}

void KCDSecondReceptorShow::MakeBuffer() {
  const ui::Rect c = ClientRect();
  buffer_.Release();
  if (buffer_.Create(std::max(1, c.Width()), std::max(1, c.Height()))) {
    bufferFailed_ = false;
    return;
  }
  // Reported once; drawing goes on straight onto the window.
  if (!bufferFailed_) kit::ShowInternalError("CtacmonDlgVigil", 76);
  bufferFailed_ = true;
}

void KCDSecondReceptorShow::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  if (!initialised_ || !HasWindow()) return;
  MakeBuffer();
  Invalidate(false);
}

void KCDSecondReceptorShow::OnPaint(ui::Canvas& dc) {
  // The base's paint would cover the map with its background: the pane paints all of itself.
  shown_ = SecondReceptorIndices(source_ ? source_() : std::nullopt);
  if (!brushes_.built) brushes_.MakeBrushes(kSecondReceptorContrast);
  const ui::Rect c = ClientRect();
  if (buffer_.Valid()) {
    {
      std::unique_ptr<ui::Canvas> back = buffer_.Begin();
      UiMapCanvas canvas(*back);
      DrawSecondReceptorMap(canvas, {0, 0, c.Width(), c.Height()}, shown_, brushes_);
    }
    buffer_.BlitTo(dc, c.left, c.top);
  } else {
    UiMapCanvas canvas(dc);
    DrawSecondReceptorMap(canvas, c, shown_, brushes_);
  }
}

}  // namespace view

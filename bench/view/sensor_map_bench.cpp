// Time to draw the sensor map into a back buffer, against the 50 ms display period:
//  - BM_MainMap: the main map alone (19 cells with values, min/max and curves) and the legend;
//  - BM_ViewerPicture: the viewer's whole picture (overview, main map, strip, frames, legend).
// Sizes are the picture areas 800x600 and 1920x1080.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "bench/qt_bench_main.h"
#include "platform/ui/canvas.h"
#include "view/push_viewer_model.h"
#include "view/ui_map_canvas.h"

namespace {

// A synthetic press of 320 frames (16 s at 50 ms): a smooth bump on every sensor, two labels.
view::ViewerSource MakeSource() {
  view::ViewerSource s;
  AllocateFrames(s.push, 320);
  for (int f = 0; f < 320; ++f) {
    for (int i = 0; i < kSensorCount; ++i) {
      double x = (f - 160.0 - 3 * i) / 60.0;
      s.push.frames[f].values[i] = static_cast<int32_t>(500 + 20000 * std::exp(-x * x));
    }
  }
  s.push.frames[100].SetLabel(true);
  s.push.frames[200].SetLabel(true);
  s.push.passport.format = 1;
  return s;
}

void DrawInto(benchmark::State& state, bool wholePicture) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  SetReceptorDataFormat(1);
  view::ViewerSource source = MakeSource();
  view::PushViewerModel model;
  model.Open(&source);
  model.SetCurrentFrame(160);
  model.Map().decorations = {1, 1, 1, 1};
  model.ComputeLayout(w, h, 100);
  model.ComputeLayout(w, h, 100);
  ui::BackBuffer buffer;
  if (!buffer.Create(w, h)) {
    state.SkipWithError("no back buffer");
    return;
  }
  std::unique_ptr<ui::Canvas> canvas = buffer.Begin();
  view::UiMapCanvas mapCanvas(*canvas);
  view::MapDisplayState& map = model.Map();
  for (auto _ : state) {
    if (wholePicture) {
      model.Paint(mapCanvas, {0, 0});
    } else {
      mapCanvas.FillRect({0, 0, w, h}, ui::Rgb(255, 255, 255));
      map.hits.BeginPaint();
      view::MapRequest r;
      r.push = &model.Shown();
      r.role = view::kRoleMain;
      r.decorations = map.decorations;
      r.caption = true;
      r.rect = model.Layout().map;
      view::DrawSensorMap(mapCanvas, map, r);
      view::DrawLegend(mapCanvas, model.Layout().legend, map.brushes);
    }
    benchmark::DoNotOptimize(buffer.Image().constBits());
  }
}

void BM_MainMap(benchmark::State& state) { DrawInto(state, false); }
void BM_ViewerPicture(benchmark::State& state) { DrawInto(state, true); }

BENCHMARK(BM_MainMap)
    ->Args({800, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ViewerPicture)
    ->Args({800, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return bench::RunQtBenchmarks<QGuiApplication>(argc, argv); }

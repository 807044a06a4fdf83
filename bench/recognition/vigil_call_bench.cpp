// Time of one FCallVigilLib (the recognition library looking at one frame) against the 50 ms
// display period, and against one paint of the main sensor map with its legend at 800x600:
//  - BM_CallVigilLib: frames of a push over the simulated inclusion, every one new;
//  - BM_CallVigilLibRepaint: the same frame again (a repaint without a new frame);
//  - BM_MainMapPaint: the map the recording view draws on the same period.
// After the benchmarks a summary measured in one run gives the ratios (Debian's benchmark
// library is a debug build: compare ratios, not absolute figures).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bench/qt_bench_main.h"
#include "platform/ui/canvas.h"
#include "vendor/vigil/vigil.h"
#include "view/push_viewer_model.h"
#include "view/ui_map_canvas.h"
#include "vigil/simulated_pushes.h"

namespace {

int Ignore(void*, const int*) { return 0; }
int IgnoreText(void*, const char*) { return 0; }

// One library instance with its callbacks, on a scratch data root.
class Instance {
 public:
  Instance() {
    root_ = std::filesystem::temp_directory_path() / "tacmon-vigil-bench";
    std::filesystem::create_directories(root_);
    handle_ = FInitVigilLib(nullptr, root_.c_str(), root_.c_str(), nullptr);
    SetVigilLibAddData(handle_, VIGIL_ALERT_VALUES, reinterpret_cast<void*>(&Ignore),
                       sizeof(&Ignore));
    SetVigilLibAddData(handle_, VIGIL_ALERT_TEXT, reinterpret_cast<void*>(&IgnoreText),
                       sizeof(&IgnoreText));
    FVigilLibStartPush(handle_);
    frames_ = vigiltest::SimulatedPush({});
  }
  ~Instance() {
    FFinishVigilLib(handle_);
    std::filesystem::remove_all(root_);
  }
  // Frame k of an endless push: the simulated frames over and over, time running on.
  void Call(int k) {
    auto& f = frames_[static_cast<size_t>(k) % frames_.size()];
    FCallVigilLib(handle_, f.normalized.data(), f.raw.data(), 0, k, k * 50);
  }

 private:
  std::filesystem::path root_;
  void* handle_ = nullptr;
  std::vector<vigiltest::SimFrame> frames_;
};

// The main map of a frame of the same push, drawn as the recording view draws it.
class MapPaint {
 public:
  MapPaint() {
    SetReceptorDataFormat(1);
    AllocateFrames(source_.push, 1);
    const auto frames = vigiltest::SimulatedPush({});
    for (int s = 0; s < kSensorCount; ++s)
      source_.push.frames[0].values[s] = frames[frames.size() / 2].raw[s];
    source_.push.passport.format = 1;
    model_.Open(&source_);
    model_.Map().decorations = {1, 1, 1, 1};
    model_.ComputeLayout(800, 600, 100);
    model_.ComputeLayout(800, 600, 100);
    buffer_.Create(800, 600);
    canvas_ = buffer_.Begin();
    mapCanvas_ = std::make_unique<view::UiMapCanvas>(*canvas_);
  }
  void Paint() {
    view::MapDisplayState& map = model_.Map();
    mapCanvas_->FillRect({0, 0, 800, 600}, ui::Rgb(255, 255, 255));
    map.hits.BeginPaint();
    view::MapRequest r;
    r.push = &model_.Shown();
    r.role = view::kRoleMain;
    r.decorations = map.decorations;
    r.caption = true;
    r.rect = model_.Layout().map;
    view::DrawSensorMap(*mapCanvas_, map, r);
    view::DrawLegend(*mapCanvas_, model_.Layout().legend, map.brushes);
    benchmark::DoNotOptimize(buffer_.Image().constBits());
  }

 private:
  view::ViewerSource source_;
  view::PushViewerModel model_;
  ui::BackBuffer buffer_;
  std::unique_ptr<ui::Canvas> canvas_;
  std::unique_ptr<view::UiMapCanvas> mapCanvas_;
};

void BM_CallVigilLib(benchmark::State& state) {
  Instance lib;
  int k = 0;
  for (auto _ : state) lib.Call(k++);
}

void BM_CallVigilLibRepaint(benchmark::State& state) {
  Instance lib;
  lib.Call(0);
  for (auto _ : state) lib.Call(0);
}

void BM_MainMapPaint(benchmark::State& state) {
  MapPaint paint;
  for (auto _ : state) paint.Paint();
}

BENCHMARK(BM_CallVigilLib)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallVigilLibRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MainMapPaint)->Unit(benchmark::kMicrosecond);

template <class F>
double MeanMicroseconds(int n, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) f(i);
  const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
  return d.count() / n;
}

void Summary() {
  Instance lib;
  MapPaint paint;
  const double call = MeanMicroseconds(20000, [&](int k) { lib.Call(k); });
  const double map = MeanMicroseconds(300, [&](int) { paint.Paint(); });
  std::printf(
      "\nsummary: one FCallVigilLib %.1f us = %.3f %% of the 50 ms display period; one main map "
      "paint (800x600) %.1f us; a map paint takes %.0f calls\n",
      call, call / 50000 * 100, map, map / call);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunQtBenchmarks<QGuiApplication>(argc, argv, Summary);
}

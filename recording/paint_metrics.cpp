#include "recording/paint_metrics.h"

#include <algorithm>
#include <cstdlib>

namespace recording {

namespace {
const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// One trace file for the whole run (every view of the run appends to it).
std::FILE* TraceFile() {
  static std::FILE* trace = [] {
    const char* path = Env("TACMON_PAINT_TRACE");
    return path ? std::fopen(path, "w") : nullptr;
  }();
  return trace;
}
}  // namespace

PaintMetrics::PaintMetrics() : trace_(TraceFile()) {}

void PaintMetrics::FramesTaken(double now) {
  if (arrived_ == 0) arrived_ = now;
}

void PaintMetrics::Painted(double start, double end, const SensorFrame* newest) {
  ++paints_;
  maxPaint_ = std::max(maxPaint_, end - start);
  if (end - start > 0.05) ++over50ms_;
  if (arrived_ > 0) {
    const double latency = end - arrived_;
    latencySum_ += latency;
    maxLatency_ = std::max(maxLatency_, latency);
    ++latencies_;
    arrived_ = 0;
  }
  if (!trace_ || !newest || newest->index == tracedIndex_) return;
  tracedIndex_ = newest->index;
  std::fprintf(trace_, "%.6f %d %d %d %d %d\n", end, newest->index, newest->extraWords[0],
               newest->extraWords[1], newest->extraWords[2], newest->extraWords[3]);
  std::fflush(trace_);
}

void PaintMetrics::WriteStats() const {
  const char* path = Env("TACMON_PAINT_STATS");
  std::FILE* f = path ? std::fopen(path, "w") : nullptr;
  if (!f) return;
  std::fprintf(f,
               "paints %llu\nmax_paint_ms %.3f\nover_50ms %llu\nlatencies %llu\n"
               "mean_latency_ms %.3f\nmax_latency_ms %.3f\n",
               static_cast<unsigned long long>(paints_), maxPaint_ * 1000,
               static_cast<unsigned long long>(over50ms_),
               static_cast<unsigned long long>(latencies_),
               latencies_ ? latencySum_ / latencies_ * 1000 : 0.0, maxLatency_ * 1000);
  std::fclose(f);
}

}  // namespace recording

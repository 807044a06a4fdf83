// Measurements of the recording view's paints for the benchmarks, both off unless the
// environment asks for them:
//   $TACMON_PAINT_TRACE  one line "seconds index extra0 extra1 extra2 extra3" (monotonic clock,
//                        the frame's extra words) per paint that shows a new live frame: the
//                        time from a marked probe packet to the screen;
//   $TACMON_PAINT_STATS  written when the view goes: paints, the longest paint, paints over
//                        50 ms, and the time from frames taken to their paint (mean, max).
// UI thread only.
#pragma once

#include <cstdint>
#include <cstdio>

#include "acquisition/push.h"

namespace recording {

class PaintMetrics {
 public:
  PaintMetrics();
  PaintMetrics(const PaintMetrics&) = delete;
  PaintMetrics& operator=(const PaintMetrics&) = delete;

  // New frames were taken (the first since the last paint starts the latency).
  void FramesTaken(double now);
  // A paint from start to end (monotonic seconds) that showed newest, or none.
  void Painted(double start, double end, const SensorFrame* newest);
  // Writes the figures to $TACMON_PAINT_STATS.
  void WriteStats() const;

 private:
  std::FILE* trace_ = nullptr;  // shared by the run, never closed before the end
  int32_t tracedIndex_ = -1;
  uint64_t paints_ = 0, over50ms_ = 0, latencies_ = 0;
  double maxPaint_ = 0, latencySum_ = 0, maxLatency_ = 0;
  double arrived_ = 0;  // the first frame taken since the last paint, 0 when none
};

}  // namespace recording

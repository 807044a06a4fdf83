#include "view/time_window.h"

#include <algorithm>
#include <cmath>

namespace view {

int CurveRowViewer(const TimeWindow& w, int f, int top, int bottom) {
  int h = w.SafeHalfWidth();
  return static_cast<int>(top + double(f - (w.centre - h)) * (bottom - top) / (2.0 * h) + 0.5);
}

int CurveRowRecording(int lo, int hi, int f, int top, int bottom) {
  int span = hi - lo > 0 ? hi - lo : 1;
  return static_cast<int>(bottom - double(bottom - top) * (f - lo) / span + 0.5);
}

int CurveRowAllFrames(int frameCount, int f, int top, int bottom) {
  int span = frameCount - 1 > 0 ? frameCount - 1 : 1;
  return static_cast<int>(top + double(bottom - top) * f / span + 0.5);
}

int CurveColumn(double fraction, int left, int right) {
  if (!(fraction == fraction)) fraction = 0;
  return static_cast<int>(fraction * (right - left) + left + 0.5);
}

int FrameAtRow(const TimeWindow& w, int y, int top, int bottom, int frameCount) {
  if (frameCount <= 0) return 0;
  int h = w.halfWidth;
  double f = double(y - top) * 2 * h / std::max(1, bottom - top) + 0.5 + (w.centre - h);
  return std::clamp(static_cast<int>(f), 0, frameCount - 1);
}

std::optional<int> CurrentFrameRow(const TimeWindow& w, int p, int frameCount, int graphTop,
                                   int graphBottom) {
  int lo = w.Lo(), hi = w.Hi(frameCount);
  if (hi <= lo) return std::nullopt;
  return static_cast<int>(double(p - lo) * (graphBottom - graphTop) / (hi - lo) + graphTop);
}

namespace {

// Applies a new half-width and moves the centre so that the current frame keeps its row.
TimeWindow Rezoom(const TimeWindow& w, int newHalf, int p, int n, int gt, int gb) {
  TimeWindow out{w.centre, newHalf};
  std::optional<int> y = CurrentFrameRow(w, p, n, gt, gb);
  if (!y || *y < gt || *y > gb || gb <= gt) return out;
  std::optional<int> y2 = CurrentFrameRow(out, p, n, gt, gb);
  if (!y2) return out;
  int span = out.Hi(n) - out.Lo();
  out.centre += static_cast<int>(std::floor(double(span) * (*y2 - *y) / (gb - gt) + 0.5));
  return out;
}

}  // namespace

TimeWindow ZoomIn(const TimeWindow& w, int p, int n, int gt, int gb) {
  return Rezoom(w, std::max(1, w.halfWidth / 2), p, n, gt, gb);
}

TimeWindow ZoomOut(const TimeWindow& w, int p, int n, int gt, int gb) {
  return Rezoom(w, std::max(1, std::min(n / 2, 2 * w.halfWidth)), p, n, gt, gb);
}

TimeWindow StandardScale(int n) { return {n / 2, std::max(1, n / 2)}; }

TimeWindow Scroll(const TimeWindow& w, int direction) {
  return {w.centre + direction * (w.halfWidth / 3), w.halfWidth};
}

}  // namespace view

// The time axis of the pressure curves: a window of frames centre ± half-width, its mapping to
// pixel rows inside a curve rectangle, and the zoom and scroll steps of the push viewer.
// Every division is guarded: a half-width below 1, an empty push or a flat rectangle never
// divide by zero.
#pragma once

#include <optional>

#include "view/map_layout.h"

namespace view {

struct TimeWindow {
  int centre = 0;
  int halfWidth = 1;

  int Lo() const { return centre - halfWidth > 0 ? centre - halfWidth : 0; }
  int Hi(int frameCount) const {
    int hi = centre + halfWidth;
    return hi < frameCount - 1 ? hi : frameCount - 1;
  }
  int SafeHalfWidth() const { return halfWidth < 1 ? 1 : halfWidth; }
};

// Row of frame f in a curve rectangle (viewer and thumbnails: time runs downwards; the window
// centre - h .. centre + h spans the full height even where the push does not reach).
int CurveRowViewer(const TimeWindow& w, int f, int top, int bottom);
// Recording view: the window lo..hi with time running upwards.
int CurveRowRecording(int lo, int hi, int f, int top, int bottom);
// Thumbnails: all frames 0..n-1, time downwards.
int CurveRowAllFrames(int frameCount, int f, int top, int bottom);
// Column of a curve fraction 0..1.
int CurveColumn(double fraction, int left, int right);

// Frame under row y of a curve rectangle (inverse of CurveRowViewer), clamped to 0..n-1.
int FrameAtRow(const TimeWindow& w, int y, int top, int bottom, int frameCount);

// Row of the current frame p in the last graph rectangle, or none when it is outside the
// window (or the window holds a single frame).
std::optional<int> CurrentFrameRow(const TimeWindow& w, int p, int frameCount, int graphTop,
                                   int graphBottom);

// Zoom steps keep the current frame at the same height in the last graph rectangle.
TimeWindow ZoomIn(const TimeWindow& w, int p, int frameCount, int graphTop, int graphBottom);
TimeWindow ZoomOut(const TimeWindow& w, int p, int frameCount, int graphTop, int graphBottom);
TimeWindow StandardScale(int frameCount);  // centre n/2, half-width max(1, n/2)
// Up/Down keys: the centre moves by half-width/3 frames (direction -1 or +1).
TimeWindow Scroll(const TimeWindow& w, int direction);

}  // namespace view

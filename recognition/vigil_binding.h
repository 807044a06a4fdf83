// The binding of the recognition library (vendor/vigil, linked like a vendor library): one
// process-wide instance that the operation window opens and finishes, the calls of the
// recording view and the push viewer, and the two alert callbacks that hand the library's
// answers to the alert window of the operation window. Qt-free; the library calls are made on
// the UI thread, the callbacks may come from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "acquisition/push.h"

namespace recognition {

// ---- the instance (UI thread) ----
// FInitVigilLib with the window as context, the two roots and the message log, then the two
// alert callbacks. An instance left open by another window is finished first.
void OpenLibrary(void* window);
// FFinishVigilLib when the instance is the window's; the handle is none afterwards.
void FinishLibrary(void* window);
bool LibraryOpen();

// A push starts or resumes / pauses or stops (FVigilLibStartPush / FVigilLibStopPush).
void PushStarted();
void PushStopped();

// The frame of a paint (FCallVigilLib): normalized values (colour indices), the frame's raw
// values, label count and index, and the ms from the reference time. Each kind of window has
// its own array of normalized values.
enum class FrameSource { kRecordingView = 0, kPushViewer = 1 };
void FramePainted(FrameSource source, const std::array<int, kSensorCount>& normalized,
                  const SensorFrame& frame, int64_t elapsedMs);

// Milliseconds from reference to t, both local calendar times: the difference of the calendar
// times in whole seconds × 1000 plus the difference of the millisecond fields. Exact across
// midnight, month and year ends; clamped to the int range.
int64_t ElapsedMs(const FrameTime& t, const FrameTime& reference);

// ---- where the alerts go ----
// The alert window of an operation window. Its methods are called from the library's callbacks
// (any thread) with the registry lock held: they copy under the window's own lock and ask for
// a repaint on the UI thread. Lock order: the registry lock, then the window's lock.
class AlertSink {
 public:
  virtual ~AlertSink() = default;
  virtual void SetAlertValues(const int* values) = 0;  // 19 ints
  virtual void SetAlertText(const char* text) = 0;     // null counts as empty
};
// A live alert window for the context (the operation window); unregistering waits for a
// callback in progress, so none reaches a window that is gone.
void RegisterAlertSink(void* context, AlertSink* sink);
void UnregisterAlertSink(void* context, AlertSink* sink);

// The callbacks given to the library: 0, or -1 when the context is none or has no alert window.
int AlertValuesCallback(void* context, const int* values);
int AlertTextCallback(void* context, const char* text);
// The log callback (also the one given to medstore): the text goes to the message log.
void LogCallback(const char* text);

}  // namespace recognition

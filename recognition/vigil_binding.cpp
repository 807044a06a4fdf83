#include "recognition/vigil_binding.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <map>
#include <mutex>

#include "platform/paths.h"
#include "platform/report.h"
#include "vendor/vigil/vigil.h"

namespace recognition {
namespace {

// The instance and the window it belongs to (UI thread only).
void* handle = nullptr;
void* owner = nullptr;
// The normalized values of the last call, one array for each kind of window.
std::array<std::array<int, kSensorCount>, 2> normalizedValues{};

// Live alert windows by context. Lock order: sinksLock, then a window's own lock.
std::mutex sinksLock;
std::map<void*, AlertSink*> sinks;

int64_t CalendarSeconds(const FrameTime& t) {
  using namespace std::chrono;
  int64_t days = 0;
  const year_month_day ymd{year(t.year), month(static_cast<unsigned>(t.month)),
                           day(static_cast<unsigned>(t.day))};
  if (ymd.ok()) days = sys_days(ymd).time_since_epoch().count();
  return ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

}  // namespace

int64_t ElapsedMs(const FrameTime& t, const FrameTime& reference) {
  const int64_t ms = (CalendarSeconds(t) - CalendarSeconds(reference)) * 1000 +
                     (t.millisecond - reference.millisecond);
  return std::clamp<int64_t>(ms, INT_MIN, INT_MAX);
}

void LogCallback(const char* text) { AddLogMessage(text ? text : ""); }

void OpenLibrary(void* window) {
  if (handle) FinishLibrary(owner);
  handle = FInitVigilLib(window, winpath::kDataRoot, winpath::kDatabaseRoot, LogCallback);
  owner = handle ? window : nullptr;
  if (!handle) return;
  // The data is the callback's address and its size that of a function pointer here.
  SetVigilLibAddData(handle, VIGIL_ALERT_VALUES, reinterpret_cast<void*>(&AlertValuesCallback),
                     static_cast<int>(sizeof(&AlertValuesCallback)));
  SetVigilLibAddData(handle, VIGIL_ALERT_TEXT, reinterpret_cast<void*>(&AlertTextCallback),
                     static_cast<int>(sizeof(&AlertTextCallback)));
}

void FinishLibrary(void* window) {
  if (!handle || window != owner) return;
  void* h = handle;
  handle = owner = nullptr;
  FFinishVigilLib(h);
}

bool LibraryOpen() { return handle != nullptr; }

void PushStarted() {
  if (handle) FVigilLibStartPush(handle);
}

void PushStopped() {
  if (handle) FVigilLibStopPush(handle);
}

void FramePainted(FrameSource source, const std::array<int, kSensorCount>& normalized,
                  const SensorFrame& frame, int64_t elapsedMs) {
  if (!handle) return;
  std::array<int, kSensorCount>& values = normalizedValues[static_cast<size_t>(source)];
  values = normalized;
  std::array<int, kSensorCount> raw{};
  std::copy(frame.values.begin(), frame.values.end(), raw.begin());
  FCallVigilLib(handle, values.data(), raw.data(), frame.labelCount, frame.index,
                static_cast<int>(std::clamp<int64_t>(elapsedMs, INT_MIN, INT_MAX)));
}

void RegisterAlertSink(void* context, AlertSink* sink) {
  std::lock_guard l(sinksLock);
  sinks[context] = sink;
}

void UnregisterAlertSink(void* context, AlertSink* sink) {
  std::lock_guard l(sinksLock);
  auto it = sinks.find(context);
  if (it != sinks.end() && it->second == sink) sinks.erase(it);
}

int AlertValuesCallback(void* context, const int* values) {
  if (!context || !values) return -1;
  std::lock_guard l(sinksLock);
  auto it = sinks.find(context);
  if (it == sinks.end()) return -1;
  it->second->SetAlertValues(values);
  return 0;
}

int AlertTextCallback(void* context, const char* text) {
  if (!context) return -1;
  std::lock_guard l(sinksLock);
  auto it = sinks.find(context);
  if (it == sinks.end()) return -1;
  it->second->SetAlertText(text);
  return 0;
}

}  // namespace recognition

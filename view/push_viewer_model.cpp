#include "view/push_viewer_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/push_file.h"
#include "platform/report.h"

namespace view {
namespace {

// Trackbar notification codes.
constexpr int kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4,
              kThumbTrack = 5, kTop = 6, kBottom = 7;
constexpr int kLegendWidth = 50;
constexpr int kMaxColumns = 5;

const ui::Colour kRed = ui::Rgb(255, 0, 0);
const ui::Colour kWhite = ui::Rgb(255, 255, 255);

bool ValidTime(const FrameTime& t) {
  return t.year > 0 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour >= 0 &&
         t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60 &&
         t.millisecond >= 0 && t.millisecond <= 999;
}

void FrameRect(MapCanvas& c, const ui::Rect& r) {
  ui::Point pts[5] = {{r.left, r.top},
                      {r.right - 1, r.top},
                      {r.right - 1, r.bottom - 1},
                      {r.left, r.bottom - 1},
                      {r.left, r.top}};
  c.Polyline(pts, 5, MapPen{kRed, 1, false});
}

}  // namespace

const char* ViewerSensorTypeText(int type) { return SensorTypeText(type); }

PushViewerModel::PushViewerModel() : push_(CreatePush()) {
  map_.host = MapHost::kViewer;
  map_.selected = kCentreSensor;
}

void PushViewerModel::Open(const ViewerSource* source) {
  push_ = CreatePush();
  source_.reset();
  saveFile_.clear();
  sourceFromList_ = false;
  if (source) {
    source_ = *source;  // our own copy: the opener may free its entry while we are open
    CopyPush(push_, source->push);
    saveFile_ = source->push.fileName;
    saveWithPassport_ = true;
    sourceFromList_ = true;
  }
  AfterNewPush();
}

void PushViewerModel::AfterNewPush() {
  const int n = push_.FrameCount();
  ComputePushStatistics(push_, map_.VisibleSensors());
  push_.currentFrame = 0;
  map_.timeWindow = {n / 2, std::max(1, n / 2)};
  map_.labelMode = 0;
  map_.draggedLabelFrame = -1;
  playback_ = PlaybackState::kStopped;

  // Capture times drive playback only when every frame has one and they never go back.
  frameTimesMs_.clear();
  bool usable = n > 1;
  for (int f = 0; usable && f < n; ++f) usable = ValidTime(push_.frames[f].captureTime);
  if (usable) {
    const int64_t t0 = push_.frames[0].captureTime.ToMilliseconds();
    frameTimesMs_.reserve(n);
    for (int f = 0; f < n; ++f) {
      int64_t t = push_.frames[f].captureTime.ToMilliseconds() - t0;
      if (f > 0 && t < frameTimesMs_.back()) {
        usable = false;
        break;
      }
      frameTimesMs_.push_back(t);
    }
    if (!usable || frameTimesMs_.back() <= 0) frameTimesMs_.clear();
  }
}

const DevicePassport& PushViewerModel::ColourPassport() const {
  return sourceFromList_ && source_ ? source_->push.passport : fallbackPassport_;
}

int PushViewerModel::Load(LoadKind kind, const Text1251& fileName) {
  push_ = CreatePush();
  int rc = 0;
  switch (kind) {
    case LoadKind::kPushFile:
      rc = ReadViewerPushFile(push_, fileName);
      break;
    case LoadKind::kLog:
      rc = ImportLog(push_, fileName, kSensorUnknown);
      break;
    case LoadKind::kWirelessLog:
      rc = ImportLog(push_, fileName, kSensorWireless);
      break;
    case LoadKind::kMobileLog:
      rc = ImportLog(push_, fileName, kSensorMobile);
      break;
  }
  if (rc != 0) {
    push_ = CreatePush();
    AddLogMessage(("Can't load file '" + fileName + "'").c_str());
  } else {
    push_.fileName = fileName;
  }
  push_.passport = fallbackPassport_;
  sourceFromList_ = false;
  // Labels of this push go to the loaded file from now on, never into an earlier source. A
  // foreign log cannot hold labels: they go to the working copy.
  source_.reset();
  saveFile_ = rc == 0 && kind == LoadKind::kPushFile ? fileName : Text1251(kViewerCopyFile);
  saveWithPassport_ = false;
  labelsChanged_ = false;
  AfterNewPush();
  WriteViewerPushFile(push_, kViewerCopyFile);
  return rc;
}

// ---- playback ------------------------------------------------------------------------------

int PushViewerModel::TimerPeriodMs() const {
  return std::max(10, static_cast<int>(framePeriod_ * 1000 + 0.5));
}

int64_t PushViewerModel::FrameOffsetMs(int f) const {
  if (!frameTimesMs_.empty()) return frameTimesMs_[f];
  return static_cast<int64_t>(std::llround(f * framePeriod_ * 1000));
}

bool PushViewerModel::StartPause(double nowMs) {
  if (!HasPush()) return false;
  if (playback_ == PlaybackState::kPlaying) {
    playback_ = PlaybackState::kPaused;
    return false;
  }
  if (playback_ == PlaybackState::kStopped) push_.currentFrame = 0;
  ComputeLabelCounts(push_);
  playback_ = PlaybackState::kPlaying;
  playStartMs_ = nowMs;
  anchorFrame_ = push_.currentFrame;
  return true;
}

ViewerEffects PushViewerModel::Stop() {
  playback_ = PlaybackState::kStopped;
  push_.currentFrame = 0;
  ViewerEffects e;
  e.repaint = e.timelineMoved = e.statusChanged = e.stopTimer = true;
  return e;
}

ViewerEffects PushViewerModel::Tick(double nowMs) {
  ViewerEffects e;
  if (playback_ != PlaybackState::kPlaying || !HasPush()) {
    if (!HasPush()) playback_ = PlaybackState::kStopped;
    e.stopTimer = true;
    return e;
  }
  const int last = push_.FrameCount() - 1;
  if (push_.currentFrame >= last) {
    e = Stop();
    push_.currentFrame = last;
    return e;
  }
  // Show the latest frame that is due; none is shown before its time.
  const double elapsed = nowMs - playStartMs_;
  const int64_t anchor = FrameOffsetMs(anchorFrame_);
  int next = push_.currentFrame;
  while (next < last && static_cast<double>(FrameOffsetMs(next + 1) - anchor) <= elapsed) ++next;
  if (next != push_.currentFrame) {
    push_.currentFrame = next;
    e.repaint = e.timelineMoved = e.statusChanged = true;
  }
  return e;
}

// ---- timeline and time window --------------------------------------------------------------

int PushViewerModel::ClampFrame(int f) const {
  return std::clamp(f, 0, std::max(0, push_.FrameCount() - 1));
}

void PushViewerModel::SetCurrentFrame(int f) {
  if (HasPush()) push_.currentFrame = ClampFrame(f);
}

ViewerEffects PushViewerModel::Timeline(int code, int pos) {
  ViewerEffects e;
  if (!HasPush()) return e;
  int f = push_.currentFrame;
  switch (code) {
    case kThumbTrack:
    case kThumbPosition:
      f = pos;
      break;
    case kLineUp:
    case kTop:
      f -= 5;
      break;
    case kLineDown:
    case kBottom:
      f += 5;
      break;
    case kPageUp:
      f -= 50;
      break;
    case kPageDown:
      f += 50;
      break;
    default:
      return e;
  }
  push_.currentFrame = ClampFrame(f);
  e.repaint = e.statusChanged = e.timelineMoved = true;
  return e;
}

ViewerEffects PushViewerModel::ZoomIn() {
  const std::optional<ui::Rect>& g = map_.hits.lastGraphRect;
  map_.timeWindow = view::ZoomIn(map_.timeWindow, CurrentFrame(), FrameCount(), g ? g->top : 0,
                                 g ? g->bottom : 0);
  return {.repaint = true};
}

ViewerEffects PushViewerModel::ZoomOut() {
  const std::optional<ui::Rect>& g = map_.hits.lastGraphRect;
  map_.timeWindow = view::ZoomOut(map_.timeWindow, CurrentFrame(), FrameCount(), g ? g->top : 0,
                                  g ? g->bottom : 0);
  return {.repaint = true};
}

ViewerEffects PushViewerModel::StandardScale() {
  map_.timeWindow = view::StandardScale(FrameCount());
  return {.repaint = true};
}

ViewerEffects PushViewerModel::ScrollCurves(int direction) {
  map_.timeWindow = view::Scroll(map_.timeWindow, direction);
  return {.repaint = true};
}

// ---- labels and mouse ----------------------------------------------------------------------

void PushViewerModel::SetLabelMode(int mode) {
  map_.labelMode = mode;
  if (mode >= 1 && mode <= 3) labelsChanged_ = true;
}

int PushViewerModel::NearestLabel(int f) const {
  const int n = push_.FrameCount();
  for (int j = 0; j <= n; ++j) {
    if (f - j >= 0 && f - j < n && push_.frames[f - j].HasLabel()) return f - j;
    if (f + j >= 0 && f + j < n && push_.frames[f + j].HasLabel()) return f + j;
  }
  return -1;
}

ViewerEffects PushViewerModel::LButtonDown(ui::Point p) {
  ViewerEffects e;
  MapHitTables& hits = map_.hits;
  if (std::optional<int> box = hits.VisibilityBoxAt(p)) {
    map_.visible[*box] = map_.visible[*box] == 1 ? 0 : 1;
    ComputePushStatistics(push_, map_.VisibleSensors());
    e.repaint = e.statusChanged = true;
  }
  if (std::optional<int> s = hits.SelectorOrOverviewAt(p)) {
    map_.selected = *s;
    e.repaint = true;
  }
  if (HasPush()) {
    if (std::optional<MapHitTables::StripHit> hit = hits.StripCellAt(p)) {
      push_.currentFrame = ClampFrame(hit->frame);
      map_.selected = hit->sensor;
      e.repaint = e.timelineMoved = e.statusChanged = true;
    }
  }
  std::optional<int> curve = HasPush() ? hits.CurveRectAt(p) : std::nullopt;
  if (!curve) return e;
  const ui::Rect r = *hits.curveRects[*curve];
  const int n = push_.FrameCount();
  const int f = FrameAtRow(map_.timeWindow, p.y, r.top, r.bottom, n);
  e.repaint = true;
  switch (map_.labelMode) {
    case 1:
      push_.frames[f].SetLabel(true);
      map_.labelMode = 0;
      e.releaseMouse = true;
      break;
    case 2:
      if (int found = NearestLabel(f); found >= 0) push_.frames[found].SetLabel(false);
      map_.labelMode = 0;
      e.releaseMouse = true;
      break;
    case 3:
      if (int found = NearestLabel(f); found >= 0) {
        push_.frames[found].SetLabel(false);
        map_.draggedLabelFrame = found;
        dragStartFrame_ = found;
        dragStart_ = p;
        dragSensor_ = *curve;
        dragRectHeight_ = std::max(1, r.bottom - r.top);
        map_.labelMode = kLabelModeDragging;
      } else {
        map_.labelMode = 0;
        e.releaseMouse = true;
      }
      break;
    default:
      dragSensor_ = *curve;
      dragStart_ = p;
      dragStartCentre_ = map_.timeWindow.centre;
      dragStartFrame_ = f;
      dragRectHeight_ = std::max(1, r.bottom - r.top);
      map_.labelMode = 6;
      break;
  }
  return e;
}

ViewerEffects PushViewerModel::MouseMove(ui::Point p) {
  ViewerEffects e;
  const int h = map_.timeWindow.halfWidth;
  const int steps = static_cast<int>(2.0 * h * (p.y - dragStart_.y) / dragRectHeight_ + 0.5);
  if (map_.labelMode == kLabelModeDragging) {
    map_.draggedLabelFrame = ClampFrame(steps + dragStartFrame_);
    e.repaint = true;
  } else if (map_.labelMode == 6) {
    map_.timeWindow.centre = dragStartCentre_ - steps;
    e.repaint = true;
  }
  return e;
}

ViewerEffects PushViewerModel::LButtonUp(ui::Point p) {
  ViewerEffects e;
  if (map_.labelMode == kLabelModeDragging) {
    // The label lands where it was shown while dragging.
    MouseMove(p);
    if (HasPush()) push_.frames[ClampFrame(map_.draggedLabelFrame)].SetLabel(true);
    map_.labelMode = 0;
    map_.draggedLabelFrame = -1;
    e.releaseMouse = e.repaint = true;
  } else if (map_.labelMode == 6) {
    map_.labelMode = 0;
    e.releaseMouse = true;
  }
  return e;
}

ViewerEffects PushViewerModel::RButtonDown() {
  ViewerEffects e;
  if (map_.labelMode != 0) {
    // An aborted move puts the label back where it was picked up.
    if (map_.labelMode == kLabelModeDragging && HasPush())
      push_.frames[ClampFrame(dragStartFrame_)].SetLabel(true);
    map_.labelMode = 1;
    map_.draggedLabelFrame = -1;
    e.releaseMouse = e.repaint = true;
  }
  return e;
}

void PushViewerModel::EraseAllLabels() {
  for (SensorFrame& f : push_.frames) f.SetLabel(false);
  labelsChanged_ = true;
}

int PushViewerModel::SaveLabels() {
  labelsChanged_ = false;
  if (saveFile_.empty()) return 1;
  int rc = 0;
  if (saveWithPassport_ && source_) {
    Push& target = source_->push;
    const int count = std::min(target.FrameCount(), push_.FrameCount());
    for (int f = 0; f < count; ++f) target.frames[f].flags = push_.frames[f].flags;
    rc = WritePushFile(target, saveFile_);
    if (rc == 0 && source_->notify)
      PostMessageTo(source_->notify, source_->notifyMessage, source_->notifyParam);
  } else {
    rc = WriteViewerPushFile(push_, saveFile_);
  }
  return rc;
}

int PushViewerModel::WriteShownPush(const Text1251& fileName) const {
  if (!HasPush()) return -3;
  Push copy;
  CopyPush(copy, push_);
  copy.passport = ColourPassport();
  copy.hasPassport = true;
  return WritePushFile(copy, fileName);
}

// ---- display state -------------------------------------------------------------------------

void PushViewerModel::SetMapMode(MapMode mode) {
  map_.mode = (mode == kMode7 || mode == kMode1) ? mode : kMode19;
}

void PushViewerModel::ToggleVisibility(int sensor) {
  if (sensor < 0 || sensor >= kSensorCount) return;
  map_.visible[sensor] = map_.visible[sensor] == 1 ? 0 : 1;
  ComputePushStatistics(push_, map_.VisibleSensors());
}

// ---- layout and painting -------------------------------------------------------------------

ViewerLayout LayoutPicture(int width, int height, int cellSize, int minColumns,
                           int previousLegendWidth) {
  ViewerLayout l;
  l.width = std::max(1, width);
  l.height = std::max(1, height);
  l.cellSize = std::max(1, cellSize);
  minColumns = std::clamp(minColumns, 1, kMaxColumns);
  const int W = l.width, H = l.height, f = l.cellSize;
  l.legend = {W - kLegendWidth, 0, W, H};
  const int side = std::max(f, W - f * minColumns - previousLegendWidth);
  const int margin = std::max(0, H - side) / 2;
  l.map.left = 0;
  l.map.top = margin;
  l.map.bottom = H - margin;
  l.map.right = l.map.left + (l.map.bottom - l.map.top);
  const int mapSide = l.map.right - l.map.left;
  const int count = std::clamp((W - kLegendWidth - mapSide) / f, minColumns, kMaxColumns);
  for (int i = 0; i < count; ++i)
    l.columns.push_back({l.map.right + i * f, l.map.top, l.map.right + (i + 1) * f, l.map.bottom});
  return l;
}

void PushViewerModel::ComputeLayout(int width, int height, int cellSize, int minColumns) {
  layout_ = LayoutPicture(width, height, cellSize, minColumns, previousLegendWidth_);
  previousLegendWidth_ = kLegendWidth;
}

void PushViewerModel::Paint(MapCanvas& canvas, ui::Point origin) {
  const ViewerLayout& l = layout_;
  canvas.FillRect({0, 0, l.width, l.height}, kWhite);
  map_.hits.BeginPaint();
  map_.clientOffset = origin;
  map_.passport = &ColourPassport();
  if (!map_.brushes.built) map_.brushes.MakeBrushes();
  const Push* push = HasPush() ? &push_ : nullptr;

  if (map_.mode != kMode19) {
    MapRequest overview;
    overview.push = push;
    overview.role = kRoleOverview;
    overview.forward = true;
    overview.rect = {l.map.left, l.map.bottom - static_cast<int>(0.2 * l.map.Height()),
                     l.map.left + static_cast<int>(0.2 * l.map.Width()), l.map.bottom};
    DrawSensorMap(canvas, map_, overview);
  }
  MapRequest main;
  main.push = push;
  main.mode = map_.mode;
  main.role = kRoleMain;
  main.decorations = map_.decorations;
  main.forward = true;
  main.caption = true;
  main.rect = l.map;
  lastMain_ = DrawSensorMap(canvas, map_, main);

  const int columns = static_cast<int>(l.columns.size());
  if (push && columns > 0) {
    const int c = l.cellSize;
    MapRequest small;
    small.push = push;
    small.role = kRoleStrip;
    small.caption = true;
    auto cellRect = [&](const ui::Rect& col, int k) {
      return ui::Rect{col.left + 2, col.top + k * c, col.right - 2, col.top + (k + 1) * c};
    };
    int frame = push->currentFrame - 1;
    bool pastFilled = true;
    int cellsInColumn1 = 0;
    const int firstPast = columns > 2 ? 1 : 0;
    for (int col = firstPast; col < columns && pastFilled; ++col) {
      const ui::Rect& column = l.columns[col];
      for (int k = 0; column.top + (k + 1) * c < column.bottom; ++k) {
        if (frame < 0) {
          pastFilled = false;
          break;
        }
        small.frame = frame--;
        small.rect = cellRect(column, k);
        DrawSensorMap(canvas, map_, small);
        if (col == 1) cellsInColumn1 = k + 1;
      }
    }
    if (columns > 2 && pastFilled && cellsInColumn1 > 0) {
      const int m = cellsInColumn1;
      const ui::Rect& column = l.columns[0];
      std::optional<ui::Rect> lastDrawn;
      for (int k = 0; k < m; ++k) {
        const int f = push->currentFrame + m - 1 - k;
        if (f >= push->FrameCount()) continue;
        small.frame = f;
        small.rect = cellRect(column, k);
        DrawSensorMap(canvas, map_, small);
        lastDrawn = small.rect;
      }
      if (lastDrawn)
        canvas.FillRect({column.left + 2, lastDrawn->top - 1, column.right - 2, lastDrawn->top + 4},
                        kRed);
    }
  }

  FrameRect(canvas, l.map);
  for (const ui::Rect& col : l.columns)
    FrameRect(canvas, {col.left + 2, col.top, col.right - 2, col.bottom});
  if (columns > 2)
    canvas.FillRect(
        {l.columns[0].right - 2, l.columns[0].top, l.columns[1].left + 2, l.columns[0].bottom},
        kRed);
  DrawLegend(canvas, l.legend, map_.brushes);
}

std::array<int, kSensorCount> PushViewerModel::CurrentFrameIndices() const {
  std::array<int, kSensorCount> out{};
  if (!HasPush()) return out;
  const SensorFrame& f = push_.frames[CurrentFrame()];
  for (int i = 0; i < kSensorCount; ++i) out[i] = MapColourIndex(ColourPassport(), i, f.values[i]);
  return out;
}

int64_t PushViewerModel::MsFromFirstFrame() const {
  if (!HasPush()) return 0;
  return push_.frames[CurrentFrame()].captureTime.ToMilliseconds() -
         push_.frames[0].captureTime.ToMilliseconds();
}

// ---- texts ---------------------------------------------------------------------------------

Text1251 PushViewerModel::StatusText() const {
  char buf[600];
  const int n = push_.FrameCount();
  std::snprintf(buf, sizeof buf, "rec=%d/%d (%s); Min=%d, Max=%d; %s",
                n > 0 ? CurrentFrame() + 1 : 0, n, push_.fileName.c_str(),
                push_.statistics.minValue, push_.statistics.maxValue,
                ViewerSensorTypeText(push_.sensorType));
  return buf;
}

Text1251 PushViewerModel::Title() const {
  return Text1251("Просмотр данных, снятых с механорецептора (ID рецептора="_cp) +
         DeviceIdText(ColourPassport()) + ")";
}

Text1251 PushViewerModel::CommentText() const {
  Text1251 out = source_ ? source_->comment : Text1251();
  for (char& ch : out) {
    if (ch == 1)
      ch = '\r';
    else if (ch == 2)
      ch = '\n';
  }
  return out;
}

}  // namespace view

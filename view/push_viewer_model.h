// The push viewer without its window: the push shown and where it came from, playback in real
// time, the timeline, the time window of the curves, the label editing by mouse, the layout of
// the picture and its painting on a MapCanvas, the status line and title, loading and saving.
// CtacmonDlg (ctacmon_dlg.h) wires it to dialog 102; "tacpush render" paints it off screen.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/push.h"
#include "platform/cp1251.h"
#include "platform/thread.h"
#include "view/sensor_map.h"

namespace view {

// What an opener hands to a viewer: a copy of the push with its file, passport and comment, and
// where to report that its labels were saved. The viewer keeps this copy for as long as it
// lives, so the opener may free its own entry at any time.
struct ViewerSource {
  Push push;                // frames, passport, fileName of the source push
  Text1251 comment;         // bytes 1 and 2 stand for CR and LF
  WindowHandle notify = 0;  // told (posted) after the labels were written back; 0: nobody
  uint32_t notifyMessage = 0;
  uintptr_t notifyParam = 0;
};

// The picture of the viewer in picture coordinates (origin at the picture area's top left).
struct ViewerLayout {
  int width = 1, height = 1;
  ui::Rect legend;
  ui::Rect map;                   // the square of the main map
  std::vector<ui::Rect> columns;  // strip columns, left to right
  int cellSize = 1;               // side of one small map
};

// The picture's layout for a size (shared with the recording view): legend at the right, the
// map square at the left, up to five strip columns of side cellSize between them.
// previousLegendWidth is 0 at a window's first layout and 50 afterwards.
ViewerLayout LayoutPicture(int width, int height, int cellSize, int minColumns,
                           int previousLegendWidth);

// Kinds of the "Загрузить" commands.
enum class LoadKind { kLog, kWirelessLog, kMobileLog, kPushFile };

enum class PlaybackState { kStopped = 0, kPlaying = 1, kPaused = 2 };

// Effects of an input event the window has to carry out.
struct ViewerEffects {
  bool repaint = false;
  bool releaseMouse = false;
  bool timelineMoved = false;  // move the trackbar to CurrentFrame()
  bool statusChanged = false;
  bool stopTimer = false;
};

class PushViewerModel {
 public:
  PushViewerModel();

  // ---- the push ----
  // Opens on a source (copies what it shows) or, with none, on no push.
  void Open(const ViewerSource* source);
  bool HasPush() const { return push_.FrameCount() > 0; }
  const Push& Shown() const { return push_; }
  Push& Shown() { return push_; }
  int FrameCount() const { return push_.FrameCount(); }
  int CurrentFrame() const { return HasPush() ? push_.currentFrame : 0; }
  bool HasSource() const { return source_.has_value(); }
  const ViewerSource* Source() const { return source_ ? &*source_ : nullptr; }
  // The passport of the source push (the maps' colours come from it); null without a source.
  DevicePassport* SourcePassport() { return source_ ? &source_->push.passport : nullptr; }
  // Passport for colour indices and curves when there is no source (the current passport of
  // the first mechanoreceptor).
  void SetFallbackPassport(const DevicePassport& p) { fallbackPassport_ = p; }

  // Reads a file as the new push. 0 on success, else the reader's code ("Can't load file '...'"
  // is logged). Either way the working copy "pars\tmpLoadedData.bin" is written and the loaded
  // file becomes the place its labels are saved to.
  int Load(LoadKind kind, const Text1251& fileName);

  // ---- playback (timer period in ms) ----
  int TimerPeriodMs() const;
  PlaybackState Playback() const { return playback_; }
  // Start or pause; returns whether the timer is to run.
  bool StartPause(double nowMs);
  ViewerEffects Stop();
  ViewerEffects Tick(double nowMs);
  void SetFramePeriod(double seconds) { framePeriod_ = seconds; }

  // ---- timeline (trackbar codes SB_*) ----
  ViewerEffects Timeline(int code, int pos);
  void SetCurrentFrame(int f);

  // ---- time window ----
  ViewerEffects ZoomIn();
  ViewerEffects ZoomOut();
  ViewerEffects StandardScale();
  ViewerEffects ScrollCurves(int direction);  // +1 Down, -1 Up

  // ---- labels and mouse (client coordinates) ----
  int LabelMode() const { return map_.labelMode; }
  // Menu/buttons: 1 insert, 2 delete, 3 move, 5 curve drag armed. Sets labels changed for 1..3.
  void SetLabelMode(int mode);
  ViewerEffects LButtonDown(ui::Point p);
  ViewerEffects MouseMove(ui::Point p);
  ViewerEffects LButtonUp(ui::Point p);
  ViewerEffects RButtonDown();
  void EraseAllLabels();
  bool LabelsChanged() const { return labelsChanged_; }
  void ClearLabelsChanged() { labelsChanged_ = false; }
  // Writes the labels back to the source file; 0, -1 when writing failed, 1 when there is no
  // source to write to. Clears labels changed.
  int SaveLabels();

  // Control and debug pushes: the push shown, written with a passport block. 0, -1 write
  // failed, -3 no push.
  int WriteShownPush(const Text1251& fileName) const;

  // ---- display state ----
  MapDisplayState& Map() { return map_; }
  const MapDisplayState& Map() const { return map_; }
  void SetMapMode(MapMode mode);
  void ToggleVisibility(int sensor);

  // ---- layout and painting ----
  // Picture size, strip cell size (width of control 1003) and the minimum column count.
  void ComputeLayout(int width, int height, int cellSize, int minColumns = 1);
  const ViewerLayout& Layout() const { return layout_; }
  // Paints the whole picture (white background, overview, main map, strip, frames, legend).
  // origin: the picture area's top left in client coordinates (for the hit tables).
  void Paint(MapCanvas& canvas, ui::Point origin);
  // What the last paint drew in the main map.
  const MapDrawResult& LastMain() const { return lastMain_; }
  // For the recognition library: the 19 colour indices of the current frame (all sensors,
  // with the passport the map uses) and the milliseconds from the first frame's capture time.
  std::array<int, kSensorCount> CurrentFrameIndices() const;
  int64_t MsFromFirstFrame() const;

  // ---- texts ----
  Text1251 StatusText() const;
  Text1251 Title() const;
  // The source's comment with bytes 1/2 turned into CR/LF.
  Text1251 CommentText() const;

 private:
  void AfterNewPush();
  const DevicePassport& ColourPassport() const;
  int64_t FrameOffsetMs(int f) const;
  int NearestLabel(int f) const;
  int ClampFrame(int f) const;

  Push push_;
  std::optional<ViewerSource> source_;
  DevicePassport fallbackPassport_;
  MapDisplayState map_;
  ViewerLayout layout_;
  int previousLegendWidth_ = 0;
  MapDrawResult lastMain_;

  PlaybackState playback_ = PlaybackState::kStopped;
  double framePeriod_ = 0.05;
  double playStartMs_ = 0;
  int anchorFrame_ = 0;
  std::vector<int64_t> frameTimesMs_;  // capture times from frame 0; empty: use the period

  bool labelsChanged_ = false;
  // Where saved labels go: the source's file (full writer) or a loaded file (viewer writer).
  Text1251 saveFile_;
  bool saveWithPassport_ = false;
  bool sourceFromList_ = false;  // colours from the source's passport, else the fallback
  ui::Point dragStart_;
  int dragRectHeight_ = 1;
  int dragStartFrame_ = 0;
  int dragStartCentre_ = 0;
  int dragSensor_ = -1;
};

// Text of a sensor type in the status line.
const char* ViewerSensorTypeText(int type);

}  // namespace view

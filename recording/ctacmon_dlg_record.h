// CtacmonDlgRecord (dialog 144): the recording view, a pane of the operation window. It
// connects to the probe through the window's reading thread, keeps the live history (100
// frames, frame 0 the newest), establishes the zero point from the first frames after every
// connection, recording start and zero request, streams the recorded push and copies it into
// the operation folder when it stops. UI thread only; the reading thread reaches it through
// the window's messages.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "acquisition/push.h"
#include "acquisition/push_file.h"
#include "app/kit/dialog_k.h"
#include "platform/cp1251.h"
#include "platform/ui/canvas.h"
#include "recording/paint_metrics.h"
#include "view/push_viewer_model.h"
#include "view/sensor_map.h"

class CCOMReadThread;
struct HubSettings;

namespace recording {

inline constexpr int kRecordViewId = 144;

enum class RecordState { kStopped = 0, kRecording = 1, kPaused = 2 };

// What the view needs from the operation window that holds it.
struct RecordViewHost {
  std::function<CCOMReadThread*()> link;
  std::function<HubSettings()> settings;
  std::function<DevicePassport()> currentPassport;
  std::function<void(const DevicePassport&)> zeroPointSet;  // the corrected passport
  // The same two for the second mechanoreceptor's current passport (two probes in use).
  std::function<DevicePassport()> secondPassport;
  std::function<void(const DevicePassport&)> secondZeroPointSet;
  std::function<Text1251()> operationFolder;
  std::function<int()> sensorType;  // the description's: 1 wireless
  // A push was stored in the operation folder (file name, record start time).
  std::function<void(const Text1251&, int64_t)> pushStored;
  std::function<void(bool)> connectedChanged;  // Disconnect: false
  std::function<void()> connectionReady;       // 1050 to the hub
  std::function<bool()> displayConnected;
};

// The latest frame's colour indices and raw values, for other windows.
struct LatestFrame {
  std::mutex lock;
  std::array<int, kSensorCount> indices{};
  std::array<int32_t, kSensorCount> raw{};
  bool valid = false;
};

class CtacmonDlgRecord : public CDialogK {
 public:
  explicit CtacmonDlgRecord(RecordViewHost host);
  ~CtacmonDlgRecord() override;
  std::string ClassName() const override { return "CtacmonDlgRecord"; }

  bool Connected() const { return connected_; }
  RecordState State() const { return state_; }
  bool HasLivePush() const { return hasLive_; }
  const Push& LivePush() const { return live_; }
  const view::MapDisplayState& Map() const { return map_; }
  LatestFrame& Latest() { return latest_; }

  void Connect();
  void Disconnect();
  // Message 1038: the live push is prepared from the control push.
  void ConnectionEstablished();
  // Message 1037: every waiting image is taken.
  void FramesArrived();
  // Start / pause (1010) and stop (1011).
  void StartPause();
  void Stop();
  // The link dropped the connection: a push being recorded is stored, the live push goes.
  void DiscardLivePush();
  void RequestLabel() { labelRequest_ = true; }
  void ZeroRequest() { BeginZeroPhase(); }
  // Redraws the view when the display's state differs from the icon drawn last (the operation
  // window's timer asks).
  void CheckDisplayIcon();
  int FramesSinceConnection() const { return sinceZero_; }
  int ZeroPhaseLength() const { return zeroLength_; }
  // Buttons 1014-1016: the test protocol of kind 0, 1 or 2 (its dated folder under Logs, one
  // printed page: title, probe id, the current map; kind 2 also the display's map).
  void PrintTestProtocol(int kind);
  int ProtocolMode() const { return protocolMode_; }
  // The sensor edited in the characteristics dialog (red border), -1 none.
  void SetHighlightedSensor(int sensor) { map_.highlighted = sensor; }
  // A slope and shift of the first passport edited while the view runs: the maps and frames
  // from now on use them.
  void SetPassportCoefficients(int sensor, double slope, double shift);
  // A new first passport made current while the view runs (a passport from calibration
  // points): the maps and frames from now on use it.
  void UsePassport(const DevicePassport& p);
  // Colour indices of the main map's last paint (0 for sensors it did not draw).
  const std::array<int, kSensorCount>& LastMainIndices() const { return lastMain_; }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& canvas) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override;
  void OnDestroy() override;

 private:
  void Relayout();
  void ShowButtons();
  void BeginZeroPhase();
  void TakeFrame(const PacketImage& image, int32_t index, const PacketImage* second);
  void RefreshStatusText();
  void PaintPicture(view::MapCanvas& canvas);
  void DrawIcons(ui::Canvas& canvas);
  int PrintProtocolPage(ui::PrintJob& job, int kind);
  void PaintPictureAndIcons(ui::Canvas& canvas);

  PaintMetrics paintMetrics_;   // $TACMON_PAINT_TRACE, $TACMON_PAINT_STATS
  bool iconDisplayOn_ = false;  // the display icon drawn last

  RecordViewHost host_;
  bool connected_ = false;
  RecordState state_ = RecordState::kStopped;
  bool hasLive_ = false;
  int protocolMode_ = 0;  // 2 while a protocol prints (no paints)
  Push live_;
  Push reference_;  // statistics of the control push
  DevicePassport passport_;
  int sinceZero_ = 0;
  int zeroLength_ = 20;
  std::vector<std::vector<double>> zeroSamples_;
  // The second mechanoreceptor's passport, taken at the first frame of a zero phase and
  // corrected with it, and its zero-phase samples.
  DevicePassport secondPassport_;
  std::vector<std::vector<double>> secondZeroSamples_;
  bool labelRequest_ = false;
  int previousExtra1_ = 0;
  int64_t recordStart_ = 0;
  FrameTime recordStartTime_;
  int labelsSinceStart_ = 0;  // labels of the push since its last start or resume
  bool textDump_ = false;
  view::MapDisplayState map_;
  view::ViewerLayout layout_;
  ui::Rect picture_;
  ui::BackBuffer buffer_;
  bool bufferFailed_ = false;
  int previousLegend_ = 0;
  ArrangeControls arrange_{*this};
  bool ready_ = false;
  LatestFrame latest_;
  std::array<int, kSensorCount> lastMain_{};
};

}  // namespace recording

#include "recording/ctacmon_dlg_record.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#pragma push_macro("slots")
#undef slots
#include "acquisition/link/com_read_thread.h"
#pragma pop_macro("slots")
#include "acquisition/wire_protocol.h"
#include "app/main/app_start.h"
#include "app/main/hub_settings.h"
#include "display/com_write_thread.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "platform/ui/resources.h"
#include "recognition/vigil_binding.h"
#include "recording/operation_commands.h"
#include "recording/operation_files.h"
#include "recording/recording_resources.h"
#include "view/ui_map_canvas.h"

namespace recording {
namespace {

constexpr const char* kControlWireless = "c:\\Tacmon\\pars\\TestWireless.bin";
constexpr const char* kControlWire = "c:\\Tacmon\\pars\\TestWire.bin";
// Strip columns at most; a larger stored minimum is taken as this many.
constexpr int kMaxStripColumns = 5;

const int kAnchors[][2] = {
    {1001, kit::kAnchorTop | kit::kAnchorLeft | kit::kAnchorRight},
    {1000, kit::kAnchorTop | kit::kAnchorRight},
    {1009, kit::kAnchorBottom | kit::kAnchorLeft | kit::kAnchorRight},
    {1010, kit::kAnchorBottom | kit::kAnchorLeft},
    {1011, kit::kAnchorBottom | kit::kAnchorLeft},
    {1012, kit::kAnchorBottom | kit::kAnchorLeft},
    {1013, kit::kAnchorBottom | kit::kAnchorLeft},
    {1017, kit::kAnchorBottom | kit::kAnchorLeft},
    {1118, kit::kAnchorBottom | kit::kAnchorLeft},
    {1014, kit::kAnchorBottom | kit::kAnchorRight},
    {1015, kit::kAnchorBottom | kit::kAnchorRight},
    {1016, kit::kAnchorBottom | kit::kAnchorRight},
};

}  // namespace

CtacmonDlgRecord::CtacmonDlgRecord(RecordViewHost host)
    : CDialogK(kRecordViewId), host_(std::move(host)) {
  RegisterRecordingResources();
  map_.host = view::MapHost::kRecording;
  zeroSamples_.resize(kSensorCount);
  secondZeroSamples_.resize(kSensorCount);
  OnCommand(1010, [this] { StartPause(); });
  OnCommand(32772, [this] { StartPause(); });
  OnCommand(1011, [this] { Stop(); });
  OnCommand(32774, [this] { Stop(); });
  OnCommand(1012, [this] { Connect(); });
  OnCommand(1013, [this] { Disconnect(); });
  OnCommand(1017, [this] { ZeroRequest(); });
  for (int id : {1014, 1015, 1016}) OnCommand(id, [this, id] { PrintTestProtocol(id - 1014); });
}

CtacmonDlgRecord::~CtacmonDlgRecord() = default;

// The tactile display is closed with the view (1044).
void CtacmonDlgRecord::OnDestroy() {
  if (display::CCOMWriteThread* d = display::CurrentDisplayThread()) d->RequestClose();
  paintMetrics_.WriteStats();
  CDialogK::OnDestroy();
}

bool CtacmonDlgRecord::OnInitDialog() {
  ParameterSet mainSet;
  LoadPars("Main", &mainSet);
  const std::pair<const char*, int view::MapDecorations::*> keys[] = {
      {"SetShowVisibilityFlagsOnSensors", &view::MapDecorations::visibilityBoxes},
      {"SetShowVisibilityValuesOnSensors", &view::MapDecorations::values},
      {"SetShowVisibilityGraphicsOnSensors", &view::MapDecorations::curves},
      {"SetShowVisibilityMinMaxOnSensors", &view::MapDecorations::minMax},
  };
  for (const auto& [key, field] : keys) {
    int32_t v = map_.decorations.*field;
    if (GetPar(key, v, mainSet) == 0) map_.decorations.*field = v ? 1 : 0;
  }
  mainSet.modified = false;
  FreePars(&mainSet);

  SetToolTip(1014,
             "Создание Протокола проверки обеспечения различия двух примыкающих эластичных "
             "материалов разной плотности Зондом"_cp);
  SetToolTip(1015,
             "Создание Протокола проверки обеспечения различия двух примыкающих эластичных "
             "материалов разной плотности Лабораторным прибором"_cp);
  SetToolTip(1016,
             "Создание Протокола проверки соответствия показаний тактильного дисплея и "
             "тактильной информации, полученной с тестового объекта"_cp);
  for (int id : {1014, 1015, 1016}) ShowItem(id, TheStartValues().extendedMainWindow);
  SetItemBitmap(1010, kBitmapStart);
  SetItemBitmap(1011, kBitmapStop);
  for (const auto& a : kAnchors)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();
  map_.brushes.MakeBrushes();
  ready_ = true;
  ShowButtons();
  Relayout();
  return true;
}

void CtacmonDlgRecord::ShowButtons() {
  ShowItem(1012, !connected_);
  ShowItem(1013, connected_);
  ShowItem(1011, state_ != RecordState::kStopped);
  SetItemBitmap(1010, state_ == RecordState::kRecording ? kBitmapPause : kBitmapStart);
}

// ---- connection ------------------------------------------------------------------------------

void CtacmonDlgRecord::Connect() {
  CCOMReadThread* link = host_.link ? host_.link() : nullptr;
  connected_ = true;
  ShowButtons();
  BeginZeroPhase();
  NotifyTesterLink(TesterLinkEvent::kConnected);
  if (!link) return;
  const HubSettings s = host_.settings();
  link->PostThreadMessage(s.set_use_file_instead_COM_port ? kLinkMsgConnectPoll
                                                          : kLinkMsgConnectRead);
}

void CtacmonDlgRecord::Disconnect() {
  CCOMReadThread* link = host_.link ? host_.link() : nullptr;
  if (state_ != RecordState::kStopped) Stop();
  connected_ = false;
  ShowButtons();
  NotifyTesterLink(TesterLinkEvent::kDisconnected);
  if (link) {
    if (host_.settings().set_use_file_instead_COM_port)
      link->PostThreadMessage(kLinkMsgDisconnect);
    else
      link->RequestStop();
  }
  if (host_.connectedChanged) host_.connectedChanged(false);
  Invalidate();
}

void CtacmonDlgRecord::DiscardLivePush() {
  if (state_ != RecordState::kStopped) Stop();
  hasLive_ = false;
  live_ = CreatePush();
  RefreshStatusText();
  Invalidate();
}

void CtacmonDlgRecord::ConnectionEstablished() {
  CCOMReadThread* link = host_.link ? host_.link() : nullptr;
  if (!link) return;
  // A reconnection while recording: the push recorded so far is stored first.
  if (state_ != RecordState::kStopped) Stop();
  Push control = CreatePush();
  ReadPushFile(control,
               host_.sensorType && host_.sensorType() == 1 ? kControlWireless : kControlWire);
  if (control.frames.empty()) control.frames.emplace_back();
  ComputePushStatistics(control, map_.VisibleSensors());
  reference_ = control;

  live_ = CreatePush();
  live_.frames.assign(kLiveHistory, SensorFrame{});
  live_.currentFrame = 0;
  live_.statistics = reference_.statistics;
  passport_ = host_.currentPassport ? host_.currentPassport() : DevicePassport{};
  live_.passport = passport_;
  live_.hasPassport = true;
  hasLive_ = true;
  map_.timeWindow.centre = 0;
  map_.timeWindow.halfWidth = kLiveHistory;
  map_.recordingLo = 0;
  map_.recordingHi = kLiveHistory - 1;
  link->ResetDeliveryCounter();
  BeginZeroPhase();
  if (host_.connectionReady) host_.connectionReady();
  Invalidate();
}

void CtacmonDlgRecord::SetPassportCoefficients(int sensor, double slope, double shift) {
  if (sensor < 0 || sensor >= kSensorCount) return;
  for (DevicePassport* p : {&passport_, &live_.passport}) {
    p->slopes[sensor] = slope;
    p->shifts[sensor] = shift;
  }
}

void CtacmonDlgRecord::UsePassport(const DevicePassport& p) {
  passport_ = p;
  live_.passport = p;
}

void CtacmonDlgRecord::BeginZeroPhase() {
  sinceZero_ = 0;
  // The phase length is fixed now; a later change of the period does not move its end.
  const double period = host_.settings ? host_.settings().DtShowVideo : 0.05;
  zeroLength_ = ZeroPointFrameCount(period);
  for (auto& s : zeroSamples_) s.clear();
  for (auto& s : secondZeroSamples_) s.clear();
}

// ---- frames ------------------------------------------------------------------------------------

void CtacmonDlgRecord::FramesArrived() {
  CCOMReadThread* link = host_.link ? host_.link() : nullptr;
  if (!link || !connected_) return;
  PacketImage image, second;
  int32_t index = 0;
  const bool two = host_.settings().set_connect2 != 0 && host_.settings().set_autoconnect == 0;
  bool any = false;
  while (link->TakeImage(image, index, &second)) {
    if (!hasLive_) continue;
    TakeFrame(image, index, two ? &second : nullptr);
    any = true;
  }
  if (any) {
    paintMetrics_.FramesTaken(MonotonicSeconds());
    RefreshStatusText();
    Invalidate(false);
  }
}

void CtacmonDlgRecord::TakeFrame(const PacketImage& image, int32_t index,
                                 const PacketImage* second) {
  std::vector<SensorFrame>& f = live_.frames;
  if (f.empty()) f.assign(kLiveHistory, SensorFrame{});
  for (size_t i = f.size() - 1; i > 0; --i) f[i].values = f[i - 1].values;
  SensorFrame& frame = f[0];
  const int format = ReceptorDataFormat();
  DecodeImage(image, second, format, false, frame, second ? &live_.secondValues : nullptr);
  frame.index = index;
  frame.flags = 0;
  if (labelRequest_) {
    frame.SetLabel(true);
    labelRequest_ = false;
    if (state_ == RecordState::kRecording) ++labelsSinceStart_;
  }
  frame.labelCount = labelsSinceStart_;
  frame.captureTime = frame.storedTime = FrameTime::Now();

  // A second button pressed on the probe asks for a new zero point.
  if (format == 1 && passport_.secondButton != 0) {
    if (previousExtra1_ == 0 && frame.extraWords[1] != 0) BeginZeroPhase();
    previousExtra1_ = frame.extraWords[1];
  }

  // With two probes both get their zero point from the same frames.
  const int n = zeroLength_;
  if (second && sinceZero_ == 0 && host_.secondPassport) secondPassport_ = host_.secondPassport();
  if (sinceZero_ < n) {
    for (int c = 0; c < kSensorCount; ++c) {
      zeroSamples_[c].push_back(Calibrate(passport_, c, frame.values[c]));
      if (second)
        secondZeroSamples_[c].push_back(Calibrate(secondPassport_, c, live_.secondValues[c]));
    }
  } else if (sinceZero_ == n) {
    for (int c = 0; c < kSensorCount; ++c)
      ApplyZeroPoint(passport_, c, ZeroPointMedian(zeroSamples_[c]), format);
    live_.passport = passport_;
    if (host_.zeroPointSet) host_.zeroPointSet(passport_);
    if (second && !secondZeroSamples_[0].empty()) {
      for (int c = 0; c < kSensorCount; ++c)
        ApplyZeroPoint(secondPassport_, c, ZeroPointMedian(secondZeroSamples_[c]), format, true);
      if (host_.secondZeroPointSet) host_.secondZeroPointSet(secondPassport_);
    }
    if (live_.stream.state == PushStream::State::kVersionWritten)
      WriteStreamPassport(live_, passport_);
  } else {
    if (live_.stream.state == PushStream::State::kPassportWritten) AppendStreamFrame(live_, frame);
    std::array<int, kSensorCount> idx{};
    for (int c = 0; c < kSensorCount; ++c)
      idx[c] = static_cast<int>(DisplayValue(passport_, c, frame.values[c], 0) + 0.5);
    {
      std::lock_guard l(latest_.lock);
      latest_.indices = idx;
      latest_.raw = frame.values;
      latest_.valid = true;
    }
    if (live_.stream.textDump) {
      TextDumpFrame d;
      const display::Levels sent = display::LastValuesSent();
      for (int c = 0; c < kSensorCount; ++c) {
        d.normalized[c] = static_cast<int32_t>(Calibrate(passport_, c, frame.values[c]));
        d.raw[c] = frame.values[c];
        d.display[c] = sent[c];
      }
      for (int k = 0; k < kAuxWordsInUse; ++k) d.aux[k] = frame.aux[k];
      if (second) {
        d.hasSecond = true;
        d.secondRaw = live_.secondValues;
        for (int c = 0; c < kSensorCount; ++c)
          d.secondNormalized[c] = Calibrate(secondPassport_, c, live_.secondValues[c]);
      }
      d.testerState = CurrentTesterValueForDump();
      AppendStreamTextDump(live_, d);
    }
  }
  ++sinceZero_;
}

// ---- recording ---------------------------------------------------------------------------------

void CtacmonDlgRecord::StartPause() {
  if (!hasLive_) return;
  if (state_ == RecordState::kStopped) {
    live_.currentFrame = 0;
    recordStart_ = NowSeconds();
  }
  if (state_ == RecordState::kRecording) {
    state_ = RecordState::kPaused;
    recognition::PushStopped();
    ShowButtons();
    Invalidate();
    return;
  }
  state_ = RecordState::kRecording;
  recordStartTime_ = FrameTime::Now();
  labelsSinceStart_ = 0;
  recognition::PushStarted();
  ShowButtons();
  // Every (re)start opens a new stream: a resumed push holds only what follows the resume.
  const HubSettings s = host_.settings();
  // The marker beside the stream names the operation folder, so a push cut off by a crash is
  // kept there at the next start.
  const Text1251 folder = host_.operationFolder ? host_.operationFolder() : Text1251();
  OpenOperationPushStream(live_, folder, s.set_output_all_data_into_text_file != 0);
  BeginZeroPhase();
  Invalidate();
}

void CtacmonDlgRecord::Stop() {
  state_ = RecordState::kStopped;
  live_.currentFrame = 0;
  recognition::PushStopped();
  if (ready_) ShowButtons();
  if (live_.stream.state != PushStream::State::kNoFile) {
    const Text1251 folder = host_.operationFolder ? host_.operationFolder() : Text1251();
    const FrameTime now = FrameTime::Now();
    StoppedPush stopped = ClosePushStream(live_, folder, now);
    live_.endTime = NowSeconds();
    if (stopped.damaged) {
      Text1251 text =
          "Запись нажатия повреждена при записи на диск; сохранено то, что удалось "
          "записать: "_cp +
          stopped.keptFile;
      AddLogMessage(text.c_str());
      ui::MessageBox(this, text, "Запись нажатия"_cp);
    } else if (!stopped.fileName.empty() && host_.pushStored) {
      host_.pushStored(stopped.fileName, recordStart_);
    }
  }
  if (ready_) Invalidate();
}

// ---- paint
// ---------------------------------------------------------------------------------------

void CtacmonDlgRecord::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  if (!ready_) return;
  arrange_.Apply(cx, cy);
  Relayout();
}

void CtacmonDlgRecord::Relayout() {
  const ui::Rect status = ItemRect(1001), tmp = ItemRect(1000), track = ItemRect(1009);
  picture_ = {3, status.bottom + 3, tmp.left - 3, track.top - 3};
  const int w = std::max(1, picture_.Width()), h = std::max(1, picture_.Height());
  if (!buffer_.Create(w, h)) {
    buffer_.Release();
    if (!bufferFailed_) kit::ShowInternalError("tacmonDlgRecord", 393);
    bufferFailed_ = true;
  } else {
    bufferFailed_ = false;
  }
  // The stored minimum is capped: at most five columns, and never more than leave the map
  // half the width.
  const int cell = std::max(1, ItemRect(1003).Width());
  const int fitting = std::clamp((w - 50) / (2 * cell), 1, kMaxStripColumns);
  const int minColumns = std::clamp(
      host_.settings ? int(host_.settings().NAddSensorRectDomainMinUsed) : 1, 1, fitting);
  layout_ = view::LayoutPicture(w, h, cell, minColumns, previousLegend_);
  previousLegend_ = 50;
  Invalidate(true);
}

void CtacmonDlgRecord::PaintPicture(view::MapCanvas& canvas) {
  const view::ViewerLayout& l = layout_;
  canvas.FillRect({0, 0, l.width, l.height}, ui::Rgb(255, 255, 255));
  const bool collecting = connected_ && sinceZero_ > 0 && sinceZero_ < zeroLength_;
  canvas.FillRect(l.map, collecting ? ui::Rgb(0, 128, 192) : ui::Rgb(255, 255, 255));
  map_.hits.BeginPaint();
  map_.clientOffset = {picture_.left, picture_.top};
  map_.passport = &passport_;
  if (!map_.brushes.built) map_.brushes.MakeBrushes();
  const Push* push = hasLive_ ? &live_ : nullptr;

  view::MapRequest main;
  main.push = push;
  main.frame = 0;
  main.mode = view::kMode19;
  main.role = view::kRoleMain;
  main.decorations = map_.decorations;
  main.forward = true;
  main.caption = true;
  main.rect = l.map;
  lastMain_ = view::DrawSensorMap(canvas, map_, main).indices;

  // The strip shows the newest frames, newest first, one cell per frame.
  if (push) {
    view::MapRequest small;
    small.push = push;
    small.role = view::kRoleStrip;
    small.caption = true;
    int frame = 0;
    const int c = l.cellSize;
    for (const ui::Rect& col : l.columns) {
      for (int k = 0; col.top + (k + 1) * c < col.bottom && frame < kLiveHistory; ++k) {
        small.frame = frame++;
        small.rect = {col.left + 2, col.top + k * c, col.right - 2, col.top + (k + 1) * c};
        view::DrawSensorMap(canvas, map_, small);
      }
    }
  }
  const view::MapPen red{ui::Rgb(255, 0, 0), 1};
  auto frameRect = [&](const ui::Rect& r) {
    const ui::Point pts[5] = {{r.left, r.top},
                              {r.right - 1, r.top},
                              {r.right - 1, r.bottom - 1},
                              {r.left, r.bottom - 1},
                              {r.left, r.top}};
    canvas.Polyline(pts, 5, red);
  };
  frameRect(l.map);
  for (const ui::Rect& col : l.columns) frameRect(col);
  view::DrawLegend(canvas, l.legend, map_.brushes);
}

void CtacmonDlgRecord::DrawIcons(ui::Canvas& canvas) {
  const ui::Rect& m = layout_.map;
  const int h = m.Height();
  const double scale = h <= 340 ? std::max(0.1, h / 340.0) : 1.0;
  const int side = static_cast<int>(48 * scale), step = static_cast<int>(50 * scale);
  const bool display = host_.displayConnected && host_.displayConnected();
  iconDisplayOn_ = display;
  int receptor = kBitmapReceptorOff;
  if (connected_) {
    const int format = ReceptorDataFormat();
    receptor = format < 0    ? kBitmapReceptorNone
               : format == 0 ? kBitmapReceptorFormat0
                             : kBitmapReceptorFormat1;
  }
  const int ids[2] = {display ? kBitmapDisplayOn : kBitmapDisplayOff, receptor};
  for (int i = 0; i < 2; ++i) {
    QImage img = ui::LoadBitmap(ids[i]);
    if (img.isNull()) continue;
    canvas.DrawImage(
        {m.left + 2, m.top + 2 + i * step, m.left + 2 + side, m.top + 2 + i * step + side}, img,
        {0, 0, img.width(), img.height()});
  }
}

void CtacmonDlgRecord::OnPaint(ui::Canvas& canvas) {
  const double start = MonotonicSeconds();
  PaintPictureAndIcons(canvas);
  const bool shown = buffer_.Valid() && protocolMode_ != 2 && hasLive_ && !live_.frames.empty();
  paintMetrics_.Painted(start, MonotonicSeconds(), shown ? &live_.frames[0] : nullptr);
}

void CtacmonDlgRecord::PaintPictureAndIcons(ui::Canvas& canvas) {
  CDialogK::OnPaint(canvas);
  if (!buffer_.Valid() || protocolMode_ == 2) return;
  {
    std::unique_ptr<ui::Canvas> back = buffer_.Begin();
    view::UiMapCanvas mapCanvas(*back);
    PaintPicture(mapCanvas);
    DrawIcons(*back);
  }
  buffer_.BlitTo(canvas, picture_.left, picture_.top);
  // The newest frame goes to the recognition library, timed from the last start or resume;
  // not while the zero point is collected: those frames are not normalized against the rest
  // of this probe yet (and are not recorded).
  if (hasLive_ && !live_.frames.empty() && sinceZero_ > zeroLength_) {
    const SensorFrame& f = live_.frames[0];
    std::array<int, kSensorCount> normalized{};
    for (int c = 0; c < kSensorCount; ++c)
      normalized[c] = static_cast<int>(DisplayValue(passport_, c, f.values[c], 0) + 0.5);
    recognition::FramePainted(recognition::FrameSource::kRecordingView, normalized, f,
                              recognition::ElapsedMs(f.captureTime, recordStartTime_));
  }
}

void CtacmonDlgRecord::CheckDisplayIcon() {
  const bool display = host_.displayConnected && host_.displayConnected();
  if (display != iconDisplayOn_) Invalidate(false);
}

void CtacmonDlgRecord::RefreshStatusText() {
  Text1251 text;
  if (hasLive_ && connected_ && !live_.frames.empty())
    text = SupplyVoltageText(ReceptorDataFormat(), live_.frames[0]);
  if (ItemText(1001) != text) SetItemText(1001, text);
}

void CtacmonDlgRecord::OnLButtonDown(unsigned flags, ui::Point p) {
  CDialogK::OnLButtonDown(flags, p);
  const std::optional<int> hit = map_.hits.VisibilityBoxAt(p);
  if (!hit) return;
  const int sensor = *hit;
  map_.visible[sensor] = map_.visible[sensor] == 1 ? 0 : 1;
  if (hasLive_) ComputePushStatistics(live_, map_.VisibleSensors(), &reference_);
  Invalidate(false);
}

}  // namespace recording

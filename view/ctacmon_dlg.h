// CtacmonDlg: the push viewer window (dialog 102 "Просмотр данных, снятых с механорецептора",
// menu 129, accelerators 165). A modeless window that owns its copy of the push, its brushes,
// back buffer and parameter set "Main", and deletes itself when it closes. Several may be open
// at once. The behaviour lives in PushViewerModel; this class wires it to the dialog.
#pragma once

#include <functional>
#include <memory>

#include "app/kit/dialog_k.h"
#include "params/parameter_store.h"
#include "platform/ui/canvas.h"
#include "platform/ui/dialog.h"
#include "view/push_viewer_model.h"

namespace view {

inline constexpr int kViewerDialogId = 102;
inline constexpr int kViewerMenuId = 129;
inline constexpr int kViewerAcceleratorsId = 165;
inline constexpr int kViewerPlaybackTimer = 3;
inline constexpr int kAboutCommand = 0x10;

// Hooks the main dialog installs (all optional): the current passport of the first
// mechanoreceptor, the debug input file ("file_instead_COM_port") and handlers of the menu
// items that open dialogs of other windows (32779 parameters, 32858/32860/32861/32862
// sensitivity and characteristics, 32864 display passport, 32775 help).
struct ViewerHooks {
  std::function<DevicePassport()> currentPassport;
  std::function<Text1251()> debugInputFile;
  std::function<void(int command, ui::Dialog& viewer)> externalCommand;
  // The recognition library, when active: playback of a push starts / stops, and every paint
  // with a push hands over the current frame (colour indices, frame, ms from the first frame).
  std::function<void()> pushStarted;
  std::function<void()> pushStopped;
  std::function<void(const std::array<int, kSensorCount>&, const SensorFrame&, int64_t)>
      framePainted;
};
ViewerHooks& CurrentViewerHooks();

class CtacmonDlg;
// Menu commands of the viewer that windows of other folders install at start (sensitivity and
// sensor characteristics); they are asked before ViewerHooks::externalCommand. An empty
// command removes the entry.
using ViewerCommand = std::function<void(CtacmonDlg&)>;
void SetViewerCommand(int id, ViewerCommand command);

class CtacmonDlg : public CDialogK {
 public:
  // source may be null; what it holds is copied at once.
  explicit CtacmonDlg(const ViewerSource* source);
  ~CtacmonDlg() override;

  // Opens a modeless viewer that deletes itself when closed. Returns it (or null).
  static CtacmonDlg* Open(const ViewerSource* source, ui::Dialog* parent);

  std::string ClassName() const override { return "CtacmonDlg"; }
  PushViewerModel& Model() { return model_; }
  // Loads a file as the "Загрузить" items do once a file is chosen.
  int LoadFile(LoadKind kind, const Text1251& fileName);
  ui::Rect PictureArea() const { return picture_; }

 protected:
  bool OnInitDialog() override;
  void OnCancel() override;
  void OnOK() override;
  void PostNcDestroy() override;
  void OnPaint(ui::Canvas& canvas) override;
  void OnSize(int cx, int cy) override;
  void OnTimer(int id) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override;
  void OnLButtonUp(unsigned flags, ui::Point p) override;
  void OnRButtonDown(unsigned flags, ui::Point p) override;
  void OnMouseMove(unsigned flags, ui::Point p) override;

 private:
  void RegisterHandlers();
  void Apply(const ViewerEffects& e);
  void Relayout();
  void RefreshStatus();
  void RefreshTimeline();
  void RefreshModeChecks();
  void SetMode(MapMode mode);
  void ToggleDecoration(int command, int MapDecorations::*field);
  void EnterLabelMode(int mode, int cursor);
  void StartPause();
  void StopPlayback();
  void ChooseAndLoad(LoadKind kind);
  void SaveLabelsAsked(bool fromMenu);
  void KeepShownPush(bool control);
  void CloseWithSaving();

  PushViewerModel model_;
  std::unique_ptr<ViewerSource> pendingSource_;
  ParameterSet mainSet_;
  ui::BackBuffer buffer_;
  bool bufferFailed_ = false;
  ui::Rect picture_;
  ArrangeControls arrange_{*this};
  bool ready_ = false;
  bool selfDelete_ = false;
};

// Automation commands of the viewer (ui/automation.h); registered once, idempotent:
//   viewer FILE          opens a viewer on FILE as if from the pushes list
//   viewer-load FILE     loads FILE into the active viewer (as "Загрузить" would)
void RegisterViewerAutomation();

}  // namespace view

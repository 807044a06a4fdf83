#include "recording/recording_windows.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "app/main/database_callbacks.h"
#include "app/main/hub_windows.h"
#include "app/main/kcd_main.h"
#include "display/com_write_thread.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "recording/ctacmon_dlg_record.h"
#include "recording/device_search_command.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_files.h"
#include "records/kcd_operation_lists.h"
#include "tester/kcd_pasports.h"

namespace recording {
namespace {

// What the local list shows of an operation folder: its description (empty fields when
// "patient.bin" is missing or unreadable) and its number of pushes.
records::LocalOperationInfo ReadLocalOperation(const Text1251& name) {
  records::LocalOperationInfo info;
  const Text1251 folder = OperationFolderOf(name);
  const Text1251 file = folder + "\\" + kPatientFileName;
  if (fsw::FileExists(file)) ReadPatientFile(info.description, file);
  info.pushCount = static_cast<int>(ListFolderPushes(folder).size());
  return info;
}

// Removes an operation folder, never following a link and never leaving "OPERATIONS\".
int RemoveLocalOperation(const Text1251& name) {
  return DeletePathTreeWithin(OperationFolderOf(name), kOperationsFolder);
}

// The hub as the display link's host.
class HubDisplayHost : public display::DisplayHost {
 public:
  explicit HubDisplayHost(KCDMain& hub) : hub_(hub), window_(hub.Handle()) {}
  display::DisplaySettings Settings() override {
    const HubSettings s = hub_.WorkstationSettings();
    display::DisplaySettings d;
    d.useMechDisplay = s.set_use_MechDisplay;
    d.autoconnect = s.set_disp_autoconnect;
    d.oneToOne = s.set_correspond_mech_receptor_sensor_to_display_sensor;
    d.receptorDataFormat = s.receptor_data_format;
    return d;
  }
  void SetDisplayPort(int number) override { hub_.SetDisplayPortSetting(number); }
  void SetDisplayStatusText(const Text1251& text) override { hub_.SetDisplayStatusText(text); }
  WindowHandle HubWindow() override { return window_; }

 private:
  KCDMain& hub_;
  const WindowHandle window_;
};

class RecordingHubWindows;
RecordingHubWindows* g_windows = nullptr;  // the hub's, while it lives (UI thread)

class RecordingHubWindows : public HubWindows {
 public:
  RecordingHubWindows() { g_windows = this; }
  ~RecordingHubWindows() override {
    DeleteOperationWindow();
    StopDisplayThread();
    if (g_windows == this) g_windows = nullptr;
  }

  void StartDisplayThread(KCDMain& hub) override {
    StopDisplayThread();
    displayHost_ = std::make_unique<HubDisplayHost>(hub);
    display_ = std::make_unique<display::CCOMWriteThread>(*displayHost_);
    if (!display_->Start()) {
      display_.reset();
      return;
    }
    display::SetCurrentDisplayThread(display_.get());
  }

  // Stop word 3 and 1042, then up to 10 s serving the hub's messages (the thread sends to it).
  // A thread that does not end in time is left to the end of the process.
  void StopDisplayThread() override {
    if (!display_) return;
    display::SetCurrentDisplayThread(nullptr);
    display_->RequestQuit();
    if (!ui::JoinServing(*display_, 10000)) {
      display_.release();
      displayHost_.release();
      return;
    }
    display_.reset();
    displayHost_.reset();
  }

  void OpenLocalOperations(KCDMain& hub, int kind) override {
    KCD_ListWithNumberOperationsLocal list(hub, kind, ReadLocalOperation, RemoveLocalOperation);
    const int answer = list.DoModal(&hub);
    const records::LocalOperationEntry* chosen = list.ChosenEntry();
    if ((answer != kListLoad && answer != kListCopy) || !chosen ||
        !records::IsSafeOperationName(chosen->folder))
      return;
    const Text1251 folder = chosen->folder;
    DeleteOperationWindow();
    KCDOperationWindow* w = Make(hub, {}, true);
    if (!w) return;
    w->OpenLocalFolder(folder);
    if (answer == kListCopy) {
      w->SaveToDatabase();
      DeleteOperationWindow();
    }
  }

  void OpenStationaryOperations(KCDMain& hub) override {
    KCD_ListWithNumberOperationsGlobal list(hub, hub.Operations(), hub.Pushes());
    const int answer = list.DoModal(&hub);
    const int id = list.ChosenOperation();
    if ((answer == kListLoad || answer == kListCopy) && id > 0)
      OpenStationaryOperationWindow(hub, id);
  }

  void OpenOperationWindow(KCDMain& hub, const OperationDescription& description) override {
    DeleteOperationWindow();
    Make(hub, description, false);
  }

  void OpenLocalOperationWindow(KCDMain& hub, const Text1251& row) override {
    DeleteOperationWindow();
    if (KCDOperationWindow* w = Make(hub, {}, true)) w->OpenLocalOperation(row);
  }

  int OpenStationaryOperationWindow(KCDMain& hub, int operationId) override {
    DeleteOperationWindow();
    KCDOperationWindow* w = Make(hub, {}, true);
    if (!w) return -1;
    if (w->OpenStationaryOperation(operationId) != 0) {
      DeleteOperationWindow();
      return -1;
    }
    return 0;
  }

  int SaveLocalOperation(KCDMain& hub, const Text1251& row) override {
    if (!records::IsSafeOperationName(OperationNameOfRow(row))) {
      AddLogMessageF("Недопустимое имя папки операции: %s"_cp, row.c_str());
      return -1;
    }
    OpenLocalOperationWindow(hub, row);
    return window_ ? window_->SaveToDatabase() : -1;
  }

  void OpenPassports(KCDMain& hub) override { tester::OpenPassportsDialog(hub); }

  bool HasOperationWindow() const override { return window_ != nullptr; }
  void DeleteOperationWindow() override {
    if (KCDOperationWindow* w = window_) {
      window_ = nullptr;
      w->onGone = nullptr;
      w->CloseQuietly();
    }
  }
  bool RecordingViewOpen() const override { return window_ && window_->RecordView(); }
  bool RecordingViewConnected() const override {
    return RecordingViewOpen() && window_->RecordView()->Connected();
  }
  void RefreshRecordingView() override {
    if (RecordingViewOpen()) window_->RecordView()->Invalidate(false);
  }
  void StopAndStorePush() override {
    if (RecordingViewOpen()) window_->RecordView()->Stop();
  }
  void StartPush() override {
    if (RecordingViewOpen()) window_->RecordView()->StartPause();
  }

  KCDOperationWindow* Window() const { return window_; }
  std::optional<std::array<bool, kSensorCount>> ViewFlags() const {
    if (!RecordingViewOpen()) return std::nullopt;
    const view::MapDisplayState& map = window_->RecordView()->Map();
    std::array<bool, kSensorCount> flags{};
    for (int i = 0; i < kSensorCount; ++i) flags[i] = map.visible[i] == 1;
    return flags;
  }

 private:
  KCDOperationWindow* Make(KCDMain& hub, const OperationDescription& d, bool fromList) {
    auto* w = new KCDOperationWindow(hub, d, fromList);
    window_ = w;
    w->onGone = [this] { window_ = nullptr; };
    if (!w->Create(&hub)) {
      window_ = nullptr;
      delete w;
      return nullptr;
    }
    return w;
  }

  KCDOperationWindow* window_ = nullptr;
  std::unique_ptr<HubDisplayHost> displayHost_;
  std::unique_ptr<display::CCOMWriteThread> display_;
};

std::unique_ptr<HubWindows> MakeRecordingWindows() {
  return std::make_unique<RecordingHubWindows>();
}

}  // namespace

KCDOperationWindow* CurrentOperationWindow() {
  KCDMain* hub = TheMainDialog();
  auto* windows = hub ? dynamic_cast<RecordingHubWindows*>(&hub->Windows()) : nullptr;
  return windows ? windows->Window() : nullptr;
}

std::optional<std::array<bool, kSensorCount>> RecordingViewFlags() {
  return g_windows ? g_windows->ViewFlags() : std::nullopt;
}

void InstallRecordingWindows() {
  SetHubWindowsFactory(&MakeRecordingWindows);
  RegisterOperationAutomation();
  RegisterOperationListsAutomation();
  InstallDeviceSearchCommand();
}

void RegisterOperationAutomation() {
  static bool done = false;
  if (done) return;
  done = true;
  namespace a = ui::automation;
  a::RegisterCommand("open-stationary-operation", [](a::Context& c) {
    KCDMain* hub = TheMainDialog();
    int id = 0;
    if (!hub || c.args.size() != 1 || (id = std::atoi(c.args[0].c_str())) <= 0) {
      c.error = "open-stationary-operation ID (with the hub open)";
      return a::Result::Failed;
    }
    // Deferred: the question of an operation loaded before runs its own modal loop.
    QTimer::singleShot(0, [id] {
      if (KCDMain* h = TheMainDialog()) h->Windows().OpenStationaryOperationWindow(*h, id);
    });
    return a::Result::Done;
  });
  // A click on the visibility box of a sensor (1..19) of the recording view's map.
  a::RegisterCommand("recording-box", [](a::Context& c) {
    const int n = c.args.size() == 1 ? std::atoi(c.args[0].c_str()) : 0;
    CtacmonDlgRecord* view =
        g_windows && g_windows->RecordingViewOpen() ? g_windows->Window()->RecordView() : nullptr;
    if (n < 1 || n > kSensorCount || !view || !view->ClientWidget()) {
      c.error = "recording-box SENSOR (1..19, with a recording view open)";
      return a::Result::Failed;
    }
    const std::optional<ui::Rect> box = view->Map().hits.visibilityBoxes[n - 1];
    if (!box) {
      c.error = "no visibility box drawn for sensor " + c.args[0];
      return a::Result::Failed;
    }
    QWidget* w = view->ClientWidget();
    const QPointF at((box->left + box->right) / 2, (box->top + box->bottom) / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      const Qt::MouseButtons held =
          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
      QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(w, &e);
    }
    return a::Result::Done;
  });
  a::RegisterCommand("save-local-operation", [](a::Context& c) {
    if (!TheMainDialog() || c.args.size() != 1) {
      c.error = "save-local-operation NAME (with the hub open)";
      return a::Result::Failed;
    }
    const Text1251 row = Utf8ToCp1251(c.args[0]);
    QTimer::singleShot(0, [row] {
      if (KCDMain* h = TheMainDialog()) h->Windows().SaveLocalOperation(*h, row);
    });
    return a::Result::Done;
  });
  a::RegisterCommand("push-mouse", [](a::Context& c) {
    // The pushes list pane of the operation window, newest push first.
    CtacmonDlgPushesList* list = nullptr;
    for (ui::Dialog* d : ui::OpenDialogs())
      if (auto* l = dynamic_cast<CtacmonDlgPushesList*>(d)) list = l;
    int index = -1;
    if (!list || c.args.size() != 3 || (index = std::atoi(c.args[0].c_str())) < 0 ||
        (c.args[0] != "0" && index == 0)) {
      c.error = "push-mouse INDEX map|comment|present ACTION (with the pushes list open)";
      return a::Result::Failed;
    }
    PushesListModel& model = list->Model();
    if (index >= model.Count()) {
      c.error = "push " + c.args[0] + " is not in the pushes list";
      return a::Result::Failed;
    }
    if (!model.Entry(index).Drawn()) {
      // Out of sight: the strip is moved there as by dragging its scroll bar.
      auto* bar = qobject_cast<QAbstractSlider*>(list->Item(kPushesListScrollBar));
      if (c.attempts > 100 || !bar) {
        c.error = "push " + c.args[0] + " is not shown in the pushes list";
        return a::Result::Failed;
      }
      if (c.attempts == 0) {
        bar->setSliderDown(true);
        bar->setSliderPosition(index);
        bar->setSliderDown(false);
      }
      return a::Result::Retry;
    }
    const PushEntry& e = model.Entry(index);
    const std::string& part = c.args[1];
    const ui::Rect r = part == "map"       ? e.mapRect
                       : part == "comment" ? e.commentButton
                       : part == "present" ? e.presentBox
                                           : ui::Rect{};
    if (r.Width() <= 0) {
      c.error = "push-mouse: unknown part '" + part + "'";
      return a::Result::Failed;
    }
    return a::Mouse(*list, c.args[2], (r.left + r.right) / 2, (r.top + r.bottom) / 2, c.error);
  });
}

}  // namespace recording

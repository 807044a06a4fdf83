#include "recording/recording_windows.h"

#include <QAbstractSlider>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "app/main/database_callbacks.h"
#include "app/main/hub_windows.h"
#include "app/main/kcd_main.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/automation.h"
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

class RecordingHubWindows : public HubWindows {
 public:
  ~RecordingHubWindows() override { DeleteOperationWindow(); }

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

#include "recording/recording_windows.h"

#include <QTimer>
#include <cstdlib>
#include <memory>

#include "app/main/hub_windows.h"
#include "app/main/kcd_main.h"
#include "platform/ui/automation.h"
#include "recording/kcd_operation_window.h"
#include "tester/kcd_pasports.h"

namespace recording {
namespace {

class RecordingHubWindows : public HubWindows {
 public:
  ~RecordingHubWindows() override { DeleteOperationWindow(); }

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

void InstallRecordingWindows() {
  SetHubWindowsFactory(&MakeRecordingWindows);
  RegisterOperationAutomation();
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
}

}  // namespace recording

// KCDOperationWindow (dialog 143, menu 147): the window of one operation. It holds the
// recording view, the pushes list, the patient card and, when asked for, the second receptor pane
// (two probes) and the recognition library's alert window as a chain of split panes, opens and
// finishes the library's instance, owns the reading thread of the probe link, keeps the
// operation folder with "patient.bin", and copies the operation with its pushes into the
// stationary database. Modeless; it deletes itself when it closes. At most one exists at a time
// (the hub's HubWindows keeps it).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/kit/dialog_k.h"
#include "platform/cp1251.h"
#include "recognition/kcd_vigil_show.h"
#include "recording/ctacmon_dlg_record.h"
#include "recording/operation_panes_host.h"
#include "recording/patient_card_dlg.h"
#include "recording/pushes_list_dlg.h"
#include "view/kcd_second_receptor_show.h"

class KCDMain;
class CCOMReadThread;

namespace recording {

inline constexpr int kOperationWindowId = 143;
inline constexpr int kOperationMenuId = 147;
// Posted by the reading thread's hook when it dropped the connection.
inline constexpr uint32_t kMsgDiscardLivePush = 1224;

class KCDOperationWindow : public CDialogK, public OperationPanesHost {
 public:
  // fromList: the window shows an operation chosen from a list (no new folder is made).
  KCDOperationWindow(KCDMain& hub, const OperationDescription& description, bool fromList);
  ~KCDOperationWindow() override;
  std::string ClassName() const override { return "KCDOperationWindow"; }

  // Called once the window is gone (the hub forgets it).
  std::function<void()> onGone;

  CtacmonDlgRecord* RecordView() const { return record_.get(); }
  CtacmonDlgPushesList* PushesList() const { return pushes_.get(); }
  CCOMReadThread* Link() const { return link_.get(); }
  // The second receptor pane ("set_use_second_receptor_window" and "set_connect2"), or null.
  view::KCDSecondReceptorShow* SecondReceptorPane() const { return second_.get(); }
  KCDMain& Hub() const { return hub_; }
  const Text1251& OperationName() const { return name_; }

  // A new recording's folder (see the class comment); with fromList nothing is made.
  void CreateOperationFolder();
  // A local operation by its folder list row (the name up to the first blank or tab).
  void OpenLocalOperation(const Text1251& row);
  // A local operation by its folder name exactly.
  void OpenLocalFolder(const Text1251& name);
  // A stationary operation copied into a "GL_..." folder; 0, or -1 (not found, cancelled).
  int OpenStationaryOperation(int operationId);
  // The operation and its pushes into the stationary database; the number of pushes stored,
  // or -1 when the operation could not be added.
  int SaveToDatabase();
  // Ends the window without questions (stopping a push being recorded first).
  void CloseQuietly();

  // ---- OperationPanesHost ----
  Text1251 OperationFolder() const override { return folder_; }
  const OperationDescription& Description() const override { return description_; }
  void SetCurrentPushName(const Text1251& name) override;
  const view::MapDisplayState& RecordingMapState() const override;
  bool ShowDeletedPushes() const override { return showDeleted_; }
  RecordsHost& Records() override;
  push_list* PushesDatabase() const override;
  PassportRegistry& Passports() override;

 protected:
  bool OnInitDialog() override;
  void OnCancel() override;
  void OnOK() override;
  void OnDestroy() override;
  void PostNcDestroy() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& canvas) override;
  void OnTimer(int id) override;

 private:
  void RegisterHandlers();
  void BuildPanes();
  void SetTitle();
  void Exit();
  void OpenOperationChosen();
  void NewOperation();
  void EditDescription();
  void AskAndSave();
  void ControlPushFromLast();
  void ControlPushFromSelected();
  void DebugPushFromLast();
  void NotThereYet(const char* window);
  // The folder goes only when nothing recorded is in it.
  void DeleteFolderIfEmpty();
  Text1251 OrganName() const;
  // The second probe's latest values for its pane: nothing without a live push.
  std::optional<view::SecondReceptorValues> SecondValues() const;

  KCDMain& hub_;
  OperationDescription description_;
  bool fromList_ = false;
  Text1251 name_;
  Text1251 folder_;
  Text1251 pushName_;
  bool showDeleted_ = false;
  std::unique_ptr<CCOMReadThread> link_;
  std::unique_ptr<CtacmonDlgRecord> record_;
  std::unique_ptr<CtacmonDlgPushesList> pushes_;
  std::unique_ptr<CtacmonDlgInfo> card_;
  std::unique_ptr<view::KCDSecondReceptorShow> second_;
  std::unique_ptr<recognition::KCDVigilShow> alerts_;  // with "set_use_recognition_library"
  int PushCount() const { return pushes_ ? static_cast<int>(pushes_->Entries().size()) : 0; }
  kit::WidgetPane recordPane_, pushesPane_, cardPane_, secondPane_, alertsPane_;
  kit::PaneNode nodes_[6];
  ArrangeControls arrange_{*this};
  bool ready_ = false;
  bool closing_ = false;
};

// Automation commands of the operation window (ui/automation.h), registered once:
//   open-stationary-operation ID   opens the operation ID of the stationary database in the
//                                  operation window (a new window when none is open)
//   save-local-operation NAME      saves the local operation NAME with its pushes into the
//                                  stationary database through the operation window
//   push-mouse INDEX map|comment|present ACTION
//                                  a mouse action (as "mouse") on a part of the pushes list's
//                                  entry INDEX (0: the newest push)
void RegisterOperationAutomation();

}  // namespace recording

// The windows and the thread that the main hub opens but that live in other folders: the
// operation window with its recording view, the operation lists, the device passports dialog
// and the tactile display thread. The program installs a factory for the implementation; the
// base class answers for a window that is not in the program yet with one line in the message
// log.
#pragma once

#include <memory>

#include "platform/cp1251.h"

class KCDMain;
struct OperationDescription;

class HubWindows {
 public:
  virtual ~HubWindows() = default;

  // Tactile display thread: started by the hub's initialisation with the hub as its window;
  // told to end when the hub closes, waiting up to 10 s.
  virtual void StartDisplayThread(KCDMain& hub);
  virtual void StopDisplayThread() {}

  // Operation lists: local (onlyCopied 0: recorded from the probe, 1: copied from the
  // stationary database) and stationary (called after the hub checked the databases it needs).
  virtual void OpenLocalOperations(KCDMain& hub, int onlyCopied);
  virtual void OpenStationaryOperations(KCDMain& hub);
  // "Паспорта устройств", modal.
  virtual void OpenPassports(KCDMain& hub);

  // The operation window for a new recording with the description given (replacing one
  // open), for a local operation by its folder list row, or for a stationary operation by its
  // id (0, or -1 when it cannot be opened: no window is left then).
  virtual void OpenOperationWindow(KCDMain& hub, const OperationDescription& description);
  virtual void OpenLocalOperationWindow(KCDMain& hub, const Text1251& row);
  virtual int OpenStationaryOperationWindow(KCDMain& hub, int operationId);
  // A local operation and its pushes saved into the stationary database through the operation
  // window: the pushes stored, or -1 (no window, or the operation could not be added).
  virtual int SaveLocalOperation(KCDMain& hub, const Text1251& row);

  // The current operation window (at most one) and its recording view.
  virtual bool HasOperationWindow() const { return false; }
  virtual void DeleteOperationWindow() {}
  virtual bool RecordingViewOpen() const { return false; }
  virtual bool RecordingViewConnected() const { return false; }
  // Link events of messages 1049, 1048 and 1050 with "SetAutoRecord" on.
  virtual void RefreshRecordingView() {}
  virtual void StopAndStorePush() {}
  virtual void StartPush() {}  // also sets the frames counted since the connection to 0
};

using HubWindowsFactory = std::unique_ptr<HubWindows> (*)();
// Installed by the program before the hub is created; none: the base class.
void SetHubWindowsFactory(HubWindowsFactory factory);
std::unique_ptr<HubWindows> MakeHubWindows();

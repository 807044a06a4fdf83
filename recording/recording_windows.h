// The hub's way to the operation window: the HubWindows of the program with the operation
// window and its recording view.
#pragma once

namespace recording {

class KCDOperationWindow;

// Installs the factory (before the hub is created), the automation commands and the device
// search command of the operation window.
void InstallRecordingWindows();

// The operation window of the hub's windows (at most one), or null.
KCDOperationWindow* CurrentOperationWindow();

}  // namespace recording

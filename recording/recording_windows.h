// The hub's way to the operation window: the HubWindows of the program with the operation
// window and its recording view.
#pragma once

#include <array>
#include <optional>

#include "acquisition/push.h"

namespace recording {

class KCDOperationWindow;

// Installs the factory (before the hub is created), the automation commands and the device
// search command of the operation window.
void InstallRecordingWindows();

// The operation window of the hub's windows (at most one), or null.
KCDOperationWindow* CurrentOperationWindow();

// A copy of the visibility flags of the operation window's recording view (flag i for sensor
// i), or none without that view. UI thread.
std::optional<std::array<bool, kSensorCount>> RecordingViewFlags();

}  // namespace recording

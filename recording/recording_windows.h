// The hub's way to the operation window: the HubWindows of the program with the operation
// window and its recording view.
#pragma once

#include <array>
#include <optional>

#include "acquisition/push.h"

namespace recording {

// Installs the factory (before the hub is created) and the automation commands.
void InstallRecordingWindows();

// A copy of the visibility flags of the operation window's recording view (flag i for sensor
// i), or none without that view. UI thread.
std::optional<std::array<bool, kSensorCount>> RecordingViewFlags();

}  // namespace recording

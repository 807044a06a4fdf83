#include "recognition/recognition.h"

#include "platform/report.h"
#include "platform/ui/resources.h"
#include "recognition/vigil_binding.h"
#include "view/ctacmon_dlg.h"

namespace recognition {
namespace {

const char kTemplates[] = R"rc(
DIALOG 170 "" 0 0 384 221 STYLE noframe resizable
  BUTTON       1000    4   4  40 14 "tmp" STYLE hidden
END
)rc";

}  // namespace

void RegisterRecognitionResources() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string error;
  if (!ui::RegisterResources(kTemplates, &error))
    AddLogMessageF("Recognition templates: %s", error.c_str());
}

void InstallRecognition() {
  RegisterRecognitionResources();
  view::ViewerHooks& hooks = view::CurrentViewerHooks();
  hooks.pushStarted = [] { PushStarted(); };
  hooks.pushStopped = [] { PushStopped(); };
  hooks.framePainted = [](const std::array<int, kSensorCount>& normalized, const SensorFrame& frame,
                          int64_t elapsedMs) {
    FramePainted(FrameSource::kPushViewer, normalized, frame, elapsedMs);
  };
}

}  // namespace recognition

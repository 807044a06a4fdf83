#include "recognition/recognition.h"

#include <fstream>

#include "platform/report.h"
#include "platform/ui/automation.h"
#include "platform/ui/resources.h"
#include "recognition/kcd_vigil_show.h"
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
  namespace a = ui::automation;
  a::RegisterCommand("alert-dump", [](a::Context& c) {
    if (c.args.size() != 1) {
      c.error = "alert-dump FILE";
      return a::Result::Failed;
    }
    std::ofstream out(c.args[0], std::ios::binary);
    if (const KCDVigilShow* w = KCDVigilShow::Current()) {
      out << "values";
      for (int v : w->AlertValues()) out << ' ' << v;
      out << "\ntext\n" << Cp1251ToUtf8(w->AlertText()) << "\n";
    } else {
      out << "none\n";
    }
    if (!out) {
      c.error = "alert-dump: cannot write " + c.args[0];
      return a::Result::Failed;
    }
    return a::Result::Done;
  });
}

}  // namespace recognition

#include "recording/tuning_commands.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>
#include <algorithm>
#include <fstream>

#include "app/main/kcd_main.h"
#include "platform/report.h"
#include "platform/sync.h"
#include "platform/ui/automation.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_commands.h"
#include "recording/recording_windows.h"
#include "view/ctacmon_dlg.h"
#include "view/tuning_dialogs.h"

namespace recording {
namespace {

constexpr int kSensitivity = 32858;
constexpr int kSensitivity2 = 32861;
constexpr int kCharacteristics = 32860;
constexpr int kCharacteristics2 = 32862;

bool StillOpen(const ui::Dialog* d) {
  const std::vector<ui::Dialog*> open = ui::OpenDialogs();
  return std::find(open.begin(), open.end(), d) != open.end();
}

// The operation window's maps, reached anew at every use: the window may go meanwhile.
view::TuningWindow OperationWindowTarget() {
  view::TuningWindow w;
  w.highlight = [](int sensor) {
    if (KCDOperationWindow* op = CurrentOperationWindow())
      if (op->RecordView()) op->RecordView()->SetHighlightedSensor(sensor);
  };
  w.repaint = [] {
    if (KCDOperationWindow* op = CurrentOperationWindow()) {
      if (op->RecordView()) op->RecordView()->Invalidate(false);
      if (op->PushesList()) op->PushesList()->Invalidate(false);
    }
  };
  return w;
}

view::TuningWindow ViewerTarget(view::CtacmonDlg& viewer) {
  view::CtacmonDlg* v = &viewer;
  view::TuningWindow w;
  w.highlight = [v](int sensor) {
    if (StillOpen(v)) v->Model().Map().highlighted = sensor;
  };
  w.repaint = [v] {
    if (StillOpen(v)) v->Invalidate(false);
  };
  return w;
}

// The sensitivity of the first (which 0) or second mechanoreceptor: the maps read the
// process-wide copy at every paint, OK writes the hub's settings.
void OpenSensitivity(ui::Dialog& owner, int which, view::TuningWindow target) {
  KCDMain* hub = TheMainDialog();
  if (!hub) return;
  const HubSettings s = hub->WorkstationSettings();
  view::SensitivitySetting setting;
  setting.value = which ? s.SensibilitySecondReceptorV : s.SensibilityReceptorV;
  setting.apply = [which](double v) { SetReceptorSensitivity(which, v); };
  setting.save = [which](double v) {
    KCDMain* h = TheMainDialog();
    if (!h) return;
    HubSettings now = h->WorkstationSettings();
    (which ? now.SensibilitySecondReceptorV : now.SensibilityReceptorV) = v;
    h->SaveSettings(now);
  };
  view::RunSensibilityDialog(&owner, setting, {std::move(target)});
}

// The current passport of the first or second mechanoreceptor in the hub's registry; the
// recording view keeps a copy of the first, which follows.
view::PassportAccess RegistryPassport(int which) {
  view::PassportAccess a;
  a.get = [which] {
    KCDMain* hub = TheMainDialog();
    if (!hub) return DevicePassport();
    TimedLock l(hub->PassportLock(), 1000);
    if (!l) {
      AddLogMessage("(1667101)Internal error:can't lock");
      return DevicePassport();
    }
    return which ? hub->Passports().second : hub->Passports().current;
  };
  a.set = [which](int sensor, double slope, double shift) {
    KCDMain* hub = TheMainDialog();
    if (!hub) return;
    {
      TimedLock l(hub->PassportLock(), 1000);
      if (!l) {
        AddLogMessage("(1667102)Internal error:can't lock");
        return;
      }
      DevicePassport& p = which ? hub->Passports().second : hub->Passports().current;
      p.slopes[sensor] = slope;
      p.shifts[sensor] = shift;
    }
    if (which == 0)
      if (KCDOperationWindow* op = CurrentOperationWindow())
        if (op->RecordView()) op->RecordView()->SetPassportCoefficients(sensor, slope, shift);
  };
  return a;
}

// The passport of the viewer's source push, and of the same push in the operation window's
// pushes list, whose thumbnails follow.
view::PassportAccess SourcePassport(view::CtacmonDlg& viewer) {
  view::CtacmonDlg* v = &viewer;
  const Text1251 file = viewer.Model().Source()->push.fileName;
  view::PassportAccess a;
  a.get = [v] {
    DevicePassport* p = StillOpen(v) ? v->Model().SourcePassport() : nullptr;
    return p ? *p : DevicePassport();
  };
  a.set = [v, file](int sensor, double slope, double shift) {
    if (DevicePassport* p = StillOpen(v) ? v->Model().SourcePassport() : nullptr) {
      p->slopes[sensor] = slope;
      p->shifts[sensor] = shift;
    }
    KCDOperationWindow* op = CurrentOperationWindow();
    if (!op || !op->PushesList() || file.empty()) return;
    PushesListModel& list = op->PushesList()->Model();
    for (int i = 0; i < list.Count(); ++i) {
      Push& push = list.Entry(i).push;
      if (list.Entry(i).fileName != file) continue;
      push.passport.slopes[sensor] = slope;
      push.passport.shifts[sensor] = shift;
    }
  };
  return a;
}

void RegisterAutomation() {
  namespace a = ui::automation;
  a::RegisterCommand("map-values", [](a::Context& c) {
    const int id = c.args.size() == 2 ? std::atoi(c.args[0].c_str()) : 0;
    if (id != kRecordViewId && id != view::kViewerDialogId) {
      c.error = "map-values 144|102 FILE";
      return a::Result::Failed;
    }
    const std::vector<ui::Dialog*> open = ui::OpenDialogs();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
      if ((*it)->TemplateId() != id) continue;
      std::array<int, kSensorCount> indices{};
      int highlighted = -1;
      if (auto* record = dynamic_cast<CtacmonDlgRecord*>(*it)) {
        indices = record->LastMainIndices();
        highlighted = record->Map().highlighted;
      } else if (auto* viewer = dynamic_cast<view::CtacmonDlg*>(*it)) {
        indices = viewer->Model().LastMain().indices;
        highlighted = viewer->Model().Map().highlighted;
      } else {
        continue;
      }
      std::ofstream out(c.args[1], std::ios::binary);
      out << "indices:";
      for (int v : indices) out << ' ' << v;
      out << "\nhighlighted: " << highlighted << "\n";
      if (!out) {
        c.error = "cannot write " + c.args[1];
        return a::Result::Failed;
      }
      return a::Result::Done;
    }
    c.error = "no open window " + std::to_string(id);
    return a::Result::Failed;
  });
  a::RegisterCommand("screenshot", [](a::Context& c) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
    if (c.rest.empty() || shot.isNull() || !shot.save(QString::fromStdString(c.rest), "PNG")) {
      c.error = "screenshot FILE.png (the whole screen)";
      return a::Result::Failed;
    }
    return a::Result::Done;
  });
  a::RegisterCommand("spin", [](a::Context& c) {
    const int id = c.args.size() == 2 ? std::atoi(c.args[0].c_str()) : 0;
    const bool up = c.args.size() == 2 && c.args[1] == "up";
    if (!c.active || id == 0 || (!up && c.args[1] != "down")) {
      c.error = "spin ID up|down (in the active window)";
      return a::Result::Failed;
    }
    QWidget* w = c.active->Item(id);
    const QList<QToolButton*> arrows =
        w ? w->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly) : QList<QToolButton*>();
    if (arrows.size() != 2) {
      c.error = "no up-down control " + std::to_string(id);
      return a::Result::Failed;
    }
    // The first arrow is "up" (+1), the second "down".
    arrows[up ? 0 : 1]->click();
    return a::Result::Done;
  });
}

}  // namespace

void InstallTuningCommands() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int which : {0, 1}) {
    SetOperationCommand(which ? kCmdSensitivity2 : kCmdSensitivity, [which](KCDOperationWindow& w) {
      OpenSensitivity(w, which, OperationWindowTarget());
    });
    SetOperationCommand(which ? kCmdSensorCharacteristics2 : kCmdSensorCharacteristics,
                        [which](KCDOperationWindow& w) {
                          view::RunCharacteristicsDialog(&w, RegistryPassport(which), which,
                                                         OperationWindowTarget(), {});
                        });
    view::SetViewerCommand(which ? kSensitivity2 : kSensitivity, [which](view::CtacmonDlg& v) {
      OpenSensitivity(v, which, ViewerTarget(v));
    });
    // Both items edit the source push's passport; without a source nothing happens.
    view::SetViewerCommand(
        which ? kCharacteristics2 : kCharacteristics, [which](view::CtacmonDlg& v) {
          if (!v.Model().HasSource()) return;
          view::RunCharacteristicsDialog(&v, SourcePassport(v), which, OperationWindowTarget(),
                                         ViewerTarget(v));
        });
  }
  RegisterAutomation();
}

}  // namespace recording

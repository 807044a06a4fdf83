#include "display/display_windows.h"

#include <cstdio>
#include <optional>

#include "app/kit/edit_int.h"
#include "display/com_write_thread.h"
#include "display/display_link.h"
#include "platform/report.h"
#include "platform/ui/resources.h"
#include "recording/kcd_operation_window.h"
#include "recording/operation_commands.h"
#include "recording/recording_windows.h"
#include "view/ctacmon_dlg.h"
#include "view/sensor_map.h"

namespace display {
namespace {

const char kTemplates[] = R"rc(
DIALOG 171 "Задание паспорта сенсорного дисплея" 0 0 330 112
  LTEXT       -1   7   8 316  9 "Закон преобразования из нормированных данных, взятых от механорецептора (Vin),"
  LTEXT       -1   7  18 316  9 "в данные передаваемые непосредственно на дисплей (vOut):"
  LTEXT       -1   7  30 316  9 "vOut=Max(0,Min(255,(int)(0.5+V0+vIn*(V1-V0)/255.)));"
  LTEXT       -1   7  50  24  9 "V0="
  EDIT      1001  32  48  80 12 ""
  LTEXT       -1 130  50  24  9 "V1="
  EDIT      1002 155  48  80 12 ""
  DEFBUTTON    1   7  90  54 16 "OK"
  BUTTON       2 269  90  54 16 "Cancel"
END
DIALOG 172 "Значение усилия дисплея" 0 0 250 104
  LTEXT       -1   7   6 236  9 "Задать значение постоянного усилия дисплея (от 0 до 255)"
  LTEXT       -1   7  16 236  9 "(для стандартной работы оставьте поле пустым)"
  EDIT      1001   7  30  60 12 ""
  BUTTON    1003  70  30  14 12 "x"
  BUTTON    1004  90  30  30 12 "+10"
  BUTTON    1005 122  30  30 12 "-10"
  BUTTON    1006 154  30  30 12 "+50"
  BUTTON    1007 186  30  30 12 "-50"
  LTEXT       -1   7  52  60  9 "номер датчика:"
  EDIT      1002  70  50  40 12 ""
  DEFBUTTON    1   7  80  54 16 "OK"
  BUTTON       2 189  80  54 16 "Cancel" STYLE hidden
END
)rc";

// "%d" of an edit's text; fallback when it does not scan.
int ScanInt(const Text1251& text, int fallback) {
  int v = 0;
  return std::sscanf(text.c_str(), "%d", &v) == 1 ? v : fallback;
}

Text1251 FormatDouble(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lg", v);
  return buf;
}

}  // namespace

bool KCDDisplayPassportSet::OnInitDialog() {
  LoadDisplayPassport();
  const DisplayPassport p = CurrentDisplayPassport();
  SetItemText(1001, FormatDouble(p.v0));
  SetItemText(1002, FormatDouble(p.v1));
  return true;
}

void KCDDisplayPassportSet::OnOK() {
  DisplayPassport p = CurrentDisplayPassport();
  double v = 0;
  if (std::sscanf(ItemText(1001).c_str(), "%lg", &v) == 1) p.v0 = v;
  if (std::sscanf(ItemText(1002).c_str(), "%lg", &v) == 1) p.v1 = v;
  SetDisplayPassport(p);
  SaveDisplayPassport();
  EndDialog(ui::IDOK);
}

KCDDisplaySetConstantForce::KCDDisplaySetConstantForce() : Dialog(kConstantForceDialogId) {
  OnNotify(1002, ui::Notify::Change, [this](const ui::NotifyInfo&) {
    SetConstantForceSensor(-1);
    SetConstantForceSensor(ScanInt(ItemText(1002), -1));
  });
  OnCommand(1003, [this] {
    SetItemText(1001, "");
    SetConstantForceValue(-1);
  });
  OnCommand(1004, [this] { Step(10); });
  OnCommand(1005, [this] { Step(-10); });
  OnCommand(1006, [this] { Step(50); });
  OnCommand(1007, [this] { Step(-50); });
}

KCDDisplaySetConstantForce* KCDDisplaySetConstantForce::Open(ui::Dialog* owner) {
  auto* w = new KCDDisplaySetConstantForce();
  if (!w->Create(owner)) {
    delete w;
    return nullptr;
  }
  w->ShowWindow(ui::SW_SHOW);
  return w;
}

bool KCDDisplaySetConstantForce::OnInitDialog() {
  ShowItem(ui::IDCANCEL, false);
  // The force value is an integer edit of -1..255 that starts empty (standard work).
  auto* edit = new KCEditInt();
  edit->valueMenu = 0;
  edit->min = -1;
  edit->max = 255;
  ReplaceItem(1001, edit);
  QObject::connect(edit, &QLineEdit::textChanged, edit, [this](const QString&) {
    SetConstantForceValue(-1);
    SetConstantForceValue(ScanInt(ItemText(1001), -1));
  });
  return true;
}

void KCDDisplaySetConstantForce::Step(int step) {
  const int v = StepConstantForce(CurrentConstantForce().value, step);
  SetConstantForceValue(v);
  SetItemText(1001, std::to_string(v));
}

void KCDDisplaySetConstantForce::OnDestroy() {
  SetConstantForceValue(-1);
  SetConstantForceSensor(-1);
}

void InstallDisplay() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string error;
  if (!ui::RegisterResources(kTemplates, &error))
    AddLogMessageF("(9524740)display templates: %s", error.c_str());
  recording::SetOperationCommand(recording::kCmdDisplayPassport,
                                 [](recording::KCDOperationWindow& w) {
                                   KCDDisplayPassportSet dlg;
                                   dlg.DoModal(&w);
                                 });
  recording::SetOperationCommand(
      recording::kCmdDisplayConstantForce,
      [](recording::KCDOperationWindow& w) { KCDDisplaySetConstantForce::Open(&w); });
  view::SetViewerCommand(32864, [](view::CtacmonDlg& viewer) {
    KCDDisplayPassportSet dlg;
    dlg.DoModal(&viewer);
  });
  // The renderer's hand-over: the flags of the recording view are copied here, on the window
  // thread, with the values.
  view::SetDisplayForwarder([](const std::array<int, kSensorCount>& indices) {
    CCOMWriteThread* thread = CurrentDisplayThread();
    if (!thread || !thread->HasConnection()) return;
    std::array<bool, kDisplaySensors> visible;
    visible.fill(true);
    if (const auto flags = recording::RecordingViewFlags())
      for (int k = 0; k < kDisplaySensors; ++k) visible[k] = (*flags)[k];
    thread->Forward(indices, visible);
  });
}

}  // namespace display

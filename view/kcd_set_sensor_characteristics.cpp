#include <QLineEdit>

#include "app/kit/edit_int.h"
#include "app/kit/file_dialog.h"
#include "platform/cp1251.h"
#include "view/tuning_dialogs.h"

namespace view {
namespace {

constexpr int kNumberEdit = 1001;
constexpr int kAEdit = 1002;
constexpr int kBEdit = 1003;
constexpr int kSaveButton = 1011;

// The arrow controls: which coefficient they step and by how much.
struct ArrowControl {
  int id;
  bool ofA;
  double step;
};
constexpr ArrowControl kArrows[] = {
    {1134, true, 0.1},  {1136, true, 1},  {1137, true, 10},  {1138, true, 100},
    {1135, false, 0.1}, {1139, false, 1}, {1140, false, 10}, {1141, false, 100},
};

}  // namespace

KCD_SetSensorCharacteristics::KCD_SetSensorCharacteristics(PassportAccess passport, int which,
                                                           TuningWindow owner, TuningWindow second)
    : ui::Dialog(kCharacteristicsDialogId),
      passport_(std::move(passport)),
      which_(which),
      owner_(std::move(owner)),
      second_(std::move(second)) {
  RegisterTuningResources();
  for (const ArrowControl& a : kArrows)
    OnScroll(a.id, [this, id = a.id](int code, int) { Arrow(id, code); });
  for (int id : {kAEdit, kBEdit}) {
    OnNotify(id, ui::Notify::Change, [this, id](const ui::NotifyInfo&) {
      if (!initialised_ || showing_ || !editor_) return;
      const Text1251 text = ItemText(id);
      if (id == kAEdit ? editor_->TypeA(text) : editor_->TypeB(text)) Repaint();
    });
  }
  OnCommand(kSaveButton, [this] { Save(); });
}

KCD_SetSensorCharacteristics::~KCD_SetSensorCharacteristics() = default;

bool KCD_SetSensorCharacteristics::OnInitDialog() {
  number_ = new KCEditInt();
  number_->valueMenu = 0;
  number_->min = 1;
  number_->max = kSensorCount;
  ReplaceItem(kNumberEdit, number_);
  number_->SetValue(1);
  QObject::connect(number_, &QLineEdit::textChanged, number_,
                   [this](const QString&) { SensorNumberChanged(); });

  const DevicePassport opened = passport_.get ? passport_.get() : DevicePassport();
  CoefficientsSink set = passport_.set;
  editor_.emplace(opened, std::move(set));
  if (owner_.highlight) owner_.highlight(0);
  ShowSensor(0);
  if (second_.highlight) second_.highlight(editor_->Sensor());
  initialised_ = true;
  Repaint();
  return true;
}

void KCD_SetSensorCharacteristics::ShowSensor(int sensor) {
  editor_->Show(sensor);
  // The texts are the dialog's own: they must not come back as typed (rounded) values.
  showing_ = true;
  SetItemText(kAEdit, FormatNumber(editor_->A()));
  SetItemText(kBEdit, FormatNumber(editor_->B()));
  showing_ = false;
  Repaint();
}

void KCD_SetSensorCharacteristics::SensorNumberChanged() {
  if (!initialised_ || !editor_) return;
  const int i = SensorFromText(number_->Text());
  if (owner_.highlight) owner_.highlight(i);
  if (second_.highlight) second_.highlight(i);
  ShowSensor(i);
}

void KCD_SetSensorCharacteristics::Arrow(int id, int scrollCode) {
  if (!initialised_ || !editor_) return;
  const int d = scrollCode == ui::SB_LINEUP ? +1 : scrollCode == ui::SB_LINEDOWN ? -1 : 0;
  if (d == 0) return;
  for (const ArrowControl& a : kArrows) {
    if (a.id != id) continue;
    if (a.ofA)
      editor_->StepA(d, a.step);
    else
      editor_->StepB(d, a.step);
    ShowSensor(editor_->Sensor());
    return;
  }
}

void KCD_SetSensorCharacteristics::Save() {
  CKFileDialog dlg(false, "dvp",
                   "DVP-файлы (*.dvp)|*.dvp|TRF-файлы (*.trf)|*.trf|Все файлы (*.*)|*.*||"_cp, this,
                   "Имя файла с паспортом устройства"_cp);
  dlg.SetInitialFolder("c:\\Tacmon\\DVP");
  if (dlg.DoModal() != ui::IDOK) return;
  // WriteDvp reports a failed write itself.
  if (passport_.get) WriteDvp(dlg.GetPath(), passport_.get());
}

void KCD_SetSensorCharacteristics::OnCancel() {
  if (editor_) editor_->Cancel();
  Repaint();
  EndDialog(ui::IDCANCEL);
}

void KCD_SetSensorCharacteristics::Repaint() {
  for (const TuningWindow* w : {&owner_, &second_})
    if (w->repaint) w->repaint();
}

int RunCharacteristicsDialog(ui::Dialog* parent, PassportAccess passport, int which,
                             TuningWindow owner, TuningWindow second) {
  KCD_SetSensorCharacteristics dlg(std::move(passport), which, owner, second);
  const int result = dlg.DoModal(parent);
  for (const TuningWindow* w : {&owner, &second}) {
    if (w->highlight) w->highlight(-1);
    if (w->repaint) w->repaint();
  }
  return result;
}

}  // namespace view

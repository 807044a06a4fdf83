#include <cstdio>

#include "platform/ui/resources.h"
#include "view/tuning_dialogs.h"

namespace view {
namespace {

constexpr int kValueEdit = 1001;
constexpr int kResetButton = 1000;
constexpr int kSlider = 1009;

const char kTemplates[] = R"rc(
DIALOG 166 "Задание чувствительности механорецептора" 0 0 240 86
  LTEXT        -1    7   7 226   9 "значение чувствительности (по умолчанию=1)"
  EDIT       1001    7  19 120  12 ""
  BUTTON     1000  133  18  30  14 "=1"
  TRACKBAR   1009    7  38 226  16 ""
  DEFBUTTON     1    7  64  54  16 "OK"
  BUTTON        2  179  64  54  16 "Cancel"
END
DIALOG 167 "Dialog" 0 0 250 140
  LTEXT        -1    7   8  90   9 "номер сенсора (1-19)"
  EDIT       1001  100   6  50  13 ""
  LTEXT        -1    7  28 236   9 "Коэффициенты в формуле A*x+B:"
  LTEXT        -1    7  46  10   9 "A"
  EDIT       1002   18  44  70  12 ""
  SPIN       1134   94  41  10  18 ""
  LTEXT        -1  106  46  16   9 "0.1"
  SPIN       1136  124  41  10  18 ""
  LTEXT        -1  136  46  12   9 "1"
  SPIN       1137  150  41  10  18 ""
  LTEXT        -1  162  46  14   9 "10"
  SPIN       1138  178  41  10  18 ""
  LTEXT        -1  190  46  18   9 "100"
  LTEXT        -1    7  70  10   9 "B"
  EDIT       1003   18  68  70  12 ""
  SPIN       1135   94  65  10  18 ""
  LTEXT        -1  106  70  16   9 "0.1"
  SPIN       1139  124  65  10  18 ""
  LTEXT        -1  136  70  12   9 "1"
  SPIN       1140  150  65  10  18 ""
  LTEXT        -1  162  70  14   9 "10"
  SPIN       1141  178  65  10  18 ""
  LTEXT        -1  190  70  18   9 "100"
  BUTTON     1011    7  92  54  16 "Save"
  DEFBUTTON     1    7 118  54  16 "OK"
  BUTTON        2  189 118  54  16 "Cancel"
END
)rc";

}  // namespace

void RegisterTuningResources() {
  static bool done = false;
  if (done) return;
  done = true;
  if (ui::FindDialogTemplate(kSensibilityDialogId) &&
      ui::FindDialogTemplate(kCharacteristicsDialogId))
    return;
  std::string error;
  if (!ui::RegisterResources(kTemplates, &error))
    std::fprintf(stderr, "tuning dialogs: %s\n", error.c_str());
}

CKD_SensibilitySensorSet::CKD_SensibilitySensorSet(const SensitivitySetting& setting,
                                                   std::vector<TuningWindow> windows)
    : ui::Dialog(kSensibilityDialogId), setting_(setting), windows_(std::move(windows)) {
  RegisterTuningResources();
  OnScroll(kSlider, [this](int, int pos) {
    if (!initialised_ || fromText_) return;
    fromSlider_ = true;
    Take(LimitSensitivity(SensitivityFromSlider(pos)));
    SetItemText(kValueEdit, FormatNumber(value_));
    fromSlider_ = false;
  });
  OnNotify(kValueEdit, ui::Notify::Change, [this](const ui::NotifyInfo&) {
    if (!initialised_ || fromSlider_) return;
    const std::optional<double> typed = ScanNumber(ItemText(kValueEdit));
    if (!typed) return;
    fromText_ = true;
    const double v = LimitSensitivity(*typed);
    SliderItem(kSlider).SetPos(SliderFromSensitivity(v));
    Take(v);
    fromText_ = false;
  });
  OnCommand(kResetButton, [this] {
    SliderItem(kSlider).SetPos(SliderFromSensitivity(1.0));
    // Taken here too: an edit already showing "1" reports no change.
    Take(1.0);
    SetItemText(kValueEdit, "1");
  });
}

bool CKD_SensibilitySensorSet::OnInitDialog() {
  ui::Slider slider = SliderItem(kSlider);
  slider.SetRange(0, kSensitivitySliderMax);
  slider.SetPageSize(50);
  slider.SetTicFreq(100);
  value_ = LimitSensitivity(setting_.value);
  slider.SetPos(SliderFromSensitivity(value_));
  SetItemText(kValueEdit, FormatNumber(value_));
  initialised_ = true;
  return true;
}

void CKD_SensibilitySensorSet::Take(double value) {
  value_ = value;
  if (setting_.apply) setting_.apply(value);
  Repaint();
}

void CKD_SensibilitySensorSet::Repaint() {
  for (const TuningWindow& w : windows_)
    if (w.repaint) w.repaint();
}

int RunSensibilityDialog(ui::Dialog* owner, const SensitivitySetting& setting,
                         std::vector<TuningWindow> windows) {
  CKD_SensibilitySensorSet dlg(setting, windows);
  const int result = dlg.DoModal(owner);
  if (result == ui::IDOK) {
    if (setting.save) setting.save(dlg.Value());
  } else if (setting.apply) {
    setting.apply(setting.value);
  }
  for (const TuningWindow& w : windows)
    if (w.repaint) w.repaint();
  return result;
}

}  // namespace view

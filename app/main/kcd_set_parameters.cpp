#include "kcd_set_parameters.h"

#include <QFontDialog>
#include <QLineEdit>
#include <cstdio>

#include "acquisition/device_passport.h"
#include "app/kit/edit_int.h"
#include "app/kit/file_dialog.h"
#include "app/kit/fonts.h"
#include "app/main/kcd_main.h"
#include "params/parameter_store.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"

namespace {

struct IntSetting {
  int id;
  int32_t HubSettings::*member;
  int32_t fallback;  // taken when the edit holds no number of 1..1000
};
// In the order the dialog fills them.
constexpr IntSetting kIntSettings[] = {
    {1002, &HubSettings::NAddSensorRectDomainMinUsed, 1},
    {1003, &HubSettings::NumCOMPort, 3},
    {1023, &HubSettings::NumCOMPort2, 3},
    {1022, &HubSettings::NumDevice, 3},
    {1024, &HubSettings::NumDevice2, 3},
    {1006, &HubSettings::NumCOMPortDisp, 4},
};

struct CheckSetting {
  int id;
  int32_t HubSettings::*member;
};
constexpr CheckSetting kChecks[] = {
    {1019, &HubSettings::set_autoconnect},
    {1020, &HubSettings::SetAutoRecord},
    {1030, &HubSettings::set_output_all_data_into_text_file},
    {1049, &HubSettings::set_output_sensors_numbers},
    {1025, &HubSettings::set_connect2},
    {1026, &HubSettings::set_use_second_receptor_window},
    {1017, &HubSettings::set_use_MechDisplay},
    {1018, &HubSettings::set_disp_autoconnect},
    {1021, &HubSettings::set_correspond_mech_receptor_sensor_to_display_sensor},
    {1005, &HubSettings::set_use_file_instead_COM_port},
    {1027, &HubSettings::set_use_recognition_library},
    {1008, &HubSettings::set_use_db_autosave},
};

constexpr int kPeriodEdit = 1001, kFileEdit = 1004, kAutosaveEdit = 1009;
constexpr int kFormatCombo = 1007, kModelList = 1010;

Text1251 CutToField(Text1251 text) {
  if (text.size() > static_cast<size_t>(kParTextMax)) text.resize(kParTextMax);
  return text;
}

}  // namespace

KCD_SetParameters::KCD_SetParameters(KCDMain& holder) : Dialog(141), holder_(holder) {
  OnCommand(1019, [this] {
    TakeFromControls();
    ApplyVisibility();
    Invalidate();
  });
  OnCommand(1025, [this] {
    TakeFromControls();
    ApplyVisibility();
    Invalidate();
  });
  OnCommand(1000, [this] { ChooseDebugFile(); });
  OnCommand(1028, [this] { ChooseDefaultFont(); });
}

KCEditInt* KCD_SetParameters::IntEdit(int id) const { return dynamic_cast<KCEditInt*>(Item(id)); }

bool KCD_SetParameters::OnInitDialog() {
  copy_ = holder_.WorkstationSettings();
  // 1. The autosave switch and period, the display period.
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d", copy_.dt_autosave);
  autosavePeriodText_ = buf;
  displayPeriodText_ = ShortNumber(copy_.DtShowVideo);
  // 2. The integer edits.
  for (const IntSetting& s : kIntSettings) {
    auto* edit = new KCEditInt();
    edit->valueMenu = 0;
    edit->min = 1;
    edit->max = 1000;
    ReplaceItem(s.id, edit);
    edit->SetValue(copy_.*s.member);
  }
  // Texts longer than their field are cut while typed.
  for (int id : {kPeriodEdit, kFileEdit, kAutosaveEdit})
    if (auto* e = qobject_cast<QLineEdit*>(Item(id))) e->setMaxLength(kParTextMax);
  // 3, 4. The wire formats and the receptor models.
  ui::ComboBox formats = ComboItem(kFormatCombo);
  for (const char* f : {"старый (до 30.03.12)"_cp, "новый"_cp, "ПКДЗ"_cp}) formats.AddString(f);
  ui::ListBox models = ListBoxItem(kModelList);
  for (const Text1251& s : holder_.ReceptorInitStrings()) models.AddString(s);
  // 5. The visibility rule, then the copies into the controls.
  PutIntoControls();
  ApplyVisibility();
  return true;
}

void KCD_SetParameters::PutIntoControls() {
  SetItemText(kPeriodEdit, displayPeriodText_);
  SetItemText(kFileEdit, copy_.file_instead_COM_port);
  SetItemText(kAutosaveEdit, autosavePeriodText_);
  for (const CheckSetting& c : kChecks) SetCheck(c.id, copy_.*c.member ? 1 : 0);
  ComboItem(kFormatCombo).SetCurSel(copy_.receptor_data_format);
  ListBoxItem(kModelList).SetCurSel(copy_.iSensor);
}

void KCD_SetParameters::TakeFromControls() {
  displayPeriodText_ = CutToField(ItemText(kPeriodEdit));
  copy_.file_instead_COM_port = CutToField(ItemText(kFileEdit));
  autosavePeriodText_ = CutToField(ItemText(kAutosaveEdit));
  for (const CheckSetting& c : kChecks) copy_.*c.member = GetCheck(c.id) ? 1 : 0;
  const int format = ComboItem(kFormatCombo).GetCurSel();
  if (format >= 0) copy_.receptor_data_format = format;  // none chosen: carried through
  copy_.iSensor = ListBoxItem(kModelList).GetCurSel();
}

void KCD_SetParameters::ApplyVisibility() {
  const bool autoconnect = copy_.set_autoconnect != 0;
  const bool second = !autoconnect && copy_.set_connect2 != 0;
  for (int id : {1022, 1003, 1025, 1131, 1120}) ShowItem(id, !autoconnect);
  for (int id : {1024, 1023, 1132, 1133, 1026}) ShowItem(id, second);
}

void KCD_SetParameters::ChooseDebugFile() {
  TakeFromControls();
  CKFileDialog dlg(true, "bin", "BIN-файлы (*.bin)|*.bin|Все файлы (*.*)|*.*||"_cp, this,
                   "Ввести имя файла с исходными данными (для отладки)"_cp);
  dlg.SetInitialFolder(std::string(winpath::kDataRoot) + "Pars");
  if (dlg.DoModal() == ui::IDOK) copy_.file_instead_COM_port = CutToField(dlg.GetPath());
  PutIntoControls();
}

void KCD_SetParameters::ChooseDefaultFont() {
  QFontDialog dlg(FontFromRecord(holder_.UiFont()), Widget());
  dlg.setOption(QFontDialog::DontUseNativeDialog, true);
  if (dlg.exec() != QDialog::Accepted) return;
  const kit::FontRecord rec = RecordFromFont(dlg.selectedFont());
  const Text1251 path = std::string(winpath::kDataRoot) + kit::kDefaultFontFile;
  SafeFile out(path, "wb");
  if (!out.IsOpen()) {
    ui::MessageBox(this, path, "Не могу открыть файл(81432)"_cp);
    return;
  }
  if (out.Write(&rec, sizeof rec) != sizeof rec || out.Commit() != 0)
    ui::MessageBox(this, "(195305)Не получается записать на диск. Возможно диск переполнен."_cp,
                   "");
}

void KCD_SetParameters::OnOK() {
  TakeFromControls();
  copy_.DtShowVideo = DisplayPeriodFromText(displayPeriodText_, copy_.DtShowVideo);
  for (const IntSetting& s : kIntSettings)
    if (KCEditInt* e = IntEdit(s.id))
      copy_.*s.member = IntSettingFromEdit(e->GetValue(), s.fallback);
  int32_t period = 0;
  if (ScanInt32(autosavePeriodText_, period)) copy_.dt_autosave = period;
  holder_.SaveSettings(copy_);
  EndDialog(ui::IDOK);
}

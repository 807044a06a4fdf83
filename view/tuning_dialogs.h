// The two tuning dialogs opened from the menus of the operation window and the push viewer.
// Both act live: every change is written at once into what they edit and the windows showing
// the maps are repainted; Cancel puts back what was there at opening.
//   CKD_SensibilitySensorSet (dialog 166): the sensitivity of one mechanoreceptor, by slider,
//     typed value or "=1".
//   KCD_SetSensorCharacteristics (dialog 167): the coefficients A and B of A·x + B of one
//     passport, sensor by sensor, by arrows of four step sizes or typed values; "Save" writes
//     the passport as it now stands into a DVP file. The edited sensor is drawn with the
//     highlight border in the windows given.
// The arithmetic is in sensor_tuning.h; the openers (who own the setting and the passport)
// are in recording/tuning_commands.h.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "acquisition/device_passport.h"
#include "platform/ui/dialog.h"
#include "view/sensor_tuning.h"

class KCEditInt;

namespace view {

inline constexpr int kSensibilityDialogId = 166;
inline constexpr int kCharacteristicsDialogId = 167;

// A window whose maps show what a tuning dialog changes. Either function may be empty.
struct TuningWindow {
  std::function<void(int sensor)> highlight;  // the sensor drawn with the red border, -1 none
  std::function<void()> repaint;
};

// The sensitivity setting a dialog edits.
struct SensitivitySetting {
  double value = 1.0;                 // at opening
  std::function<void(double)> apply;  // writes a value at once (the maps read it)
  std::function<void(double)> save;   // after OK: keeps the value for good
};

class CKD_SensibilitySensorSet : public ui::Dialog {
 public:
  CKD_SensibilitySensorSet(const SensitivitySetting& setting, std::vector<TuningWindow> windows);
  std::string ClassName() const override { return "CKD_SensibilitySensorSet"; }
  double Value() const { return value_; }

 protected:
  bool OnInitDialog() override;

 private:
  void Take(double value);
  void Repaint();

  SensitivitySetting setting_;
  std::vector<TuningWindow> windows_;
  double value_ = 1.0;
  bool initialised_ = false;
  bool fromSlider_ = false;
  bool fromText_ = false;
};

// Runs the sensitivity dialog modally over owner: after OK the value is saved, after Cancel
// the value at opening is applied again; the windows are repainted either way. The dialog's
// result (ui::IDOK or ui::IDCANCEL).
int RunSensibilityDialog(ui::Dialog* owner, const SensitivitySetting& setting,
                         std::vector<TuningWindow> windows);

// The passport a characteristics dialog edits, reached anew at every use (it may live in a
// registry behind a lock or in a window that can go).
struct PassportAccess {
  std::function<DevicePassport()> get;  // the passport as it now stands
  CoefficientsSink set;                 // one sensor's slope and shift
};

class KCD_SetSensorCharacteristics : public ui::Dialog {
 public:
  // which: 0 first, 1 second mechanoreceptor (kept, not used). owner and second: the windows
  // whose highlighted sensor follows the edited one.
  KCD_SetSensorCharacteristics(PassportAccess passport, int which, TuningWindow owner,
                               TuningWindow second);
  ~KCD_SetSensorCharacteristics() override;
  std::string ClassName() const override { return "KCD_SetSensorCharacteristics"; }
  int Which() const { return which_; }
  const SensorCharacteristicsEditor* Editor() const { return editor_ ? &*editor_ : nullptr; }

 protected:
  bool OnInitDialog() override;
  void OnCancel() override;

 private:
  void ShowSensor(int sensor);
  void SensorNumberChanged();
  void Arrow(int id, int scrollCode);
  void Save();
  void Repaint();

  PassportAccess passport_;
  int which_ = 0;
  TuningWindow owner_, second_;
  std::optional<SensorCharacteristicsEditor> editor_;
  KCEditInt* number_ = nullptr;
  bool initialised_ = false;
  bool showing_ = false;  // the dialog itself writes the edits A and B
};

// Runs the characteristics dialog modally over parent; afterwards no sensor of either window
// is highlighted and both are repainted. The dialog's result.
int RunCharacteristicsDialog(ui::Dialog* parent, PassportAccess passport, int which,
                             TuningWindow owner, TuningWindow second);

// Registers the templates of dialogs 166 and 167 (once).
void RegisterTuningResources();

}  // namespace view

// The tactile display's windows and their place in the program: the display passport dialog
// KCDDisplayPassportSet (171, modal) and the constant-force window KCDDisplaySetConstantForce
// (172, modeless, a new one at every use), opened by the operation window's menu commands
// 32864 and 32863; and the renderer's hand-over of every forwarded map to the display thread.
#pragma once

#include "app/kit/dialog_k.h"
#include "platform/ui/dialog.h"

namespace display {

inline constexpr int kDisplayPassportDialogId = 171;
inline constexpr int kConstantForceDialogId = 172;

// "Задание паспорта сенсорного дисплея": V0 (1001) and V1 (1002) of "DVP\display.dsp", read when
// it opens and written on OK; Cancel changes nothing.
class KCDDisplayPassportSet : public ui::Dialog {
 public:
  KCDDisplayPassportSet() : Dialog(kDisplayPassportDialogId) {}
  std::string ClassName() const override { return "KCDDisplayPassportSet"; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};

// "Значение усилия дисплея": every change of the level (1001) or the sensor (1002) acts at
// once on the frames sent; "x" empties the level, the step buttons add to it within 0..255.
// Closing the window ends the constant force.
class KCDDisplaySetConstantForce : public ui::Dialog {
 public:
  KCDDisplaySetConstantForce();
  std::string ClassName() const override { return "KCDDisplaySetConstantForce"; }
  // Opens a new modeless window that deletes itself when it is closed.
  static KCDDisplaySetConstantForce* Open(ui::Dialog* owner);

 protected:
  bool OnInitDialog() override;
  void OnOK() override { DestroyWindow(); }
  void OnCancel() override { DestroyWindow(); }
  void OnDestroy() override;
  void PostNcDestroy() override { delete this; }

 private:
  void Step(int step);
};

// Registers the templates, the operation window's commands 32864 and 32863 and the renderer's
// hand-over to the display thread. Called once at program start.
void InstallDisplay();

}  // namespace display

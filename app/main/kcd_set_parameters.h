// KCD_SetParameters, the program parameters dialog (dialog 141 "Общие параметры программы"):
// edits a copy of the main hub's workstation settings; "OK" limits the numbers, replaces what
// does not scan by its fallback and writes the whole set "KCDMain" at once through the hub.
// The default font button writes "pars\DefaultLogFont.bin" at once, whatever follows.
// Settings the dialog does not show are carried through unchanged.
#pragma once

#include "app/main/hub_settings.h"
#include "platform/ui/dialog.h"

class KCDMain;
class KCEditInt;

class KCD_SetParameters : public ui::Dialog {
 public:
  // Run modally with the opener as owner: DoModal(opener).
  explicit KCD_SetParameters(KCDMain& holder);

  std::string ClassName() const override { return "KCD_SetParameters"; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void TakeFromControls();
  void PutIntoControls();
  void ApplyVisibility();
  void ChooseDebugFile();
  void ChooseDefaultFont();
  KCEditInt* IntEdit(int id) const;

  KCDMain& holder_;
  HubSettings copy_;
  Text1251 displayPeriodText_;   // edit 1001
  Text1251 autosavePeriodText_;  // hidden edit 1009, "%d"
};

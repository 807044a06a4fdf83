// The passports dialog KCDPasports (159 "Паспорта устройств", opened modally from the hub) and
// the doubles editor KCDEditDouble (160) it uses for the channel slopes and shifts. Both are
// views over the Qt-free rules of passports.h. UI thread only.
#pragma once

#include <string_view>
#include <vector>

#include "app/kit/dialog_k.h"
#include "platform/ui/dialog.h"
#include "tester/passports.h"

class KCDMain;

namespace tester {

class KCDEditDouble : public ui::Dialog {
 public:
  // Edits count values of values (changed only on OK); title is the window caption.
  KCDEditDouble(double* values, int count, std::string_view title);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void SelectLine();
  void EditChanged();

  double* values_;
  std::vector<double> working_;
  Text1251 title_;
  int selected_ = -1;
  bool ready_ = false;  // clear while the dialog itself sets the edit text
};

class KCDPasports : public CDialogK {
 public:
  KCDPasports(PassportRegistry& registry, TimedMutex* lock);

  PassportsEditor& Editor() { return editor_; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;  // "Выйти": stores changed check marks
  void OnSize(int cx, int cy) override;

 private:
  void ShowView(int view);
  void FillList();
  void FillFields();
  PassportFields ReadFields() const;
  int SelectedRow() const;
  void EditValues(bool slopes);

  PassportsEditor editor_;
  ArrangeControls arrange_{*this};
};

// Registers the templates 159 and 160 (once).
void RegisterPassportsResources();
// Runs the passports dialog over the hub's registry (the hub's "Паспорта устройств").
int OpenPassportsDialog(KCDMain& hub);

}  // namespace tester
